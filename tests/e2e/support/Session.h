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
// The same place as the program sees it, through Wine's drive Z:.
std::string WindowsPath(const std::string& unixPath);

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

// Extra variables for a Wine process of a case, over the bed's: the locale, say.
using Environment = std::map<std::string, std::string>;

// A registry value as stored: its type and its bytes (a string with its terminating NUL).
struct RegistryValue {
    unsigned type = 0;
    std::string data;
};

// Where a value lives: "HKCU" or "HKCR", the key's path and the value's name ("" for the default).
struct RegistryPlace {
    std::string root;
    std::string key;
    std::string name;
};

struct MessageBoxSeen {
    std::string caption;
    std::string text;
    std::string icon;  // none, exclamation, information, error, question or other
};

class Probe {
public:
    // In the bed's environment plus `extra`; texts it reads and writes are in the code page that gives.
    bool Start(const Environment& extra = {});
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
    // No message box from the program's start: asked once its thread takes messages, by when any
    // box its start shows is up, so there is nothing to wait for.
    bool NoMessageBoxAtStart();
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
    // The probe's ANSI code page, which a program started with the same environment gets too.
    std::optional<unsigned> CodePage();

    // A value of the user's: nothing when the probe did not answer, an empty optional inside when
    // the value is absent.
    std::optional<std::optional<RegistryValue>> Value(const RegistryPlace& place);
    // Sets the value, or with nothing deletes it.
    bool PutValue(const RegistryPlace& place, const std::optional<RegistryValue>& value);


private:
    ChildProcess process_;
};

// A fresh folder for one test, and the program run from it.
class ProgramFolder {
public:
    // A copy of the built program goes in, under programName, unless copyProgram is false.
    explicit ProgramFolder(const std::string& name, bool copyProgram = true,
                           const std::string& programName = "TLYN_Update.exe");
    const std::string& Dir() const { return dir_; }
    bool Put(const std::string& fileName, const std::string& content) const;
    std::string Path(const std::string& fileName) const { return dir_ + "/" + fileName; }

private:
    std::string dir_;
};

class Program {
public:
    bool Start(const ProgramFolder& folder);
    // Runs directory/programName in the bed's environment plus `extra`.
    bool Start(const std::string& directory, const std::string& programName = "TLYN_Update.exe",
               const Environment& extra = {});
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
