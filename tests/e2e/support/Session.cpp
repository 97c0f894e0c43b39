#include "Session.h"

#include "tools/probe/TextCoding.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace e2e {
namespace fs = std::filesystem;

namespace {

std::string BedDir() {
    const char* bed = std::getenv("TLYN_BED");
    return bed != nullptr && *bed != '\0' ? bed : TLYN_DEFAULT_BED;
}

std::map<std::string, std::string> LoadEnv(const std::string& path) {
    std::map<std::string, std::string> env;
    std::regex assignment(R"(([A-Za-z_][A-Za-z0-9_]*)='([^']*)')");
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        for (std::sregex_iterator it(line.begin(), line.end(), assignment), end; it != end; ++it) {
            env[(*it)[1]] = (*it)[2];
        }
    }
    return env;
}

std::string EncodeArg(const std::string& text) { return probe::EncodeText(text); }

// The bed's environment with a case's own variables over it.
Environment WithBed(const Environment& extra) {
    Environment env = Bed::Get().env;
    for (const auto& [key, value] : extra) env[key] = value;
    return env;
}

// A value's place as the probe's value commands take it; "@" is the key's default value.
std::string PlaceArgs(const RegistryPlace& place) {
    return place.root + " " + EncodeArg(place.key) + " " + (place.name.empty() ? "@" : EncodeArg(place.name));
}

ControlState ParseControl(const std::string& payload) {
    auto f = Fields(payload);
    ControlState c;
    c.id = std::stoi(f["id"]);
    c.className = f["class"];
    c.style = static_cast<unsigned>(std::stoul(f["style"], nullptr, 16));
    c.exStyle = static_cast<unsigned>(std::stoul(f["exstyle"], nullptr, 16));
    c.enabled = f["enabled"] == "1";
    c.visible = f["visible"] == "1";
    c.checked = std::stoi(f["checked"]);
    std::sscanf(f["rect"].c_str(), "%d:%d:%d:%d", &c.left, &c.top, &c.right, &c.bottom);
    c.text = f["text"];
    return c;
}

}  // namespace

const Bed& Bed::Get() {
    static const Bed bed{BedDir(), LoadEnv(BedDir() + "/env")};
    return bed;
}

std::string Bed::PortLink(int port) const { return dir + "/ports/com" + std::to_string(port); }

