#include "platform/qt/qt_timer.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace quill {

QtTimer::QtTimer() {
    // A coarse timer may fire up to 5 % early or late; the 2, 3 and 5 ms delays of the line
    // pulses need the precise kind.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
}

void QtTimer::setInterval(int milliseconds) {
    interval_ = milliseconds;
    restart();
}

void QtTimer::setEnabled(bool enabled) {
    enabled_ = enabled;
    restart();
}

void QtTimer::restart() {
    if (enabled_ && interval_ > 0) {
        timer_.start(interval_);
    } else {
        timer_.stop();
    }
}

void QtYield::yieldOnce() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace quill
