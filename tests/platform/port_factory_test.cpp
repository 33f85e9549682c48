#include "common/port_factory.h"

#include <gtest/gtest.h>

#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/virtual/virtual_serial_port.h"

namespace quill::app {
namespace {

TEST(PortFactory, OnlySimChoosesTheVirtualBoardAndItsOptionsMustAllBeKnown) {
    EXPECT_EQ(portKind("sim"), PortKind::Sim);
    for (const char* other : {"", "/dev/ttyUSB0", "SIM", "sim2"})
        EXPECT_EQ(portKind(other), PortKind::Host) << other;
    EXPECT_EQ(portKind(nullptr), PortKind::Host);

    QtScheduler scheduler;
    ProgramPort host = makeProgramPort(scheduler, "/dev/ttyUSB9", "");
    EXPECT_NE(dynamic_cast<QtSerialPort*>(host.port.get()), nullptr);
    ProgramPort sim = makeProgramPort(scheduler, "sim", "erase-time=10");
    auto* virtualPort = dynamic_cast<VirtualSerialPort*>(sim.port.get());
    ASSERT_NE(virtualPort, nullptr);
    EXPECT_TRUE(virtualPort->open());
    ASSERT_NE(sim.board, nullptr);
    EXPECT_EQ(sim.board->options().eraseTimeMs, 10);

    ProgramPort refused = makeProgramPort(scheduler, "sim", "erase-time=10,wobble");
    EXPECT_EQ(refused.port, nullptr);
    EXPECT_NE(refused.error.find("wobble"), std::string::npos) << refused.error;
}

}  // namespace
}  // namespace quill::app
