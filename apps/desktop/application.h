#pragma once

#include <QApplication>

namespace quill::app {

// The desktop application. An exception must not cross Qt's event delivery, so one thrown by
// a handler (a program error such as a settings index out of range) ends that event with a
// message instead of tearing the event loop down.
class Application : public QApplication {
  public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace quill::app
