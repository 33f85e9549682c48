#pragma once

// A built program (ours or another's) as a child process of the test: its standard output
// and error read as they come, every wait bounded, and the child killed when the case ends,
// however it ends. QProcess opens its pipes close-on-exec, so no other child keeps them open.

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace quill::testing {

// The contents of a file a child wrote.
inline std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class Child {
  public:
    // The environment is the test's without any QUILLMONT_ variable, plus `env`: the test
    // decides the port and the board, not the caller's shell. Standard error may be a terminal.
    explicit Child(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                   bool errOnTerminal = false) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& name : environment.keys())
            if (name.startsWith("QUILLMONT_")) environment.remove(name);
        for (const std::string& e : env)
            environment.insert(QString::fromStdString(e.substr(0, e.find('='))),
                               QString::fromStdString(e.substr(e.find('=') + 1)));
        process_.setProcessEnvironment(environment);
        char name[256] = {};
        if (errOnTerminal && ::openpty(&terminal_, &slave_, name, nullptr, nullptr) == 0) {
            ::fcntl(terminal_, F_SETFL, O_NONBLOCK);
            ::fcntl(terminal_, F_SETFD, FD_CLOEXEC);
            ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
            process_.setStandardErrorFile(name);
        }
        QStringList arguments;
        for (size_t i = 1; i < args.size(); ++i) arguments << QString::fromStdString(args[i]);
        process_.start(QString::fromStdString(args[0]), arguments);
    }
    ~Child() {
        process_.kill();
        process_.waitForFinished(5000);
        for (int fd : {terminal_, slave_})
            if (fd >= 0) ::close(fd);
    }

    // Reads what comes until `done` holds; false when it does not within `ms`, or the child
    // ended without it.
    bool readUntil(const std::function<bool()>& done, int ms) {
        const QDeadlineTimer deadline(ms);
        for (take(); !done(); take()) {
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) return false;
            process_.waitForReadyRead(int(std::min<qint64>(50, deadline.remainingTime())));
        }
        return true;
    }
    bool waitForOutput(const std::string& text, int ms) {
        return readUntil([&] { return out.find(text) != std::string::npos; }, ms);
    }
    // Its exit status, 128 + n after signal n; -1 when it has not ended within `ms`.
    int finish(int ms) {
        process_.waitForFinished(ms);
        take();
        if (process_.state() != QProcess::NotRunning || process_.error() == QProcess::FailedToStart)
            return -1;
        return process_.exitCode() + (process_.exitStatus() == QProcess::CrashExit ? 128 : 0);
    }
    void signal(int number) const { ::kill(pid_t(process_.processId()), number); }

    std::string out, err;

  private:
    // A terminal's reader keeps its own end of it open, so the reads find the data, not EIO.
    void take() {
        out += process_.readAllStandardOutput().toStdString();
        err += process_.readAllStandardError().toStdString();
        char buffer[4096];
        for (ssize_t n; terminal_ >= 0 && (n = ::read(terminal_, buffer, sizeof buffer)) > 0;)
            err.append(buffer, size_t(n));
    }

    QProcess process_;
    int terminal_ = -1, slave_ = -1;
};

}  // namespace quill::testing
