#pragma once

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "cli/cli_options.h"
#include "cli/progress_meter.h"
#include "cli/stream_console.h"
#include "common/port_factory.h"
#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_timer.h"
#include "platform/text_file.h"
#include "platform/virtual/recording_controls.h"
#include "shell/form1.h"

namespace quill::cli {

// Exit status when the serial port cannot be opened: the write would end with this code
// anyway, as the power test reads CTS off on a closed port.
inline constexpr int kPortUnavailableExit = 21;
// Exit status after a second Ctrl-C: the shell's usual one for SIGINT.
inline constexpr int kInterruptedExit = 130;

// Where the session's output goes.
struct CliStreams {
    std::FILE* out = stdout;  // the console's lines
    std::FILE* err = stderr;  // the message box, the program's own messages, the progress
    bool progress = false;    // draw the progress line on `err` (a terminal)
};

// One run of the command-line writer: the window's Form1 with invisible controls, on the
// real-time Qt event loop, writing once. Needs a QCoreApplication.
class CliSession {
  public:
    CliSession(const CliOptions& options, CliStreams streams);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // start(), write() and finish(): the exit status.
    int run();

    // The steps of run(), for a caller that times the write alone. start() loads the window
    // and lets its first tick pass; a non-zero result means stop with that status.
    int start();
    int write();
    // Writes the flash dump, if one was asked for; a non-zero result is the exit status.
    int finish();

    // Ctrl-C: the first acts as the stop key, the second ends the program at once.
    void interrupt();

    Form1& form() { return *form_; }
    SerialPort& port() { return *port_.port; }
    // The virtual board and its cable; null on a host port.
    sim::Board* board() { return port_.board.get(); }
    VirtualSerialPort* simPort();

  private:
    class StopYield;
    class Messages;
    class End;

    // Hands a pending stop to the write once a response wait is open: outside one, the
    // window's stop key would end the program instead of stopping the write.
    bool deliverPendingStop();
    void beforeOutput();

    CliOptions options_;
    CliStreams streams_;

    QtScheduler scheduler_;
    QtTimer timer1_, timer3_, timer4_;
    std::unique_ptr<StopYield> yield_;
    app::ProgramPort port_;
    DiskTextFileSlot fileSlot_;
    std::unique_ptr<Messages> messages_;
    std::unique_ptr<End> end_;
    RecordingTextField hexFileN_, bootFileN_;
    RecordingLabel h8stat_, lbComSpeed_, lbComData_, lbComParity_, lbComStop_, lbComRTS_, lbComDTR_,
        lbComCTS_;
    CountingBeeper beeper_;
    RecordingHelpWindow helpForm_;
    std::unique_ptr<FileDialog> dialog_;
    std::unique_ptr<ProgressMeter> meter_;
    StreamConsole console_;
    ProgressButton cbWrite_;
    std::unique_ptr<Form1> form_;

    std::ofstream dump_;
    bool stopPending_ = false;
    int interrupts_ = 0;
};

}  // namespace quill::cli
