// The board with kernel=run: the boot ROM starts the received program on the emulated chip,
// whose SCI3 talks on the cable at the rate BRR gives, and a program that runs away is a
// board event and silence on the line.

#include <gtest/gtest.h>

#include <string>

#include "support/h8_tools.h"
#include "support/kernel_line.h"

namespace quill::sim {
namespace {

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
        SCOPED_TRACE(c.speed);
        testing::KernelLine line("kernel=run,erase-time=10,speeds=" + std::to_string(c.speed) +
                                     ",clock=" + c.clock,
                                 c.speed);
        ASSERT_EQ(line.start(program), "\x0E");  // the wake-up CR, plus one
        EXPECT_EQ(line.exchange({'a', 'b', 'c'}, 50, 3), "bcd");
        EXPECT_EQ(line.board().chip()->sci().lineSettings().speed, c.chipSpeed);
        EXPECT_TRUE(line.board().breaches().empty());

        EXPECT_EQ(line.exchange({'X', 'a'}, 50), "");
        const auto stops = line.board().breaches();
        ASSERT_EQ(stops.size(), 1u);
        EXPECT_EQ(stops[0].kind, BoardEvent::Kind::ProgramStopped);
        EXPECT_NE(stops[0].text.find("illegal instruction H'0001"), std::string::npos)
            << stops[0].text;
        // Stopped, the chip costs nothing: no more slices are due, its time stands.
        const uint64_t stoppedAt = line.board().chip()->states();
        line.exchange({}, 50);
        EXPECT_EQ(line.board().chip()->states(), stoppedAt);
    }
}

}  // namespace
}  // namespace quill::sim
