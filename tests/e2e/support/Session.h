// What an end-to-end test works with: the Wine test bed, a program folder holding the real
// TLYN_Update.exe with its files, the running program, and the probe that reads and drives it.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Process.h"

namespace e2e {

using namespace std::chrono_literals;

// The bed started by tests/bed/winbed.sh: its folder and the environment of its Wine session.
struct Bed {
    std::string dir;
    std::map<std::string, std::string> env;

    static const Bed& Get();
    std::string PortLink(int port) const;  // the symlink COMn is mapped to
    std::string Display() const { return env.at("DISPLAY"); }
};

std::string WinBuildDir();
std::string WorkDir();
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

// Points COMn at a device (a pseudo-terminal) or, with an empty target, at nothing.
bool LinkPort(int port, const std::string& target);

struct ControlState {
    int id = 0;
    std::string className;
    unsigned style = 0;
    unsigned exStyle = 0;
    bool enabled = false;
    bool visible = false;
    int checked = 0;
    int left = 0, top = 0, right = 0, bottom = 0;  // in the dialog's client area, pixels
    std::string text;
};

struct MessageBoxSeen {
    std::string caption;
    std::string text;
    std::string icon;  // none, exclamation, information, error, question or other
};

class Probe {
public:
    bool Start();
    // One command, one answer line ("ok ..." or "err ..."); empty when the probe did not answer.
    std::string Ask(const std::string& command, std::chrono::milliseconds timeout = 20s);
    // The payload of an "ok" answer, or nothing.
    std::optional<std::string> AskOk(const std::string& command, std::chrono::milliseconds timeout = 20s);

    bool WaitWindow(const std::string& caption, std::chrono::milliseconds timeout = 30s);
    // Every top-level window with the caption, and which of them the probe works with: two copies
    // of the program show windows of one caption.
    std::vector<std::uintptr_t> Windows(const std::string& caption);
    bool UseWindow(std::uintptr_t handle);
    std::string Caption();
    std::string Text(int id);
    std::optional<ControlState> State(int id);
    std::optional<std::vector<ControlState>> Controls();
    std::optional<MessageBoxSeen> WaitMessageBox(std::chrono::milliseconds timeout = 15s);
    bool CloseMessageBox();
    bool NoMessageBox(std::chrono::milliseconds within);
    bool Click(int id);
    // Clicks and measures, inside the program's desktop, how long until a message box shows.
    std::optional<std::chrono::milliseconds> ClickUntilMessageBox(int id, std::chrono::milliseconds timeout);
    // A screenshot of the desktop once the window has painted everything.
    bool Screenshot(const std::string& name);
    bool WaitGone(std::chrono::milliseconds timeout = 10s);

    bool SetInstalledPorts(const std::map<std::string, std::string>& values);  // name -> data
    bool RemoveInstalledPortList();
    // The installed-port list as the registry enumerates it (name, data); nothing when the key is absent.
    std::optional<std::vector<std::pair<std::string, std::string>>> InstalledPorts();
    std::optional<int> StoredPort();  // nothing when absent
    bool StorePort(int port);
    bool ForgetStoredPort();
    std::string TempDir();

    // The user's environment as Wine hands it to a program at its start (TEMP and TMP).
    struct EnvironmentValue {
        unsigned type = 1;  // REG_SZ, or 2 for REG_EXPAND_SZ
        std::string value;
    };
    std::optional<EnvironmentValue> UserEnvironment(const std::string& name);  // nothing when absent
    bool SetUserEnvironment(const std::string& name, const EnvironmentValue& value);
    bool DeleteUserEnvironment(const std::string& name);

private:
    ChildProcess process_;
};

// A fresh folder for one test, and the program run from it.
class ProgramFolder {
public:
    // A copy of the built program goes in unless copyProgram is false.
    explicit ProgramFolder(const std::string& name, bool copyProgram = true);
    const std::string& Dir() const { return dir_; }
    bool Put(const std::string& fileName, const std::string& content) const;
    std::string Path(const std::string& fileName) const { return dir_ + "/" + fileName; }

private:
    std::string dir_;
};

class Program {
public:
    bool Start(const ProgramFolder& folder);
    bool Start(const std::string& directory);  // runs directory/TLYN_Update.exe
    std::optional<int> WaitExit(std::chrono::milliseconds timeout);
    bool Running() { return process_.Running(); }
    void Kill() { process_.Kill(); }
    pid_t Pid() const { return process_.Pid(); }

private:
    ChildProcess process_;
};

// A screenshot of the bed's display (the virtual desktop), under the work folder.
bool TakeScreenshot(const std::string& name);

std::string Decode(const std::string& text);
std::map<std::string, std::string> Fields(const std::string& payload);

}  // namespace e2e
