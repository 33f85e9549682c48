#pragma once

#include <functional>

namespace quill {

// A window timer: while enabled with an interval above 0 it ticks every interval
// milliseconds on the user-interface thread. An enabled timer with interval 0 does not tick.
class Timer {
  public:
    virtual ~Timer() = default;
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    void setTickHandler(std::function<void()> handler) { tick_ = std::move(handler); }

  protected:
    void tick() {
        if (tick_) tick_();
    }

  private:
    std::function<void()> tick_;
};

// Lets the platform handle pending window events; the waits of a write call it in a loop.
class Yield {
  public:
    virtual ~Yield() = default;
    // Handles the pending events once; where none is pending it blocks until one arrives,
    // so a wait never spins. Every wait has a timer armed, so it always returns.
    virtual void yieldOnce() = 0;
};

}  // namespace quill
