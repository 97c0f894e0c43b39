#include "Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

namespace e2e {

ChildProcess::~ChildProcess() { Kill(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      in_(std::exchange(other.in_, -1)),
      out_(std::exchange(other.out_, -1)),
      buffer_(std::move(other.buffer_)),
      status_(other.status_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Kill();
        pid_ = std::exchange(other.pid_, -1);
        in_ = std::exchange(other.in_, -1);
        out_ = std::exchange(other.out_, -1);
        buffer_ = std::move(other.buffer_);
        status_ = other.status_;
    }
    return *this;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         const std::string& directory, const std::string& logPath, bool pipeStdio) {
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (pipeStdio && (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)) {
        return false;
    }
    pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        setpgid(0, 0);
        int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int null = open("/dev/null", O_RDWR);
        dup2(pipeStdio ? toChild[0] : null, 0);
        dup2(pipeStdio ? fromChild[1] : (log >= 0 ? log : null), 1);
        dup2(log >= 0 ? log : null, 2);
        for (const auto& [key, value] : env) {
            setenv(key.c_str(), value.c_str(), 1);
        }
        if (!directory.empty() && chdir(directory.c_str()) != 0) {
            _exit(126);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    pid_ = pid;
    status_.reset();
    if (pipeStdio) {
        close(toChild[0]);
        close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
    }
    return true;
}

bool ChildProcess::WriteLine(const std::string& line) {
    std::string data = line + "\n";
    const char* next = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = write(in_, next, left);
        if (n <= 0) {
            return false;
        }
        next += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || out_ < 0) {
            return std::nullopt;
        }
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char chunk[4096];
        ssize_t n = read(out_, chunk, sizeof(chunk));
        if (n <= 0) {
            return std::nullopt;
        }
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (status_) {
        return status_;
    }
    if (pid_ < 0) {
        return std::nullopt;
    }
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t got = waitpid(pid_, &status, WNOHANG);
        if (got == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool ChildProcess::Running() { return pid_ >= 0 && !Wait(std::chrono::milliseconds(0)); }

void ChildProcess::Kill() {
    if (pid_ >= 0 && !status_) {
        kill(-pid_, SIGKILL);
        kill(pid_, SIGKILL);
        Wait(std::chrono::milliseconds(5000));
    }
    CloseFds();
    pid_ = -1;
}

void ChildProcess::CloseFds() {
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
    in_ = out_ = -1;
}

}  // namespace e2e
