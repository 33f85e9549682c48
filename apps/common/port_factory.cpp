#include "common/port_factory.h"

#include <cstdlib>
#include <cstring>

#include "platform/qt/qt_serial_port.h"
#include "platform/virtual/virtual_serial_port.h"

namespace quill::app {

PortKind portKind(const char* portVariable) {
    if (portVariable && std::strcmp(portVariable, "sim") == 0) return PortKind::Sim;
    return PortKind::Host;
}

ProgramPort makeProgramPort(Scheduler& scheduler, const char* portVariable) {
    ProgramPort made;
    made.kind = portKind(portVariable);
    if (made.kind == PortKind::Host) {
        // QtSerialPort reads QUILLMONT_PORT itself when the program selects port number 1.
        made.port = std::make_unique<QtSerialPort>();
        return made;
    }
    auto port = std::make_unique<VirtualSerialPort>(scheduler, "sim");
    // ---- The virtual board plugs in here. ----
    // Once sim/ offers its board (a SerialFarEnd on a Scheduler and this VirtualSerialPort),
    // build it here, attach it to the port and keep it in made.farEnd, e.g.
    //     auto board = std::make_shared<sim::Board>(scheduler, *port, options);
    //     port->attach(board.get());
    //     made.farEnd = board;
    // Until then the cable ends in nothing: the port opens, nothing answers, CTS stays off.
    made.port = std::move(port);
    return made;
}

ProgramPort makeProgramPort(Scheduler& scheduler) {
    return makeProgramPort(scheduler, std::getenv(kPortVariable));
}

}  // namespace quill::app
