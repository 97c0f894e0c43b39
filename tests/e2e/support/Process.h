// A child process with its standard input and output on pipes; ended (killed) with its owner.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (searched in PATH) in the directory, with the environment added to ours.
    // Output the test does not read goes to logPath.
    bool Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               const std::string& directory, const std::string& logPath, bool pipeStdio);

    bool WriteLine(const std::string& line);
    // One line of output without its line end; nothing when the time ran out or the pipe closed.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);

    // Waits for the exit; the exit status, or nothing on time-out.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    bool Running();
    void Kill();
    pid_t Pid() const { return pid_; }

private:
    void CloseFds();

    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string buffer_;
    std::optional<int> status_;
};

}  // namespace e2e
