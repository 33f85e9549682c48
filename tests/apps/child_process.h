#pragma once

// A built program (ours or another's) as a child process of the test: its standard output
// and error read as they come, every wait bounded, and the child killed when the case ends,
// however it ends.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QStandardPaths>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace quill::testing {

class Child {
  public:
    // The environment is the test's without any QUILLMONT_ variable, plus `env`: the test
    // decides the port and the board, not the caller's shell. Standard error may be a terminal.
    explicit Child(std::vector<std::string> args, std::vector<std::string> env = {},
                   bool errOnTerminal = false) {
        if (args[0].find('/') == std::string::npos)
            args[0] = QStandardPaths::findExecutable(QString::fromStdString(args[0])).toStdString();
        for (char** e = environ; *e; ++e)
            if (!std::string_view(*e).starts_with("QUILLMONT_")) env.push_back(*e);
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        for (auto& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        // Close-on-exec everywhere, so that no other child keeps this one's streams open.
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        if (errOnTerminal ? ::openpty(&err[0], &err[1], nullptr, nullptr, nullptr)
                          : ::pipe2(err, O_CLOEXEC))
            return;
        for (int fd : err) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        pid_ = ::fork();
        if (pid_ == 0) {  // only async-signal-safe calls in the child of a threaded process
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        fds_[0] = {out[0], POLLIN, 0};
        fds_[1] = {err[0], POLLIN, 0};
    }
    ~Child() {
        for (auto& fd : fds_)
            if (fd.fd >= 0) ::close(fd.fd);
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads what comes until `done` holds; false when it does not within `ms`.
    bool readUntil(const std::function<bool()>& done, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end || pid_ <= 0) return false;
            if (fds_[0].fd < 0 && fds_[1].fd < 0) {  // both streams ended: only the exit is left
                if (!exited()) ::usleep(10'000);
                continue;
            }
            if (::poll(fds_, 2, 50) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!fds_[i].revents) continue;
                char buffer[4096];
                const ssize_t n = ::read(fds_[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    (i == 0 ? out : err).append(buffer, size_t(n));
                } else {  // a pty reports EIO rather than the end once its last writer is gone
                    ::close(std::exchange(fds_[i].fd, -1));
                }
            }
        }
        return true;
    }
    bool waitForOutput(const std::string& text, int ms) {
        return readUntil([&] { return out.find(text) != std::string::npos; }, ms);
    }
    // Its exit status, 128 + n after signal n; -1 when it has not ended within `ms`.
    int finish(int ms) {
        readUntil([&] { return fds_[0].fd < 0 && fds_[1].fd < 0 && exited(); }, ms);
        return status_;
    }
    void signal(int number) const { ::kill(pid_, number); }

    std::string out, err;

  private:
    bool exited() {
        int status = 0;
        if (status_ < 0 && ::waitpid(pid_, &status, WNOHANG) == pid_)
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return status_ >= 0;
    }

    pid_t pid_ = -1;
    int status_ = -1;
    pollfd fds_[2] = {{-1, 0, 0}, {-1, 0, 0}};
};

}  // namespace quill::testing
