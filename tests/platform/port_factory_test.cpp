#include "common/port_factory.h"

#include <gtest/gtest.h>

#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/virtual/virtual_serial_port.h"

namespace quill::app {
namespace {

TEST(PortFactory, SimChoosesTheVirtualBoardAndEverythingElseTheHostPort) {
    EXPECT_EQ(portKind("sim"), PortKind::Sim);
    EXPECT_EQ(portKind(nullptr), PortKind::Host);
    EXPECT_EQ(portKind(""), PortKind::Host);
    EXPECT_EQ(portKind("/dev/ttyUSB0"), PortKind::Host);
    EXPECT_EQ(portKind("COM3"), PortKind::Host);
    EXPECT_EQ(portKind("SIM"), PortKind::Host);
    EXPECT_EQ(portKind("sim2"), PortKind::Host);
}

TEST(PortFactory, BuildsThePortOfTheChosenKind) {
    QtScheduler scheduler;
    ProgramPort host = makeProgramPort(scheduler, "/dev/ttyUSB9", "");
    EXPECT_EQ(host.kind, PortKind::Host);
    EXPECT_NE(dynamic_cast<QtSerialPort*>(host.port.get()), nullptr);

    ProgramPort sim = makeProgramPort(scheduler, "sim", "erase-time=10");
    EXPECT_EQ(sim.kind, PortKind::Sim);
    auto* virtualPort = dynamic_cast<VirtualSerialPort*>(sim.port.get());
    ASSERT_NE(virtualPort, nullptr);
    EXPECT_EQ(virtualPort->portName(), "sim");
    // The sim port runs on the real-time scheduler: it opens and takes settings.
    EXPECT_TRUE(virtualPort->setSettings("38400,N,8,1"));
    EXPECT_TRUE(virtualPort->open());
    ASSERT_NE(sim.board, nullptr);
    EXPECT_EQ(sim.board->options().eraseTimeMs, 10);
}

TEST(PortFactory, RefusesBoardOptionsItDoesNotUnderstand) {
    QtScheduler scheduler;
    ProgramPort sim = makeProgramPort(scheduler, "sim", "erase-time=10,wobble");
    EXPECT_EQ(sim.port, nullptr);
    EXPECT_NE(sim.error.find("wobble"), std::string::npos) << sim.error;
}

}  // namespace
}  // namespace quill::app
