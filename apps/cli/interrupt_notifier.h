#pragma once

#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <memory>

namespace quill::cli {

// Brings SIGINT (Ctrl-C) to the event loop: the signal handler only writes a byte into a
// pipe, and the loop reads it and calls the handler, where anything may be done.
// One instance at a time; the previous disposition of SIGINT is restored when it goes.
class InterruptNotifier {
  public:
    explicit InterruptNotifier(std::function<void()> onInterrupt);
    ~InterruptNotifier();
    InterruptNotifier(const InterruptNotifier&) = delete;
    InterruptNotifier& operator=(const InterruptNotifier&) = delete;

  private:
    std::function<void()> onInterrupt_;
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previous_ {};
};

}  // namespace quill::cli
