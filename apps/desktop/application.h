#pragma once

#include <QApplication>
#include <string>

namespace quill::app {

// The desktop application. An exception must not cross Qt's event delivery, so one thrown by
// a handler (a program error such as a settings index out of range) ends that event with a
// message instead of tearing the event loop down.
class Application : public QApplication {
  public:
    // The exit status of a program that could not start.
    static constexpr int kStartupFailed = 2;

    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Builds the main window for `commandLine`, shows it and runs the program to its end.
    // Anything that keeps the window from being built (board options that were not
    // understood, a port address that makes no sense) is a start-up error: it is shown in a
    // message box, since a program started from a desktop menu has no terminal, and on
    // stderr, and the program ends with kStartupFailed.
    static int run(const std::string& commandLine);

    // Reports a start-up error as above; returns kStartupFailed once the box is closed.
    static int startupFailed(const std::string& reason);
};

}  // namespace quill::app
