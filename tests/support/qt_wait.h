#pragma once

#include <QTimer>
#include <functional>

#include "platform/qt/qt_timer.h"

namespace quill::testing {

// Runs the event loop through QtYield until done() holds. A watchdog timer keeps a broken
// platform from hanging the test run; reaching it is a failure (false), not a measurement.
inline bool runUntil(const std::function<bool()>& done, int watchdogMs = 10'000) {
    bool expired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] { expired = true; });
    watchdog.start(watchdogMs);
    QtYield yield;
    while (!done() && !expired) yield.yieldOnce();
    return !expired;
}

}  // namespace quill::testing
