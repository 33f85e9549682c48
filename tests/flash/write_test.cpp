#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "support/board_desk.h"

namespace quill {
namespace {

using testing::BoardDesk;
using What = VirtualSerialPort::LineEvent::What;

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
        // The terminal runs at the speed found.
        EXPECT_EQ(b.desk->port.settings(), speed + ",N,8,1");
        EXPECT_EQ(b.desk->lbComSpeed.caption(), "Speed " + speed);
        EXPECT_EQ(b.desk->status.textColor(), Color::hex(0x000080));
        // Each write shows its progress on the button in yellow, then red, then its face again.
        const Color yellow = Color::rgb(255, 255, 64), red = Color::rgb(255, 64, 64),
                    face = Color::of(Color::System::ButtonFace);
        EXPECT_EQ(b.desk->cbWrite.colors, (std::vector{yellow, red, face, yellow, red, face}));
        // One caption per boot byte (" 0" first), then one per block address, then "Write".
        const auto& captions = b.desk->cbWrite.captions;
        ASSERT_EQ(captions.size(), 2 * (300u + 256 + 1));
        EXPECT_EQ((std::vector{captions[0], captions[299], captions[300], captions[555],
                               captions[556], captions.back()}),
                  (std::vector<std::string>{" 0", " 299", "0", "7F80", "Write", "Write"}));
        // After it the first Esc only stops (there is nothing to stop), the second quits.
        EXPECT_FALSE(b.form().abortFlag);
        int16_t esc = 27, shift = 0;
        b.form().Form_KeyDown(esc, shift);
        EXPECT_TRUE(b.form().abortFlag);
        esc = 27;  // the form consumes a key by clearing its code
        EXPECT_THROW(b.form().Form_KeyDown(esc, shift), ProgramEnded);
        EXPECT_FALSE(b.desk->port.isOpen());
    }
}

// The speed search: 300 ms in boot mode before the first speed, then at each speed 10 ms
// before the first H'00 and 5 ms after each, to within the timer's millisecond. (The other
// waits are timed in the failure table.)
TEST(Write, TheSpeedSearchKeepsItsPauses) {
    BoardDesk b("match-silent");
    b.start();
    b.write();
    // The line's last change before the first speed, each speed set and each H'00 sent.
    const auto& log = b.desk->port.lineLog();
    auto first = std::find_if(log.begin(), log.end(), [](auto& e) {
        return e.what == What::Settings && e.settings == "19200,N,8,1";
    });
    ASSERT_NE(first, log.end());
    std::vector<int64_t> moments{std::prev(first)->timeNs};
    for (auto e = first; e != log.end(); ++e)
        if (e->what == What::Settings) moments.push_back(e->timeNs);
    for (const auto& c : b.desk->port.traffic())
        if (!c.toHost && c.byte == 0) moments.push_back(c.startNs);
    std::sort(moments.begin(), moments.end());
    std::map<int64_t, int> pauses;  // whole milliseconds between moments, and how often
    for (size_t i = 1; i < moments.size(); ++i) ++pauses[(moments[i] - moments[i - 1]) / kNsPerMs];
    EXPECT_EQ(pauses, (std::map<int64_t, int>{{300, 1}, {10, 4}, {5, 83}}));
}

class Link : public ::testing::Test {
  protected:
    void SetUp() override {
        desk.start();
        desk.form->setWriteMode();
    }
    // The DTR, RTS and break changes from the log's entry `from` on, as "ms:DTR-" (off) or
    // "ms:RTS+" (on) with the ms counted from t0.
    std::string lineChanges(size_t from, int64_t t0) const {
        const std::map<What, std::string> names{
            {What::Dtr, "DTR"}, {What::Rts, "RTS"}, {What::Break, "BRK"}};
        std::string out;
        for (size_t i = from; i < desk.port.lineLog().size(); ++i) {
            const auto& e = desk.port.lineLog()[i];
            if (!names.contains(e.what)) continue;
            out += " " + std::to_string((e.timeNs - t0) / kNsPerMs) + ":" + names.at(e.what) +
                   (e.on ? "+" : "-");
        }
        return out;
    }
    testing::VirtualDesk desk;
};

