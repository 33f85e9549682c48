// Our kernel running on the emulated chip: whole writes through the program at every speed
// the boot ROM matches and at every clock we ship an image for, and every answer it gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/board_desk.h"
#include "support/kernel_line.h"

namespace quill {
namespace {

using testing::CraftedRecord;
using testing::KernelLine;

const std::string kExamples = QUILLMONT_SOURCE_DIR "/examples/";

// Our kernel, built for a clock of `mhz`.
std::string kernelFile(int mhz) { return kExamples + "kernel-" + std::to_string(mhz) + "mhz.mot"; }

std::string banner(int mhz) {
    return "Quill " + std::to_string(mhz) + "MHz\r\n";
}

std::string boardOptions(int mhz, int speed) {
    return "kernel=run,clock=" + std::to_string(mhz) + ",speeds=" + std::to_string(speed) +
           ",erase-time=10";
}

// The flash controller's complaints and a program that ran away, one per line.
std::string breaches(const sim::Board& board) {
    std::string text;
    for (const auto& e : board.breaches()) text += e.text + "\n";
    return text;
}

// The write as a user runs it, with the image for the board's clock: the flash ends as the
// program file says, the flash controller saw no breach of its rules, and the console shows
// the success transcript with our banner.
TEST(Kernel, WritesEachExampleAtEachSpeedAndClock) {
    struct Case {
        int mhz;
        const char* program;
        int speed;
        int matchTry;  // at 2400 bit/s the chip's answer comes after the next probe
    };
    // Each program, speed and clock once at least; the whole flash once per clock.
    const Case cases[] = {
        {20, "full.mot", 19200, 2}, {20, "small.hex", 9600, 2}, {20, "small.mot", 4800, 2},
        {20, "small.hex", 2400, 3}, {16, "full.hex", 19200, 2}, {16, "small.mot", 9600, 2},
        {16, "small.hex", 4800, 2}, {16, "small.mot", 2400, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.mhz) + " MHz, " + c.program + " at " +
                     std::to_string(c.speed));
        testing::BoardDesk b(boardOptions(c.mhz, c.speed));
        b.bootFile = kernelFile(c.mhz);
        b.userFile = kExamples + c.program;
        b.start();
        b.write();
        const int length = int(testing::fileImage(b.bootFile, 0xF780).size());
        EXPECT_EQ(b.desk->status.text(),
                  testing::successTranscript(b.bootFile, b.userFile, length, c.matchTry,
                                             std::to_string(c.speed), banner(c.mhz)));
        EXPECT_EQ(b.flash(), testing::fileImage(b.userFile, 0, 0x8000));
        EXPECT_EQ(breaches(*b.board), "");
    }
}

// A boot program that runs into an illegal instruction: a board event, silence on the line,
// and, stopped, the chip costs nothing: no more slices are due, its time stands. Its SCI3
// talks at the rate BRR gives, H'40 with a clock divided by 4 for 2400 bit/s at 20 MHz.
TEST(Kernel, AProgramThatRunsAwayStopsTheChip) {
    KernelLine line(boardOptions(20, 2400), 2400);
    EXPECT_EQ(line.start({0x00, 0x01}), "");
    EXPECT_EQ(line.board().chip()->sci().lineSettings().speed, 2404);
    ASSERT_EQ(line.board().breaches().size(), 1u);
    EXPECT_EQ(line.board().breaches()[0].kind, sim::BoardEvent::Kind::ProgramStopped);
    EXPECT_EQ(breaches(line.board()), "illegal instruction H'0001 at H'F780\n");
    const uint64_t stoppedAt = line.board().chip()->states();
    line.within({}, 50);
    EXPECT_EQ(line.board().chip()->states(), stoppedAt);
}

// The chip's answer to each record, and the flash after them. Each case runs on a fresh
// kernel, so that no case leans on another; the board's stand-in kernel runs them too.
TEST(Kernel, AnswersEveryRecordWithItsLetter) {
    struct Step {
        std::vector<uint8_t> bytes;
        char answer;
        int waitMs = 400;
    };
    const CraftedRecord sound(0x0100, 0x21, 7);
    auto spoiled = [&](auto spoil) {
        CraftedRecord r = sound;
        spoil(r);
        return r.whole();
    };
    auto at = [&](uint16_t address) { return CraftedRecord(address, 0x21, 7).whole(); };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::string options = "";
        bool standIn = true;  // the board's stand-in kernel gives the same letters
    };
    const Case cases[] = {
        {"a sound record", {{sound.whole(), '>'}, {at(0x7F80), '>'}}},
        {"an erased block is taken as it is", {{CraftedRecord(0x0000, 0xFF).whole(), '>'}}},
        {"bad header", {{spoiled([](auto& r) { r.bytes[0] = 'B'; }), ':'}}},
        {"header before end", {{spoiled([](auto& r) { r.bytes[0] = 0, r.bytes[136] = 0; }), ':'}}},
        {"no end byte", {{spoiled([](auto& r) { r.bytes[136] = 0x0A; }), 'L'}}},
        {"end before sum", {{spoiled([](auto& r) { r.bytes[136] = 0, r.bytes[9] ^= 4; }), 'L'}}},
        {"bad sum", {{spoiled([](auto& r) { r.bytes[70] ^= 0x10; }), 'S'}}},
        {"the unused bytes count", {{spoiled([](auto& r) { r.bytes[2] = 1; }), 'S'}}},
        {"the unused bytes are free", {{spoiled([](auto& r) { r.bytes[2] = 1, r.sign(); }), '>'}}},
        {"misaligned", {{spoiled([](auto& r) { r.bytes[5] = 0x40, r.sign(); }), 'A'}}},
        {"alignment before range",
         {{spoiled([](auto& r) { r.bytes[4] = 0x80, r.bytes[5] = 1, r.sign(); }), 'A'}}},
        {"beyond the flash", {{at(0x8000), 'W'}, {at(0xFF80), 'W'}}},
        {"written twice", {{sound.whole(), '>'}, {sound.whole(), 'D'}}},
        {"cut short, then whole", {{sound.cut(100), 'T', 5200}, {sound.whole(), '>'}}},
        // A cell that never takes its charge: the kernel gives up while the write listens,
        // and the block counts as written.
        {"stuck cell", {{sound.whole(), 'Z'}, {sound.whole(), 'D'}}, ",stuck=0105:FF", false},
        // A cell that reads 0 where the data has 1: no pulse can mend it.
        {"cell stuck at 0", {{sound.whole(), 'Z'}}, ",stuck=0100:00"},
    };
    const int mhz = 16;  // the slower clock: the longest programming time
    const auto image = testing::fileImage(kernelFile(mhz), 0xF780);
    for (size_t k = 0; k < 2 * std::size(cases); ++k) {
        const Case& c = cases[k % std::size(cases)];
        const bool standIn = k >= std::size(cases);
        if (standIn && !c.standIn) continue;
        SCOPED_TRACE(std::string(c.what) + (standIn ? ", stand-in kernel" : ""));
        KernelLine line(boardOptions(mhz, 19200) + c.options + (standIn ? ",kernel=model" : ""),
                        19200);
        ASSERT_EQ(line.start(image),
                  (standIn ? std::string(sim::Board::kKernelBanner) : banner(mhz)) + ">");
        if (!standIn) {
            EXPECT_EQ(line.board().chip()->sci().lineSettings().speed, 19231);
        }
        std::vector<uint8_t> flash(0x8000, 0xFF);
        bool failed = false;
        for (const auto& step : c.steps) {
            const std::string got = line.within(step.bytes, step.waitMs);
            EXPECT_EQ(got, std::string(1, step.answer));
            if (step.answer == '>') {
                const uint16_t address = uint16_t(step.bytes[4] << 8 | step.bytes[5]);
                std::copy_n(step.bytes.begin() + 6, 128, flash.begin() + address);
            }
            failed |= step.answer == 'Z';
            if (step.answer == 'T') {
                // Five seconds from the record's first byte; the letter itself takes a
                // character time.
                EXPECT_GE(line.answerDelayNs(), 5000 * kNsPerMs);
                EXPECT_LE(line.answerDelayNs(), 5010 * kNsPerMs);
            } else {
                // The record's time on the wire, then the answer within the write's 300 ms.
                EXPECT_LE(line.answerDelayNs(), (72 + 300) * kNsPerMs);
            }
        }
        const auto& bytes = line.board().flash().bytes();
        EXPECT_TRUE(failed || std::equal(flash.begin(), flash.end(), bytes.begin()));
        EXPECT_EQ(breaches(line.board()), "");
    }
}

}  // namespace
}  // namespace quill
