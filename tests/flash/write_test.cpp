#include <gtest/gtest.h>

#include <algorithm>

#include "support/board_desk.h"

namespace quill {
namespace {

using testing::BoardDesk;

// A full flash at each speed the chip may match, with the block answer's 300 ms counted from
// the record's last character (at 2400 bit/s the record alone is 571 ms on the wire). Behind a
// USB adapter the echoes and answers come late and in batches: the answers to several H'00
// tries at once, a wrong one with the H'00 after it, a record's answer up to a timer later.
// At 2400 bit/s alone, an answer comes after the 5 ms pause and counts for the next try.
TEST(Write, AFullFlashAtEachSpeedAndAdapterLogsEveryStepTwiceInARow) {
    struct Case {
        const char* options;
        int matchTry, speed;
        bool wrongAnswerFirst = false;  // the board's answer to the first H'00 is not H'00
    };
    for (const Case& c :
         {Case{"speeds=19200,program-time=290", 2, 19200}, Case{"speeds=9600", 2, 9600},
          Case{"speeds=4800,program-time=290", 2, 4800},
          Case{"speeds=2400,program-time=290", 3, 2400}, Case{"match-byte=3C", 2, 9600, true},
          Case{"adapter-latency=16", 2, 19200}, Case{"adapter-latency=16:fixed", 5, 19200},
          Case{"adapter-latency=16:fixed,match-byte=3C", 5, 19200},
          Case{"adapter-latency=16:fixed,speeds=2400", 6, 2400}}) {
        SCOPED_TRACE(c.options);
        BoardDesk b(std::string(c.options) + ",erase-time=10");
        b.userBytes = testing::patternBytes(0x8000, 11);
        b.writeFiles();
        b.start();
        const std::string speed = std::to_string(c.speed);
        std::string log = testing::successTranscript(b.bootFile, b.userFile, 300, c.matchTry, speed,
                                                     "Quill kernel\r\n");
        if (c.wrongAnswerFirst)
            log.insert(log.find("set COM Speed ... ") + 18, " ? unknown Response from H8 !\r\n");
        for (int k = 0; k < 2; ++k) {
            b.write();
            EXPECT_EQ(b.desk->status.text(), log);
            EXPECT_EQ(b.flash(), b.expectedFlash());
        }
        EXPECT_EQ(b.board->bootImage(), b.bootBytes);
        EXPECT_EQ(b.board->state(), sim::Board::State::User);
        EXPECT_TRUE(b.desk->messageBox.shown.empty());
        // The button is back, the terminal runs at the speed found.
        EXPECT_EQ(b.desk->cbWrite.caption(), "Write");
        EXPECT_EQ(b.desk->cbWrite.backColor(), Color::of(Color::System::ButtonFace));
        EXPECT_TRUE(b.form().terminalMode);
        EXPECT_FALSE(b.form().writeBusy);
        EXPECT_EQ(b.desk->port.settings(), speed + ",N,8,1");
        EXPECT_EQ(b.desk->lbComSpeed.caption(), "Speed " + speed);
        EXPECT_EQ(b.desk->status.textColor(), Color::hex(0x000080));
        // On the way the button showed its progress in yellow, then red.
        const auto& colors = b.desk->cbWrite.colors;
        ASSERT_GE(colors.size(), 3u);
        EXPECT_EQ(colors[0], Color::rgb(255, 255, 64));
        EXPECT_EQ(colors[1], Color::rgb(255, 64, 64));
        // One caption per boot byte (" 0" first), then one per block address, then "Write".
        const auto& captions = b.desk->cbWrite.captions;
        ASSERT_EQ(captions.size(), 2 * (300u + 256 + 1));
        EXPECT_EQ(captions[0], " 0");
        EXPECT_EQ(captions[299], " 299");
        EXPECT_EQ(captions[300], "0");
        EXPECT_EQ(captions[555], "7F80");
        EXPECT_EQ(captions[556], "Write");
        // After it the first Esc only stops (there is nothing to stop), the second quits.
        EXPECT_FALSE(b.form().abortFlag);
        int16_t esc = 27, shift = 0;
        b.form().Form_KeyDown(esc, shift);
        EXPECT_TRUE(b.form().abortFlag);
        EXPECT_EQ(b.form().errorCode, 99);
        EXPECT_FALSE(b.desk->programEnd.ended);
        esc = 27;  // the form consumes a key by clearing its code
        EXPECT_THROW(b.form().Form_KeyDown(esc, shift), ProgramEnded);
        EXPECT_FALSE(b.desk->port.isOpen());
    }
}

// The speed search: 300 ms in boot mode before the first speed, then at each speed 10 ms
// before the first H'00 and 5 ms after each, to within the timer's millisecond. (The other
// waits are timed in the failure table.)
TEST(Write, TheSpeedSearchKeepsItsPauses) {
    using What = VirtualSerialPort::LineEvent::What;
    BoardDesk b("match-silent");
    b.start();
    b.write();
    const auto& log = b.desk->port.lineLog();
    auto first = std::find_if(log.begin(), log.end(), [](auto& e) {
        return e.what == What::Settings && e.settings == "19200,N,8,1";
    });
    ASSERT_NE(first, log.end());
    std::vector<int64_t> settle{first->timeNs - std::prev(first)->timeNs}, toFirst, between;
    int64_t lastZeroNs = -1;
    size_t next = 0;
    for (const auto& c : b.desk->port.traffic()) {
        if (c.toHost || c.byte != 0) continue;
        int64_t newSpeedNs = -1;
        for (; next < log.size() && log[next].timeNs <= c.startNs; ++next)
            if (log[next].what == What::Settings) newSpeedNs = log[next].timeNs;
        if (newSpeedNs >= 0) {
            toFirst.push_back(c.startNs - newSpeedNs);
        } else {
            between.push_back(c.startNs - lastZeroNs);
        }
        lastZeroNs = c.startNs;
    }
    for (auto [times, ms, count] :
         {std::tuple{settle, 300, 1}, {toFirst, 10, 4}, {between, 5, 80}}) {
        EXPECT_EQ(times.size(), size_t(count)) << ms;
        for (int64_t t : times) {
            EXPECT_GE(t, ms * kNsPerMs);
            EXPECT_LT(t, (ms + 1) * kNsPerMs);
        }
    }
}

}  // namespace
}  // namespace quill
