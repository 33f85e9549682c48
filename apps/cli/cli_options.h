#pragma once

#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace quill::cli {

// What the command line asks for.
struct CliOptions {
    enum class Action { Write, Help, Version, ListPorts, ListSimOptions, UsageError };
    Action action = Action::Write;
    std::string bootFile;
    std::string userFile;
    // The serial device, "sim" for the virtual board; empty: QUILLMONT_PORT, then port 1.
    std::string port;
    // The virtual board's options: QUILLMONT_SIM's, then every --sim, joined by commas.
    std::string simOptions;
    std::string dumpFlash;  // empty: no dump
    bool quiet = false;
    // For Help and UsageError: the text to print.
    std::string message;
};

// Exit status of a usage error; a failed write exits with its error code instead.
inline constexpr int kUsageExit = 2;
// Exit status when the program itself fails (an exception that no write step expects); no
// error code of a write is 70.
inline constexpr int kInternalErrorExit = 70;

// Reads the arguments (program name first). `portVariable` and `simVariable` are the values of
// QUILLMONT_PORT and QUILLMONT_SIM, null when unset: the environment is read by the caller,
// so a test can pass its own.
CliOptions parseCliOptions(const QStringList& arguments, const char* portVariable,
                           const char* simVariable);

// A host serial port as the port list shows it.
struct PortListing {
    std::string device;  // /dev/ttyUSB0
    std::string about;   // description and maker, possibly empty
    DeviceAccess access;
};

// One line a port, "DEVICE<tab>ABOUT", marked where this user may not open it, then the
// virtual board, then the permission advice for the marked ports, one paragraph a group.
std::string portList(const std::vector<PortListing>& ports);
// The same for the host's ports as they are now.
std::string listPorts();
// The virtual board's option names, one a line, for --sim.
std::string listSimOptions();

}  // namespace quill::cli
