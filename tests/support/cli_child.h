#pragma once

// Runs the built quillmont-cli as a child process and collects what it prints.

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace quill::testing {

struct CliRun {
    int status = -1;  // the exit status; 128 + n after signal n
    std::string out;
    std::string err;
};

struct CliChild {
    std::vector<std::string> args;
    std::vector<std::string> env;  // NAME=VALUE added to the test's environment
    bool stderrOnTerminal = false;
    // Called whenever output has arrived, with the run so far; it may signal the child.
    std::function<void(pid_t, const CliRun&)> watch;

    CliRun run(int timeoutMs = 20000) const {
        int outPipe[2], errPipe[2] = {-1, -1}, master = -1, slave = -1;
        if (::pipe(outPipe) != 0) return {};
        if (stderrOnTerminal) {
            if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
        } else if (::pipe(errPipe) != 0) {
            return {};
        }
        const int errRead = stderrOnTerminal ? master : errPipe[0];
        const int errWrite = stderrOnTerminal ? slave : errPipe[1];

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errWrite, 2);
        posix_spawn_file_actions_addclose(&actions, outPipe[0]);
        posix_spawn_file_actions_addclose(&actions, errRead);
        std::vector<std::string> argStore{QUILLMONT_CLI};
        argStore.insert(argStore.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argStore) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envStore;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            // The test decides the port and the board, not the caller's shell.
            if (entry.starts_with("QUILLMONT_PORT=") || entry.starts_with("QUILLMONT_SIM="))
                continue;
            envStore.push_back(entry);
        }
        envStore.insert(envStore.end(), env.begin(), env.end());
        std::vector<char*> envp;
        for (auto& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);

        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(outPipe[1]);
        ::close(errWrite);
        CliRun result;
        if (spawned != 0) {
            ::close(outPipe[0]);
            ::close(errRead);
            return result;
        }

        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errRead, POLLIN, 0}};
        int open = 2;
        while (open > 0 && std::chrono::steady_clock::now() < deadline) {
            if (::poll(fds, 2, 50) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    // A pty reports EIO once its last writer is gone.
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                    continue;
                }
                (i == 0 ? result.out : result.err).append(buffer, size_t(n));
            }
            if (watch) watch(pid, result);
        }
        if (open > 0) ::kill(pid, SIGKILL);
        for (auto& fd : fds)
            if (fd.fd >= 0) ::close(fd.fd);
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return result;
    }
};

}  // namespace quill::testing
