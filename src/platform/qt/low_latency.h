#pragma once

#include <functional>
#include <utility>

namespace quill {

// Low-latency mode of a serial device on Linux: ASYNC_LOW_LATENCY in the driver's serial
// flags. A USB-serial adapter holds what it receives until its latency timer runs out (16 ms
// on the common chips); in this mode their drivers set the timer to 1 ms, so that an echo or
// an answer is not held back for a whole timer. The previous flags are put back when the
// port is given up. A device that refuses (a pseudo-terminal, some drivers) is used as it
// is: that costs time, not correctness. Elsewhere the timer is a setting of the driver and
// this does nothing.
class LowLatencyMode {
  public:
    // The ioctl the requests go through; tests hand in a driver of their own.
    using Ioctl = std::function<int(int fd, unsigned long request, void* argument)>;

    // The system's own ioctl (on Linux; elsewhere one that refuses everything).
    static Ioctl systemIoctl();

    explicit LowLatencyMode(Ioctl ioctl) : ioctl_(std::move(ioctl)) {}
    LowLatencyMode(const LowLatencyMode&) = delete;
    LowLatencyMode& operator=(const LowLatencyMode&) = delete;

    // Asks the driver of the open device fd for low-latency mode; true when the device runs
    // in it afterwards (also when it already did).
    bool enable(int fd);
    // Puts back the flags enable() found, if it changed them, while fd is still open.
    void restore();
    bool active() const { return active_; }

  private:
    Ioctl ioctl_;
    int fd_ = -1;  // the device whose flags enable() changed, -1 when none
    int oldFlags_ = 0;
    bool active_ = false;
};

}  // namespace quill
