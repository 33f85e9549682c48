#include "common/port_factory.h"

#include <gtest/gtest.h>

namespace quill::app {
namespace {

// The ports made for each kind, and a refusal of unknown board options, are what every process
// test of the programs meets.
TEST(PortFactory, OnlySimChoosesTheVirtualBoard) {
    EXPECT_EQ(portKind("sim"), PortKind::Sim);
    for (const char* other : {"", "/dev/ttyUSB0", "SIM", "sim2"})
        EXPECT_EQ(portKind(other), PortKind::Host) << other;
    EXPECT_EQ(portKind(nullptr), PortKind::Host);
}

}  // namespace
}  // namespace quill::app
