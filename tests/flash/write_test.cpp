#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/board_desk.h"

namespace quill {
namespace {

using testing::BoardDesk;

TEST(Write, AWholeWriteLogsEveryStepAndLeavesTheProgramInFlash) {
    BoardDesk b;
    b.start();
    const std::string log =
        testing::successTranscript(b.bootFile, b.userFile, 300, 2, "19200", "Quill kernel\r\n");
    b.write();
    EXPECT_EQ(b.desk->status.text(), log);
    EXPECT_EQ(b.flash(), b.expectedFlash());
    EXPECT_EQ(b.board->bootImage(), b.bootBytes);
    EXPECT_EQ(b.board->state(), sim::Board::State::User);
    EXPECT_TRUE(b.desk->messageBox.shown.empty());
    // The button is back, the terminal runs at the speed found.
    EXPECT_EQ(b.desk->cbWrite.caption(), "Write");
    EXPECT_EQ(b.desk->cbWrite.backColor(), Color::of(Color::System::ButtonFace));
    EXPECT_TRUE(b.form().terminalMode);
    EXPECT_FALSE(b.form().writeBusy);
    EXPECT_EQ(b.desk->port.settings(), "19200,N,8,1");
    EXPECT_EQ(b.desk->lbComSpeed.caption(), "Speed 19200");
    EXPECT_EQ(b.desk->status.textColor(), Color::hex(0x000080));
    // On the way the button showed its progress in yellow, then red.
    const auto& colors = b.desk->cbWrite.colors;
    ASSERT_GE(colors.size(), 3u);
    EXPECT_EQ(colors[0], Color::rgb(255, 255, 64));
    EXPECT_EQ(colors[1], Color::rgb(255, 64, 64));
    // One caption per boot byte (" 0" first), then one per block address, then "Write".
    const auto& captions = b.desk->cbWrite.captions;
    ASSERT_EQ(captions.size(), 300u + 8 + 1);
    EXPECT_EQ(captions[0], " 0");
    EXPECT_EQ(captions[299], " 299");
    EXPECT_EQ(captions[300], "0");
    EXPECT_EQ(captions[307], "380");
    EXPECT_EQ(captions.back(), "Write");

    b.write();  // and a second write in a row the same
    EXPECT_EQ(b.desk->status.text(), log);
    EXPECT_EQ(b.flash(), b.expectedFlash());
}

// A full flash at each speed the chip may match, with the block answer's 300 ms counted from
// the record's last character (at 2400 bit/s the record alone is 571 ms on the wire). Behind a
// USB adapter the echoes and answers come late and in batches: the answers to several H'00
// tries at once, a wrong one with the H'00 after it, a record's answer up to a timer later.
// At 2400 bit/s alone, an answer comes after the 5 ms pause and counts for the next try.
TEST(Write, EachSpeedAndAdapterTheChipMatchesWritesAFullFlash) {
    struct Case {
        const char *options, *speedLine, *speed;
    };
    for (const Case& c :
         {Case{"speeds=19200,program-time=290", "[ 2 ] 19200 OK\r\n", "19200"},
          Case{"speeds=9600", "] 9600 OK\r\n", "9600"},
          Case{"speeds=4800,program-time=290", "] 4800 OK\r\n", "4800"},
          Case{"speeds=2400,program-time=290", "set COM Speed ... [ 3 ] 2400 OK\r\n", "2400"},
          Case{"match-byte=3C",
               "set COM Speed ...  ? unknown Response from H8 !\r\n[ 2 ] 9600 OK\r\n", "9600"},
          Case{"adapter-latency=16", "[ 2 ] 19200 OK", "19200"},
          Case{"adapter-latency=16:fixed", "[ 5 ] 19200 OK", "19200"},
          Case{"adapter-latency=16:fixed,match-byte=3C", "[ 5 ] 19200 OK", "19200"},
          Case{"adapter-latency=16:fixed,speeds=2400", "[ 6 ] 2400 OK", "2400"}}) {
        SCOPED_TRACE(c.options);
        BoardDesk b(std::string(c.options) + ",erase-time=10");
        b.userBytes = testing::patternBytes(0x8000, 11);
        b.writeFiles();
        b.start();
        b.write();
        EXPECT_NE(b.desk->status.text().find(c.speedLine), std::string::npos)
            << b.desk->status.text();
        EXPECT_EQ(b.form().errorCode, 0);
        EXPECT_EQ(b.flash(), b.expectedFlash());
        EXPECT_EQ(b.desk->port.settings(), std::string(c.speed) + ",N,8,1");
    }
}

using What = VirtualSerialPort::LineEvent::What;

// Times in the line log (ns) of one kind of step of a write.
using Measure = std::function<std::vector<int64_t>(const BoardDesk&)>;

// From the end of the last character sent (or received) to the failure's reset.
Measure untilTheFailure(bool fromReceived = false) {
    return [fromReceived](const BoardDesk& b) -> std::vector<int64_t> {
        const auto& traffic = b.desk->port.traffic();
        const auto& log = b.desk->port.lineLog();
        auto reset = std::find_if(log.rbegin(), log.rend(),
                                  [](const auto& e) { return e.what == What::Dtr && !e.on; });
        auto last = std::find_if(traffic.rbegin(), traffic.rend(), [&](const auto& c) {
            return c.toHost == fromReceived && c.endNs <= reset->timeNs;
        });
        if (reset == log.rend() || last == traffic.rend()) return {};
        return {reset->timeNs - last->endNs};
    };
}

// From each new speed to its first H'00, and between the H'00 tries.
std::vector<int64_t> speedSearch(const BoardDesk& b, bool pauses) {
    std::vector<int64_t> out;
    int64_t lastZeroNs = -1;
    const auto& log = b.desk->port.lineLog();
    size_t next = 0;
    for (const auto& c : b.desk->port.traffic()) {
        if (c.toHost || c.byte != 0) continue;
        int64_t newSpeedNs = -1;
        for (; next < log.size() && log[next].timeNs <= c.startNs; ++next)
            if (log[next].what == What::Settings) newSpeedNs = log[next].timeNs;
        if (newSpeedNs >= 0 && !pauses) out.push_back(c.startNs - newSpeedNs);
        if (newSpeedNs < 0 && pauses && lastZeroNs >= 0) out.push_back(c.startNs - lastZeroNs);
        lastZeroNs = c.startNs;
    }
    return out;
}

// Every wait of a write lasts its time, to within the timer's millisecond; a time-out counts
// from the last character on the wire. (The power test's is with the line pulses.)
TEST(Write, EachWaitLastsItsTime) {
    struct Row {
        const char* name;
        const char* options;
        Measure measure;
        int ms;
        size_t count;
    } rows[] = {
        {"settle in boot mode", "match-silent",
         [](const BoardDesk& b) -> std::vector<int64_t> {
             const auto& log = b.desk->port.lineLog();
             auto speed = std::find_if(log.begin(), log.end(), [](auto& e) {
                 return e.what == What::Settings && e.settings == "19200,N,8,1";
             });
             return {speed->timeNs - std::prev(speed)->timeNs};
         },
         300, 1},
        {"pause at a new speed", "match-silent",
         [](const BoardDesk& b) { return speedSearch(b, false); }, 10, 4},
        {"pause after each H'00", "match-silent",
         [](const BoardDesk& b) { return speedSearch(b, true); }, 5, 4 * 20},
        {"erase", "erase=silent", untilTheFailure(), 30000, 1},
        {"length echo", "length-echo=short", untilTheFailure(), 3000, 1},
        {"image echo", "image-echo=5:silent", untilTheFailure(), 100, 1},
        {"start answer", "start=silent", untilTheFailure(true), 100, 1},
        {"prompt", "prompt=silent", untilTheFailure(), 100, 1},
        {"block answer", "block-silent=1", untilTheFailure(), 300, 1},
        {"block answer at 2400 bit/s", "speeds=2400,erase-time=10,block-silent=1",
         untilTheFailure(), 300, 1},
    };
    for (const Row& row : rows) {
        BoardDesk b(row.options);
        b.start();
        b.write();
        const auto times = row.measure(b);
        EXPECT_EQ(times.size(), row.count) << row.name;
        for (int64_t t : times) {
            EXPECT_GE(t, row.ms * kNsPerMs) << row.name;
            EXPECT_LT(t, (row.ms + 1) * kNsPerMs) << row.name;
        }
    }
}

}  // namespace
}  // namespace quill
