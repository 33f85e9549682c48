#include "common/port_factory.h"

#include <cstdlib>
#include <cstring>

#include "platform/net/host_port.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/rfc2217_port.h"
#include "platform/virtual/virtual_serial_port.h"

namespace quill::app {

PortKind portKind(const char* portVariable) {
    if (portVariable && std::strcmp(portVariable, "sim") == 0) return PortKind::Sim;
    if (portVariable && isRfc2217Name(portVariable)) return PortKind::Network;
    return PortKind::Host;
}

ProgramPort makeProgramPort(Scheduler& scheduler, const char* portVariable,
                            const std::string& boardOptions) {
    ProgramPort made;
    made.kind = portKind(portVariable);
    if (made.kind == PortKind::Host) {
        // QtSerialPort reads QUILLMONT_PORT itself when the program selects port number 1.
        made.port = std::make_unique<QtSerialPort>();
        return made;
    }
    if (made.kind == PortKind::Network) {
        if (auto parsed = parseRfc2217Name(portVariable); !parsed.address) {
            made.error = parsed.error;
            return made;
        }
        auto port = std::make_unique<Rfc2217Port>(portVariable);
        made.network = port.get();
        made.port = std::move(port);
        return made;
    }
    auto options = sim::parseBoardOptions(boardOptions);
    if (!options.ok()) {
        made.error = options.error;
        return made;
    }
    auto port = std::make_unique<VirtualSerialPort>(scheduler, "sim");
    // A program may run for hours: keep no log of every character on the virtual wire.
    port->keepTraffic(false);
    // In real time a wake-up per character of a block record would cost more CPU than the
    // rest of the write; the board answers a record only once it is whole anyway.
    port->deliverWholeWrites(options.options.kernel == sim::BoardOptions::Kernel::Model);
    made.board = std::make_unique<sim::Board>(scheduler, *port, options.options);
    made.port = std::move(port);
    return made;
}

ProgramPort makeProgramPort(Scheduler& scheduler) {
    const char* options = std::getenv(sim::kBoardOptionsVariable);
    return makeProgramPort(scheduler, std::getenv(kPortVariable), options ? options : "");
}

}  // namespace quill::app
