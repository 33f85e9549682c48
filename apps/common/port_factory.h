#pragma once

#include <memory>

#include "platform/scheduler.h"
#include "platform/serial_port.h"
#include "sim/board.h"

namespace quill {
class Rfc2217Port;
}

namespace quill::app {

// The environment variable that names the serial device: /dev/ttyUSB0, COM3, ..., "sim" for
// the virtual board, or rfc2217://HOST:PORT for a port on another machine.
inline constexpr const char* kPortVariable = "QUILLMONT_PORT";

enum class PortKind {
    Host,  // the host's serial port (QUILLMONT_PORT names it; unset: the first port)
    Sim,   // the virtual board on a virtual cable, in real time
    Network,  // rfc2217://HOST:PORT: a serial port shared over the network (ser2net, quillmont-board)
};

// What QUILLMONT_PORT's value (null when unset) asks for.
PortKind portKind(const char* portVariable);

// The program's serial port together with what must stay alive behind it.
struct ProgramPort {
    PortKind kind = PortKind::Host;
    std::unique_ptr<SerialPort> port;
    // The virtual board at the far end of a sim port. Declared after the port, so it goes
    // first: the port outlives the board that talks to it.
    std::unique_ptr<sim::Board> board;
    // The port again when it is a network port, for its notices; null otherwise.
    Rfc2217Port* network = nullptr;
    // Why no port could be made (board options that were not understood, a malformed network
    // address); empty when made.
    std::string error;
};

// Builds the port for `portVariable` (QUILLMONT_PORT's value, null when unset). A sim port
// runs on `scheduler`, which must outlive it, with a board set up by `boardOptions` (the
// comma-separated NAME[=VALUE] list of QUILLMONT_SIM).
ProgramPort makeProgramPort(Scheduler& scheduler, const char* portVariable,
                            const std::string& boardOptions);
// The same, from the environment (QUILLMONT_PORT and QUILLMONT_SIM).
ProgramPort makeProgramPort(Scheduler& scheduler);

}  // namespace quill::app
