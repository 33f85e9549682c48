#pragma once

#include <cstdint>
#include <functional>

namespace quill {

// A monotonic clock.
class Clock {
  public:
    virtual ~Clock() = default;
    // Nanoseconds since the clock started.
    virtual int64_t nowNs() const = 0;
};

// A clock with callbacks at set times on the user-interface thread. The virtual board and
// the virtual serial port run on it: in virtual time inside tests, in real time in the
// programs.
class Scheduler : public Clock {
  public:
    using Handle = uint64_t;
    // Runs fn once, delayNs from now (0: as the next event).
    virtual Handle schedule(int64_t delayNs, std::function<void()> fn) = 0;
    virtual void cancel(Handle handle) = 0;
};

constexpr int64_t kNsPerMs = 1'000'000;
constexpr int64_t kNsPerSecond = 1'000'000'000;

}  // namespace quill