std::string WinBuildDir() { return TLYN_WIN_BUILD_DIR; }
std::string WorkDir() { return TLYN_E2E_WORK_DIR; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

bool LinkPort(int port, const std::string& target) {
    std::string link = Bed::Get().PortLink(port);
    std::error_code ec;
    fs::remove(link, ec);
    if (target.empty()) {
        return true;
    }
    fs::create_symlink(target, link, ec);
    return !ec;
}

std::string Decode(const std::string& text) { return probe::DecodeText(text); }

std::map<std::string, std::string> Fields(const std::string& payload) {
    std::map<std::string, std::string> fields;
    std::istringstream in(payload);
    std::string item;
    while (std::getline(in, item, ',')) {
        size_t eq = item.find('=');
        if (eq != std::string::npos) {
            fields[item.substr(0, eq)] = Decode(item.substr(eq + 1));
        }
    }
    return fields;
}

bool Probe::Start(const Environment& extra) {
    if (!process_.Start({"wine", WinBuildDir() + "/tools/probe/tlyn_probe.exe"}, WithBed(extra), WorkDir(),
                        WorkDir() + "/probe.log", true)) {
        return false;
    }
    auto ready = process_.ReadLine(60s);
    return ready && *ready == "ok ready";
}

std::string Probe::Ask(const std::string& command, std::chrono::milliseconds timeout) {
    if (!process_.WriteLine(command)) {
        return {};
    }
    return process_.ReadLine(timeout).value_or("");
}

std::optional<std::string> Probe::AskOk(const std::string& command, std::chrono::milliseconds timeout) {
    std::string answer = Ask(command, timeout);
    if (answer == "ok") {
        return std::string();
    }
    if (answer.rfind("ok ", 0) == 0) {
        return answer.substr(3);
    }
    return std::nullopt;
}

bool Probe::WaitWindow(const std::string& caption, std::chrono::milliseconds timeout) {
    return AskOk("wait-window " + std::to_string(timeout.count()) + " " + EncodeArg(caption), timeout + 5s).has_value();
}

std::vector<std::uintptr_t> Probe::Windows(const std::string& caption) {
    std::vector<std::uintptr_t> handles;
    std::string list = AskOk("windows " + EncodeArg(caption)).value_or("");
    for (std::size_t at = 0; at < list.size();) {
        std::size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        handles.push_back(static_cast<std::uintptr_t>(std::stoull(list.substr(at, comma - at))));
        at = comma + 1;
    }
    return handles;
}

bool Probe::UseWindow(std::uintptr_t handle) { return AskOk("use-window " + std::to_string(handle)).has_value(); }

std::string Probe::Caption() { return Decode(AskOk("caption").value_or("")); }

std::string Probe::Text(int id) {
    auto text = AskOk("text " + std::to_string(id));
    return text ? Decode(*text) : "<no control " + std::to_string(id) + ">";
}

std::optional<ControlState> Probe::State(int id) {
    auto payload = AskOk("state " + std::to_string(id));
    if (!payload) {
        return std::nullopt;
    }
    return ParseControl(*payload);
}

std::optional<std::vector<ControlState>> Probe::Controls() {
    auto payload = AskOk("controls");
    if (!payload) {
        return std::nullopt;
    }
    std::vector<ControlState> controls;
    std::istringstream in(*payload);
    std::string item;
    while (std::getline(in, item, ';')) {
        if (!item.empty()) {
            controls.push_back(ParseControl(item));
        }
    }
    return controls;
}

std::optional<MessageBoxSeen> Probe::WaitMessageBox(std::chrono::milliseconds timeout) {
    auto payload = AskOk("msgbox " + std::to_string(timeout.count()), timeout + 5s);
    if (!payload) {
        return std::nullopt;
    }
    auto f = Fields(*payload);
    return MessageBoxSeen{f["caption"], f["text"], f["icon"]};
}

bool Probe::CloseMessageBox() { return AskOk("msgbox-ok").has_value(); }

bool Probe::NoMessageBox(std::chrono::milliseconds within) {
    return AskOk("no-msgbox " + std::to_string(within.count()), within + 5s).has_value();
}

bool Probe::NoMessageBoxAtStart() { return AskOk("settled", 15s).has_value() && NoMessageBox(0ms); }

bool Probe::Click(int id) { return AskOk("click " + std::to_string(id)).has_value(); }

std::optional<std::chrono::milliseconds> Probe::ClickUntilMessageBox(int id, std::chrono::milliseconds timeout) {
    auto elapsed = AskOk("click-msgbox " + std::to_string(id) + " " + std::to_string(timeout.count()), timeout + 5s);
    if (!elapsed || elapsed->empty()) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(std::stol(*elapsed));
}

bool Probe::Screenshot(const std::string& name) { return AskOk("redraw").has_value() && TakeScreenshot(name); }

bool Probe::WaitGone(std::chrono::milliseconds timeout) {
    return AskOk("gone " + std::to_string(timeout.count()), timeout + 5s).has_value();
}

bool Probe::SetInstalledPorts(const std::map<std::string, std::string>& values) {
    std::string list;
    for (const auto& [name, data] : values) {
        list += EncodeArg(name) + "=" + EncodeArg(data) + ";";
    }
    return AskOk("serialcomm-set " + (list.empty() ? std::string(";") : list)).has_value();
}

std::optional<std::vector<std::pair<std::string, std::string>>> Probe::InstalledPorts() {
    auto payload = AskOk("serialcomm-list");
    if (!payload) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> values;
    std::istringstream in(*payload);
    std::string item;
    while (std::getline(in, item, ';')) {
        size_t eq = item.find('=');
        if (eq != std::string::npos) {
            values.emplace_back(Decode(item.substr(0, eq)), Decode(item.substr(eq + 1)));
        }
    }
    return values;
}

bool Probe::RemoveInstalledPortList() { return AskOk("serialcomm-remove").has_value(); }

std::optional<int> Probe::StoredPort() {
    auto value = AskOk("comport-get");
    if (!value || *value == "none") {
        return std::nullopt;
    }
    return std::stoi(*value);
}

bool Probe::StorePort(int port) { return AskOk("comport-set " + std::to_string(port)).has_value(); }
bool Probe::ForgetStoredPort() { return AskOk("comport-delete").has_value(); }
std::string Probe::TempDir() { return Decode(AskOk("temp-dir").value_or("")); }

std::optional<unsigned> Probe::CodePage() {
    auto answer = AskOk("code-page");
    if (!answer || answer->empty()) return std::nullopt;
    return static_cast<unsigned>(std::stoul(*answer));
}

std::optional<std::optional<RegistryValue>> Probe::Value(const RegistryPlace& place) {
    auto answer = AskOk("value-get " + PlaceArgs(place));
    if (!answer) return std::nullopt;
    if (*answer == "absent") return std::optional<RegistryValue>();
    auto f = Fields(*answer);
    if (f["type"].empty()) return std::nullopt;
    return std::optional<RegistryValue>(RegistryValue{static_cast<unsigned>(std::stoul(f["type"])), f["data"]});
}

bool Probe::PutValue(const RegistryPlace& place, const std::optional<RegistryValue>& value) {
    if (!value) return AskOk("value-delete " + PlaceArgs(place)).has_value();
    return AskOk("value-set " + PlaceArgs(place) + " " + std::to_string(value->type) + " " + EncodeArg(value->data))
        .has_value();
}

ProgramFolder::ProgramFolder(const std::string& name, bool copyProgram, const std::string& programName)
    : dir_(WorkDir() + "/" + name) {
    std::error_code ec;
    fs::remove_all(dir_, ec);
    fs::create_directories(dir_, ec);
    if (copyProgram) {
        fs::copy_file(WinBuildDir() + "/TLYN_Update.exe", dir_ + "/" + programName, ec);
    }
}

bool ProgramFolder::Put(const std::string& fileName, const std::string& content) const {
    return WriteFile(Path(fileName), content);
}

bool Program::Start(const ProgramFolder& folder) { return Start(folder.Dir()); }

bool Program::Start(const std::string& directory, const std::string& programName, const Environment& extra) {
    return process_.Start({"wine", directory + "/" + programName}, WithBed(extra), directory,
                          directory + "/program.log", false);
}

std::optional<int> Program::WaitExit(std::chrono::milliseconds timeout) { return process_.Wait(timeout); }

bool TakeScreenshot(const std::string& name) {
    std::string path = WorkDir() + "/screenshots/" + name + ".png";
    std::error_code ec;
    fs::create_directories(WorkDir() + "/screenshots", ec);
    std::string command = "DISPLAY='" + Bed::Get().Display() + "' import -window root '" + path + "' 2>/dev/null";
    return std::system(command.c_str()) == 0 && FileExists(path);
}

}  // namespace e2e
