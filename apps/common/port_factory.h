#pragma once

#include <memory>

#include "platform/scheduler.h"
#include "platform/serial_port.h"

namespace quill::app {

// The environment variable that names the serial device: /dev/ttyUSB0, COM3, ... or "sim"
// for the virtual board.
inline constexpr const char* kPortVariable = "QUILLMONT_PORT";

enum class PortKind {
    Host,  // the host's serial port (QUILLMONT_PORT names it; unset: the first port)
    Sim,   // the virtual board on a virtual cable, in real time
};

// What QUILLMONT_PORT's value (null when unset) asks for.
PortKind portKind(const char* portVariable);

// The program's serial port together with what must stay alive behind it.
struct ProgramPort {
    PortKind kind = PortKind::Host;
    std::unique_ptr<SerialPort> port;
    // The far end of a sim port (the virtual board). Declared after the port, so it goes
    // first: the port outlives the board that talks to it.
    std::shared_ptr<void> farEnd;
};

// Builds the port for `portVariable` (QUILLMONT_PORT's value, null when unset). A sim port
// runs on `scheduler`, which must outlive it.
ProgramPort makeProgramPort(Scheduler& scheduler, const char* portVariable);
// The same, from the environment.
ProgramPort makeProgramPort(Scheduler& scheduler);

}  // namespace quill::app
