#include "platform/qt/low_latency.h"

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace quill {

LowLatencyMode::Ioctl LowLatencyMode::systemIoctl() {
    return [](int fd, unsigned long request, void* argument) {
#ifdef __linux__
        return ::ioctl(fd, request, argument);
#else
        (void)fd, (void)request, (void)argument;
        return -1;
#endif
    };
}

bool LowLatencyMode::enable(int fd) {
    restore();
#ifdef __linux__
    serial_struct serial{};
    if (fd < 0 || ioctl_(fd, TIOCGSERIAL, &serial) != 0) return false;
    if ((serial.flags & ASYNC_LOW_LATENCY) != 0) {
        active_ = true;
        return true;
    }
    const int oldFlags = serial.flags;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (ioctl_(fd, TIOCSSERIAL, &serial) != 0) return false;
    fd_ = fd;
    oldFlags_ = oldFlags;
    active_ = true;
    return true;
#else
    (void)fd;
    return false;
#endif
}

void LowLatencyMode::restore() {
#ifdef __linux__
    if (fd_ >= 0) {
        // Read again: only our flag goes back, whatever else changed meanwhile. A device that
        // has gone away refuses both, and there is nothing left to put back.
        serial_struct serial{};
        if (ioctl_(fd_, TIOCGSERIAL, &serial) == 0) {
            serial.flags = (serial.flags & ~ASYNC_LOW_LATENCY) | (oldFlags_ & ASYNC_LOW_LATENCY);
            ioctl_(fd_, TIOCSSERIAL, &serial);
        }
    }
#endif
    fd_ = -1;
    active_ = false;
}

}  // namespace quill
