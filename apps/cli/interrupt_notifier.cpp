#include "cli/interrupt_notifier.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace quill::cli {

namespace {

int writeEnd = -1;

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds enough wake-ups.
    [[maybe_unused]] ssize_t n = ::write(writeEnd, &byte, 1);
    errno = saved;
}

}  // namespace

InterruptNotifier::InterruptNotifier(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot create the interrupt pipe");
    writeEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        char bytes[16];
        const ssize_t n = ::read(pipe_[0], bytes, sizeof bytes);
        for (ssize_t i = 0; i < n; ++i) onInterrupt_();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on: the loop learns of the signal through the pipe.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previous_);
}

InterruptNotifier::~InterruptNotifier() {
    ::sigaction(SIGINT, &previous_, nullptr);
    notifier_.reset();
    writeEnd = -1;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

}  // namespace quill::cli