// The abort flag is set from the start, and a byte read leaves it set: an Esc then, in a
// fixed delay with no response wait open, ends the program.
TEST_F(Link, ReadByteLeavesTheAbortFlagSetAndAnEscInADelayEndsTheProgram) {
    EXPECT_TRUE(desk.form->abortFlag);
    desk.port.sendBurstToHost({7}, {38400, 'N', 8, 1});
    desk.clock.runFor(5 * kNsPerMs);
    EXPECT_EQ(desk.form->readByte(100), 7);
    EXPECT_TRUE(desk.form->abortFlag);
    desk.clock.schedule(50 * kNsPerMs, [this] {
        int16_t esc = 27, shift = 0;
        desk.form->Form_KeyDown(esc, shift);
    });
    EXPECT_THROW(desk.form->waitMs(300), ProgramEnded);
}

TEST_F(Link, ThePulsesDriveTheLinesInOrderAndForTheirTimes) {
    struct Case {
        const char* name;
        std::function<void(Form1&)> pulse;
        const char* changes;
    };
    const Case cases[] = {
        {"power test", &Form1::testH8Power, " 0:RTS- 0:DTR- 300:DTR+ 300:RTS+"},
        {"reset", &Form1::resetH8, " 0:DTR- 100:DTR+"},
        {"NMI", &Form1::nmiToH8, " 0:RTS- 2:RTS+"},
        {"break", &Form1::comBreakPulse, " 0:BRK+ 300:BRK-"},
        {"boot mode", &Form1::resetToBootMode, " 0:DTR- 3:RTS- 103:DTR+"},
        {"user mode", &Form1::resetToUserMode, " 0:DTR- 3:RTS+ 103:DTR+"},
        // A reset clicked 50 ms into a 300 ms delay still lasts 100 ms, and the delay its
        // 300 ms, which an NMI marks; a break that outlasts the delay it began in holds it.
        {"reset inside a delay",
         [this](Form1& f) {
             desk.clock.schedule(50 * kNsPerMs, [&f] { f.resetH8(); });
             f.waitMs(300);
             f.nmiToH8();
         },
         " 50:DTR- 150:DTR+ 300:RTS- 302:RTS+"},
        {"break inside a delay",
         [this](Form1& f) {
             desk.clock.schedule(kNsPerMs, [&f] { f.comBreakPulse(); });
             f.waitMs(2);
             f.nmiToH8();
         },
         " 1:BRK+ 301:BRK- 301:RTS- 303:RTS+"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t from = desk.port.lineLog().size();
        const int64_t t0 = desk.clock.nowNs();
        c.pulse(*desk.form);
        EXPECT_EQ(lineChanges(from, t0), c.changes);
    }
}

// Between writes: the settings and line states the user chose are the ones the device gets
// back, and the console says so. (A device lost during a write ends it as a line error; the
// storm takes the adapter away at random moments.)
TEST(SoundBehaviour, APortLostInTerminalModeComesBackWithTheUsersLineState) {
    BoardDesk b("port-lost=1000,port-back=2500");
    b.start();
    b.form().cycleComSpeed();
    b.form().lbComRTS_Click();
    b.desk->status.insertAtCaret("typed text without a line end");
    b.desk->clock.runFor(1500 * kNsPerMs);
    EXPECT_EQ(b.desk->h8stat.caption(), "H8 Power OFF");
    EXPECT_TRUE(b.form().terminalMode);
    b.desk->clock.runFor(2 * kNsPerSecond);
    EXPECT_TRUE(b.desk->port.lost());  // tried at 2 s and 3 s: still away
    b.desk->clock.runFor(kNsPerSecond);
    EXPECT_EQ(b.desk->status.text(),
              "typed text without a line end\r\nCOM port virtual lost : device disconnected ; "
              "trying to reopen it every second\r\nCOM port virtual is back : 300,N,8,1 RTS OFF "
              "DTR ON\r\n");
    EXPECT_EQ(b.desk->port.lineSettings(), (LineSettings{300, 'N', 8, 1}));
    const auto& lines = b.desk->port.lineLog();
    ASSERT_EQ(lines.back().what, VirtualSerialPort::LineEvent::What::Open);
    EXPECT_EQ(lines.back().timeNs, 4000 * kNsPerMs);
    EXPECT_EQ(b.desk->h8stat.caption(), "H8 Power ON");
    EXPECT_EQ(b.desk->beeper.beeps, 1);
}

}  // namespace
}  // namespace quill
