// The board with kernel=run: the boot ROM starts the received program on the emulated chip,
// whose SCI3 talks on the cable at the rate BRR gives, and a program that runs away is a
// board event and silence on the line.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/virtual/virtual_scheduler.h"
#include "sim/board.h"
#include "support/h8_tools.h"

namespace quill::sim {
namespace {

using namespace std::string_literals;

// Echoes each byte plus one; an "X" runs into an illegal instruction.
constexpr const char* kEchoProgram = R"(
	.h8300hn
	.text
	.global _start
_start:
loop:	btst	#6,@0xac:8
	beq	loop
	mov.b	@0xad:8,r0l
	bclr	#6,@0xac:8
	cmp.b	#0x58,r0l
	bne	1f
	.word	0x0001
1:	add.b	#1,r0l
tx:	btst	#7,@0xac:8
	beq	tx
	mov.b	r0l,@0xab:8
	bra	loop
)";

struct Rig {
    VirtualScheduler clock;
    VirtualSerialPort port{clock, "sim"};
    std::unique_ptr<Board> board;

    explicit Rig(const std::string& options) {
        auto parsed = parseBoardOptions("kernel=run,erase-time=10," + options);
        EXPECT_TRUE(parsed.ok()) << parsed.error;
        board = std::make_unique<Board>(clock, port, parsed.options);
        port.open();
    }
    std::string exchange(const std::vector<uint8_t>& out, int waitMs) {
        port.readAll();
        port.write(out);
        clock.runFor(waitMs * kNsPerMs);
        auto in = port.readAll();
        return {in.begin(), in.end()};
    }
    // Boot mode, the bit rate, the erase and the program, as a writer sends them.
    std::string boot(int speed, const std::vector<uint8_t>& program) {
        port.setSettings(std::to_string(speed) + ",N,8,1");
        port.setDtr(false);
        port.setRts(false);
        clock.runFor(10 * kNsPerMs);
        port.setDtr(true);
        clock.runFor(10 * kNsPerMs);
        for (int k = 0; k < 3; ++k) exchange({0x00}, 10);
        std::string got = exchange({0x55}, 30);
        got += exchange({uint8_t(program.size() >> 8), uint8_t(program.size())}, 30);
        for (uint8_t b : program) got += exchange({b}, 20);
        return got;
    }
};

TEST(H8Board, TheReceivedProgramRunsAndTalksAtTheRateBrrGives) {
    testing::ScratchFolder folder;
    std::string error;
    const auto program = testing::buildH8(folder, "echo.s", kEchoProgram, 0xF780, error);
    if (program.empty()) GTEST_SKIP() << "cannot assemble with binutils-h8300-hms: " << error;
    struct Case {
        int speed;
        const char* clock;
        int chipSpeed;  // what BRR gives at this clock
    };
    const Case cases[] = {
        {19200, "20", 18939}, {9600, "20", 9615}, {2400, "20", 2404}, {9600, "16", 9615}};
    for (const auto& c : cases) {
        Rig rig("speeds="s + std::to_string(c.speed) + ",clock=" + c.clock);
        const std::string expected = "\xAA"s + char(0) + char(program.size()) +
                                     std::string(program.begin(), program.end()) + "\xAA";
        ASSERT_EQ(rig.boot(c.speed, program), expected) << c.speed;
        ASSERT_EQ(rig.board->state(), Board::State::Running);
        EXPECT_EQ(rig.exchange({'a', 'b', 'c'}, 50), "bcd") << c.speed;
        EXPECT_EQ(rig.port.traffic().back().settings.speed, c.chipSpeed) << c.speed;
        EXPECT_TRUE(rig.board->breaches().empty());

        EXPECT_EQ(rig.exchange({'X', 'a'}, 50), "") << c.speed;
        const auto stops = rig.board->breaches();
        ASSERT_EQ(stops.size(), 1u);
        EXPECT_EQ(stops[0].kind, BoardEvent::Kind::ProgramStopped);
        EXPECT_NE(stops[0].text.find("illegal instruction H'0001"), std::string::npos)
            << stops[0].text;
        // Stopped, the chip costs nothing: no more slices are due.
        EXPECT_TRUE(rig.clock.idle());
    }
}

}  // namespace
}  // namespace quill::sim
