#pragma once

#include <QTimer>

#include "platform/timer.h"

namespace quill {

// A window timer on a QTimer. Enabled with an interval above 0 it ticks periodically; with
// interval 0 it never ticks. Setting the interval or enabling it starts the count afresh.
class QtTimer : public Timer {
  public:
    QtTimer();
    void setInterval(int milliseconds) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }

  private:
    void restart();
    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = false;
};

// Handles the pending events; with none pending it sleeps in the event loop until one
// arrives, so a wait costs no CPU.
class QtYield : public Yield {
  public:
    void yieldOnce() override;
};

}  // namespace quill
