#include "tools/probe/Registry.h"
#include "tools/probe/TextCoding.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

constexpr char kSerialComm[] = "Hardware\\DeviceMap\\SERIALCOMM";
constexpr char kSettings[] = "Software\\Vostrel Systems\\TLYN_Update\\Settings";

class Key {
public:
    Key(HKEY root, const char* path, REGSAM access, bool create, DWORD options = 0) {
        LONG status = create ? ::RegCreateKeyExA(root, path, 0, nullptr, options, access, nullptr, &key_, nullptr)
                             : ::RegOpenKeyExA(root, path, 0, access, &key_);
        if (status != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key() {
        if (key_) ::RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> items;
    std::string item;
    std::istringstream in(list);
    while (std::getline(in, item, ';')) {
        if (!item.empty()) items.push_back(item);
    }
    return items;
}

// serialcomm-set name=data;name=data...  (each field percent-encoded; "type:" prefix binary: for
// REG_BINARY data). The list afterwards holds exactly these values.
std::string SetSerialComm(const std::string& list) {
    Key key(HKEY_LOCAL_MACHINE, kSerialComm, KEY_ALL_ACCESS, true, REG_OPTION_VOLATILE);
    if (!key.get()) return "err cannot open SERIALCOMM";
    for (;;) {
        char name[512] = {};
        DWORD size = sizeof(name);
        if (::RegEnumValueA(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (::RegDeleteValueA(key.get(), name) != ERROR_SUCCESS) return "err cannot delete value";
    }
    for (const std::string& item : SplitList(list)) {
        size_t eq = item.find('=');
        if (eq == std::string::npos) return "err bad item";
        std::string name = probe::DecodeText(item.substr(0, eq));
        std::string data = probe::DecodeText(item.substr(eq + 1));
        DWORD type = REG_SZ;
        if (data.rfind("binary:", 0) == 0) {
            type = REG_BINARY;
            data.erase(0, 7);
        } else {
            data.push_back('\0');
        }
        if (::RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
            return "err cannot set value";
        }
    }
    return "ok";
}

// serialcomm-list: the values in the order the key enumerates them, as name=data;... (encoded);
// an error when the key is absent. REG_SZ data loses its terminating NUL.
std::string ListSerialComm() {
    Key key(HKEY_LOCAL_MACHINE, kSerialComm, KEY_QUERY_VALUE, false);
    if (!key.get()) return "err no SERIALCOMM";
    std::string out = "ok ";
    for (DWORD index = 0;; ++index) {
        char name[512] = {};
        BYTE data[512] = {};
        DWORD nameSize = sizeof(name), dataSize = sizeof(data), type = 0;
        if (::RegEnumValueA(key.get(), index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        std::string text(reinterpret_cast<const char*>(data), dataSize);
        if (type == REG_SZ && !text.empty() && text.back() == '\0') text.pop_back();
        out += probe::EncodeText(name) + "=" + probe::EncodeText(text) + ";";
    }
    return out;
}

std::string GetComPort() {
    Key key(HKEY_CURRENT_USER, kSettings, KEY_QUERY_VALUE, false);
    DWORD type = 0, value = 0, size = sizeof(value);
    if (!key.get() || ::RegQueryValueExA(key.get(), "ComPort", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                         &size) != ERROR_SUCCESS) {
        return "ok none";
    }
    return type == REG_DWORD ? "ok " + std::to_string(static_cast<int>(value)) : "ok type" + std::to_string(type);
}

std::string SetComPort(int port) {
    Key key(HKEY_CURRENT_USER, kSettings, KEY_SET_VALUE, true);
    DWORD value = static_cast<DWORD>(port);
    return key.get() && ::RegSetValueExA(key.get(), "ComPort", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                         sizeof(value)) == ERROR_SUCCESS
               ? "ok"
               : "err cannot store";
}

std::string DeleteComPort() {
    Key key(HKEY_CURRENT_USER, kSettings, KEY_SET_VALUE, false);
    if (key.get()) ::RegDeleteValueA(key.get(), "ComPort");
    return "ok";
}

// The temporary directory as the program sees it, as a Unix path for the native side.
std::string TempDirUnix() {
    char shortForm[MAX_PATH] = {}, longForm[MAX_PATH] = {};
    if (!::GetTempPathA(MAX_PATH, shortForm) || !::GetLongPathNameA(shortForm, longForm, MAX_PATH))
        return "err no temp";
    using ToUnix = char*(CDECL*)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!toUnix) return "err not under wine";
    wchar_t wide[MAX_PATH] = {};
    ::MultiByteToWideChar(CP_ACP, 0, longForm, -1, wide, MAX_PATH);
    char* unix = toUnix(wide);
    if (!unix) return "err no unix name";
    std::string out = "ok " + probe::EncodeText(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return out;
}

// Makes `command` the program the shell runs to open addresses of the protocol (mailto, http).
std::string SetShellOpen(const std::string& protocol, const std::string& command) {
    Key key(HKEY_CLASSES_ROOT, protocol.c_str(), KEY_SET_VALUE, true);
    Key open(HKEY_CLASSES_ROOT, (protocol + "\\shell\\open\\command").c_str(), KEY_SET_VALUE, true);
    if (!key.get() || !open.get()) return "err cannot create the protocol's keys";
    std::string name = "URL:" + protocol + " Protocol";
    const char none[] = "";
    bool ok = ::RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                               static_cast<DWORD>(name.size() + 1)) == ERROR_SUCCESS &&
              ::RegSetValueExA(key.get(), "URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(none),
                               sizeof(none)) == ERROR_SUCCESS &&
              ::RegSetValueExA(open.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                               static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
    return ok ? "ok" : "err cannot set the open command";
}

// "HKCU" or "HKCR", the roots a case may change for the program's user.
HKEY Root(const std::string& name) {
    if (name == "HKCU") return HKEY_CURRENT_USER;
    if (name == "HKCR") return HKEY_CLASSES_ROOT;
    return nullptr;
}

// A value's name as the commands carry it: "@" stands for the key's default value.
std::string ValueName(const std::string& encoded) {
    return encoded == "@" ? std::string() : probe::DecodeText(encoded);
}

// value-get <root> <key> <name>: "ok absent", or "ok type=<n>,data=<bytes, encoded>" with the data
// exactly as stored (a string keeps its terminating NUL), so that value-set puts it back as it was.
std::string GetValue(HKEY root, const std::string& path, const std::string& name) {
    Key key(root, path.c_str(), KEY_QUERY_VALUE, false);
    DWORD type = 0, size = 0;
    if (!key.get() || ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return "ok absent";
    }
    std::string data(size, '\0');
    if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
        return "err cannot read the value";
    }
    data.resize(size);
    return "ok type=" + std::to_string(type) + ",data=" + probe::EncodeText(data);
}

// value-set <root> <key> <name> <type> <data>: the key made when it is missing.
std::string SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& data) {
    Key key(root, path.c_str(), KEY_SET_VALUE, true);
    return key.get() && ::RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                         static_cast<DWORD>(data.size())) == ERROR_SUCCESS
               ? "ok"
               : "err cannot set the value";
}

std::string DeleteValue(HKEY root, const std::string& path, const std::string& name) {
    Key key(root, path.c_str(), KEY_SET_VALUE, false);
    if (!key.get()) return "ok";
    LONG status = ::RegDeleteValueA(key.get(), name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? "ok" : "err " + std::to_string(status);
}

// value-get, value-set and value-delete: any value under the user's roots, the key's path and the
// value's name encoded in the probe's ANSI code page.
bool ValueCommand(const std::string& command, std::istream& in, std::string& answer) {
    if (command != "value-get" && command != "value-set" && command != "value-delete") return false;
    std::string root, path, name;
    in >> root >> path >> name;
    HKEY rootKey = Root(root);
    if (!rootKey || path.empty() || name.empty()) {
        answer = "err usage: " + command + " HKCU|HKCR <key> <name or @> ...";
        return true;
    }
    path = probe::DecodeText(path);
    name = ValueName(name);
    if (command == "value-get") {
        answer = GetValue(rootKey, path, name);
    } else if (command == "value-set") {
        DWORD type = 0;
        std::string data;
        in >> type >> data;
        answer = SetValue(rootKey, path, name, type, probe::DecodeText(data));
    } else {
        answer = DeleteValue(rootKey, path, name);
    }
    return true;
}

}  // namespace

bool RegistryCommand(const std::string& command, std::istream& in, std::string& answer) {
    if (command == "serialcomm-set") {
        std::string list;
        in >> list;
        answer = SetSerialComm(list);
    } else if (command == "serialcomm-list") {
        answer = ListSerialComm();
    } else if (command == "serialcomm-remove") {
        LONG status = ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSerialComm);
        answer = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? "ok" : "err " + std::to_string(status);
    } else if (command == "comport-get") {
        answer = GetComPort();
    } else if (command == "comport-set") {
        int port = 0;
        in >> port;
        answer = SetComPort(port);
    } else if (command == "comport-delete") {
        answer = DeleteComPort();
    } else if (command == "shell-open-set") {  // shell-open-set <protocol> <command, encoded>
        std::string protocol, open;
        in >> protocol >> open;
        answer = SetShellOpen(protocol, probe::DecodeText(open));
    } else if (command == "temp-dir") {
        answer = TempDirUnix();
    } else {
        return ValueCommand(command, in, answer);
    }
    return true;
}
