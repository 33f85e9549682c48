#include "sim/board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/virtual/virtual_scheduler.h"
#include "platform/virtual/wire.h"
#include "sim/records.h"

namespace quill::sim {
namespace {

using testing::blockRecord;
using Kind = BoardEvent::Kind;

constexpr int64_t ms(int n) {
    return int64_t(n) * kNsPerMs;
}

std::vector<uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}
std::string textOf(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

const std::vector<uint8_t> kImage{0x7A, 0x00, 0xFF, 0x55, 0xAA, 0x0D};

// The host's end of the cable, driven by hand: what a writer does, step by step.
struct Rig {
    VirtualScheduler clock;
    VirtualSerialPort port{clock, "sim"};
    std::unique_ptr<Board> board;
    std::vector<CommEvent> comm;

    explicit Rig(std::string_view options = "") {
        auto parsed = parseBoardOptions(options);
        EXPECT_TRUE(parsed.ok()) << parsed.error;
        port.setEventHandler([this](CommEvent e) { comm.push_back(e); });
        port.setSettings("38400,N,8,1");
        board = std::make_unique<Board>(clock, port, parsed.options);
        port.setDtr(true);
        port.setRts(true);
        port.open();
        clock.runFor(ms(50));
    }

    std::vector<uint8_t> exchange(const std::vector<uint8_t>& out, int waitMs) {
        port.readAll();
        port.write(out);
        clock.runFor(ms(waitMs));
        return port.readAll();
    }
    int count(CommEvent e) const { return int(std::count(comm.begin(), comm.end(), e)); }
    const BoardEvent* last(Kind kind) const {
        const auto& ev = board->events();
        auto it = std::find_if(ev.rbegin(), ev.rend(), [&](auto& e) { return e.kind == kind; });
        return it == ev.rend() ? nullptr : &*it;
    }
    void settings(int speed) {
        port.setSettings(std::to_string(speed) + ",N,8,1");
        clock.runFor(ms(10));
    }

    void resetToBootMode() {
        port.setDtr(false);
        clock.runFor(ms(3));
        port.setRts(false);
        clock.runFor(ms(100));
        port.setDtr(true);
        clock.runFor(ms(300));
        port.readAll();
    }
    // The writer's search: up to 21 H'00 per speed, 5 ms apart; the try that got exactly one
    // byte back and that byte, or -1.
    std::pair<int, int> tryMatch(int speed) {
        settings(speed);
        for (int k = 0; k < 21; ++k) {
            auto got = exchange({0x00}, 5);
            if (got.size() == 1) return {k, got[0]};
        }
        return {-1, -1};
    }
    void toKernel(int speed = 19200) {
        resetToBootMode();
        ASSERT_EQ(tryMatch(speed).second, 0);
        ASSERT_EQ(exchange({0x55}, board->options().eraseTimeMs + 20), std::vector<uint8_t>{0xAA});
        ASSERT_EQ(exchange({0x00, uint8_t(kImage.size())}, 20).size(), 2u);
        for (uint8_t b : kImage) exchange({b}, 5);
        clock.runFor(ms(20));
        port.readAll();
    }
    std::string wake() { return textOf(exchange({0x0D}, 100)); }
    std::string sendBlock(const std::vector<uint8_t>& record, int waitMs = 300) {
        return textOf(exchange(record, waitMs));
    }
};

// ---- power, reset and modes

TEST(Board, StartsPoweredAndGreetsInUserModeWhenThePortOpens) {
    Rig rig;
    EXPECT_TRUE(rig.port.cts());
    EXPECT_EQ(rig.board->state(), Board::State::User);
    EXPECT_EQ(textOf(rig.port.readAll()), Board::kUserGreeting);
    ASSERT_TRUE(rig.last(Kind::UserMode));
}

TEST(Board, PowerSwitchIsSeenOnCts) {
    Rig rig("unpowered");
    EXPECT_FALSE(rig.port.cts());
    EXPECT_TRUE(rig.port.readAll().empty());
    EXPECT_EQ(rig.exchange({'x'}, 10).size(), 0u);

    rig.board->setPower(true);
    rig.clock.runFor(ms(20));
    EXPECT_TRUE(rig.port.cts());
    EXPECT_EQ(rig.count(CommEvent::CtsChanged), 1);
    EXPECT_EQ(textOf(rig.port.readAll()), Board::kUserGreeting);

    rig.board->setPower(false);
    rig.clock.runFor(ms(1));
    EXPECT_FALSE(rig.port.cts());
    EXPECT_EQ(rig.count(CommEvent::CtsChanged), 2);
    EXPECT_EQ(rig.exchange({'x'}, 10).size(), 0u);
}

TEST(Board, ModeIsSampledFromRtsWhenTheResetIsReleased) {
    Rig rig;
    rig.resetToBootMode();
    EXPECT_EQ(rig.board->state(), Board::State::Matching);
    EXPECT_TRUE(rig.port.readAll().empty());

    // Into user mode: RTS on during the reset.
    rig.port.setDtr(false);
    EXPECT_EQ(rig.board->state(), Board::State::Reset);
    rig.port.setRts(true);
    rig.clock.runFor(ms(100));
    rig.port.setDtr(true);
    rig.clock.runFor(ms(20));
    EXPECT_EQ(rig.board->state(), Board::State::User);
    EXPECT_EQ(textOf(rig.port.readAll()), Board::kUserGreeting);
    // Closing the port drops both lines: held in reset.
    rig.port.close();
    EXPECT_EQ(rig.board->state(), Board::State::Reset);
}

TEST(Board, RtsPulseWhileRunningIsAnNmiButNotDuringReset) {
    Rig rig;
    rig.port.readAll();
    rig.port.setRts(false);
    rig.clock.runFor(ms(2));
    rig.port.setRts(true);
    rig.clock.runFor(ms(10));
    ASSERT_TRUE(rig.last(Kind::Nmi));
    EXPECT_EQ(rig.last(Kind::Nmi)->timeNs, ms(50));
    EXPECT_EQ(textOf(rig.port.readAll()), Board::kNmiNotice);

    rig.resetToBootMode();  // RTS falls while DTR holds the reset
    EXPECT_EQ(std::count_if(rig.board->events().begin(), rig.board->events().end(),
                            [](auto& e) { return e.kind == Kind::Nmi; }),
              1);
}

TEST(Board, PowerTestLeavesTheChipInBootModeAndLogsTheLines) {
    Rig rig;
    // The writer's power test: RTS off, DTR off, 300 ms, CTS read, DTR on, RTS on.
    rig.port.setRts(false);
    rig.port.setDtr(false);
    rig.clock.runFor(ms(300));
    EXPECT_TRUE(rig.port.cts());
    rig.port.setDtr(true);
    rig.port.setRts(true);
    EXPECT_EQ(rig.board->state(), Board::State::Matching);
    // The line log shows the 300 ms reset with RTS off, released before RTS comes back.
    const auto& log = rig.port.lineLog();
    ASSERT_GE(log.size(), 4u);
    auto at = log.end() - 4;
    using W = VirtualSerialPort::LineEvent::What;
    EXPECT_EQ(at[0].what, W::Rts);
    EXPECT_EQ(at[1].what, W::Dtr);
    EXPECT_FALSE(at[1].on);
    EXPECT_EQ(at[2].what, W::Dtr);
    EXPECT_EQ(at[2].timeNs - at[1].timeNs, ms(300));
    EXPECT_EQ(at[3].what, W::Rts);
}

TEST(Board, BreakIsLoggedWithItsTimes) {
    Rig rig;
    rig.port.setBreak(true);
    rig.clock.runFor(ms(300));
    rig.port.setBreak(false);
    ASSERT_TRUE(rig.last(Kind::BreakOn) && rig.last(Kind::BreakOff));
    EXPECT_EQ(rig.last(Kind::BreakOff)->timeNs - rig.last(Kind::BreakOn)->timeNs, ms(300));
}

// ---- boot ROM

TEST(Board, BitRateMatchingAnswersOnlyAtSpeedsItCanMatch) {
    struct Case {
        const char* options;
        int speed;
        int tryAnswered;  // -1: silent for all 21 tries
    };
    const Case cases[] = {
        {"", 19200, 2},
        {"", 9600, 2},
        {"", 4800, -1},
        {"", 38400, -1},
        {"match-count=1", 19200, 0},
        {"speeds=2400", 19200, -1},
        {"speeds=2400", 2400, 3},  // the answer lands after the next try
        {"speeds=4800,2400,match-count=5", 4800, 4},
        {"match-silent", 19200, -1},
        {"match-silent", 9600, -1},
    };
    for (const auto& c : cases) {
        Rig rig(c.options);
        rig.resetToBootMode();
        auto [k, byte] = rig.tryMatch(c.speed);
        EXPECT_EQ(k, c.tryAnswered) << c.options << " at " << c.speed;
        if (k >= 0) {
            EXPECT_EQ(byte, 0) << c.options;
            EXPECT_EQ(rig.board->uart(), (LineSettings{c.speed, 'N', 8, 1}));
            ASSERT_TRUE(rig.last(Kind::Matched));
            EXPECT_EQ(rig.last(Kind::Matched)->value, c.speed);
        }
    }
}

TEST(Board, MatchingNeedsTheNineBitLowRunOfAnEightBitZero) {
    Rig rig("match-count=1");
    rig.resetToBootMode();
    rig.port.setSettings("19200,E,8,1");  // the parity bit stretches the low run to ten bits
    EXPECT_TRUE(rig.exchange({0x00, 0x00}, 10).empty());
    rig.port.setSettings("19200,N,8,1");
    EXPECT_TRUE(rig.exchange({0x01}, 10).empty());
    EXPECT_EQ(rig.exchange({0x00}, 10), std::vector<uint8_t>{0x00});
}

TEST(Board, MatchByteSpoilsOnlyTheFirstMatch) {
    Rig rig("match-byte=3F");
    rig.resetToBootMode();
    EXPECT_EQ(rig.tryMatch(19200), (std::pair{2, 0x3F}));
    EXPECT_EQ(rig.tryMatch(9600), (std::pair{2, 0x00}));
    EXPECT_EQ(rig.board->state(), Board::State::AwaitErase);
}

TEST(Board, EraseTakesItsTimeThenAnswers) {
    Rig rig("erase-time=400");
    rig.resetToBootMode();
    rig.tryMatch(19200);
    rig.board->flash().program(0x100, std::vector<uint8_t>{0x00});
    EXPECT_TRUE(rig.exchange({0x55}, 399).empty());
    EXPECT_EQ(rig.board->state(), Board::State::Erasing);
    EXPECT_EQ(rig.exchange({}, 3), std::vector<uint8_t>{0xAA});
    EXPECT_TRUE(rig.board->flash().erased());
    ASSERT_TRUE(rig.last(Kind::EraseStart) && rig.last(Kind::EraseEnd));
    EXPECT_EQ(rig.last(Kind::EraseEnd)->timeNs - rig.last(Kind::EraseStart)->timeNs, ms(400));
}

TEST(Board, EraseFaults) {
    struct Case {
        const char* options;
        std::vector<uint8_t> answer;
        int dataEvents;
    };
    const Case cases[] = {
        {"erase=ff", {0xFF}, 1},
        {"erase=3c", {0x3C}, 1},
        {"erase=silent", {}, 0},
        {"erase=double", {0xAA, 0xAA}, 1},  // both in one batch
    };
    for (const auto& c : cases) {
        Rig rig(std::string("erase-time=10,") + c.options);
        rig.resetToBootMode();
        rig.tryMatch(19200);
        rig.comm.clear();
        EXPECT_EQ(rig.exchange({0x55}, 2000), c.answer) << c.options;
        EXPECT_EQ(rig.count(CommEvent::DataReceived), c.dataEvents) << c.options;
    }
}

TEST(Board, LineErrorDuringTheErase) {
    Rig rig("line-error=erase");
    rig.resetToBootMode();
    rig.tryMatch(19200);
    rig.comm.clear();
    rig.port.write(uint8_t(0x55));
    rig.clock.runFor(ms(600));
    EXPECT_EQ(rig.count(CommEvent::FramingError), 1);
    EXPECT_EQ(rig.exchange({}, 500), std::vector<uint8_t>{0xAA});
}

TEST(Board, LengthEcho) {
    struct Case {
        const char* options;
        std::vector<uint8_t> length;
        std::vector<uint8_t> echo;
        Board::State after;
    };
    const Case cases[] = {
        {"", {0x07, 0x70}, {0x07, 0x70}, Board::State::Image},
        {"length-echo=wrong", {0x00, 0x10}, {0x00, 0xEF}, Board::State::Image},
        {"length-echo=short", {0x00, 0x10}, {0x00}, Board::State::Image},
        {"", {0x07, 0x71}, {0x07}, Board::State::Halted},  // 1905: too long for the RAM
        {"", {0x08, 0x00}, {}, Board::State::Halted},
    };
    for (const auto& c : cases) {
        Rig rig(std::string("erase-time=10,") + c.options);
        rig.resetToBootMode();
        rig.tryMatch(19200);
        rig.exchange({0x55}, 20);
        rig.port.write(c.length[0]);
        rig.port.write(c.length[1]);
        rig.clock.runFor(ms(20));
        EXPECT_EQ(rig.port.readAll(), c.echo) << c.options;
        EXPECT_EQ(rig.board->state(), c.after) << c.options;
    }
}

TEST(Board, ImageIsEchoedStoredAndStarted) {
    struct Case {
        const char* options;
        std::vector<uint8_t> expected;  // echoes, then the start answer
    };
    const Case cases[] = {
        {"", {0x7A, 0x00, 0xFF, 0x55, 0xAA, 0x0D, 0xAA}},
        {"image-echo=1:wrong,image-echo=3:silent", {0x7A, 0xFF, 0xFF, 0xAA, 0x0D, 0xAA}},
        {"image-echo=5:silent", {0x7A, 0x00, 0xFF, 0x55, 0xAA, 0xAA}},
        {"start=silent", {0x7A, 0x00, 0xFF, 0x55, 0xAA, 0x0D}},
        {"start=5a", {0x7A, 0x00, 0xFF, 0x55, 0xAA, 0x0D, 0x5A}},
    };
    for (const auto& c : cases) {
        Rig rig(std::string("erase-time=10,") + c.options);
        rig.resetToBootMode();
        rig.tryMatch(9600);
        rig.exchange({0x55}, 20);
        rig.exchange({0x00, uint8_t(kImage.size())}, 20);
        std::vector<uint8_t> got;
        for (uint8_t b : kImage) {
            auto echo = rig.exchange({b}, 5);
            got.insert(got.end(), echo.begin(), echo.end());
        }
        auto start = rig.exchange({}, 20);
        got.insert(got.end(), start.begin(), start.end());
        EXPECT_EQ(got, c.expected) << c.options;
        EXPECT_EQ(rig.board->bootImage(), kImage) << c.options;
        EXPECT_EQ(rig.board->state(), Board::State::KernelAsleep) << c.options;
    }
}

TEST(Board, EchoFollowsEachByteAtTheMatchedSpeed) {
    for (int speed : {19200, 9600}) {
        Rig rig("erase-time=10");
        rig.resetToBootMode();
        rig.tryMatch(speed);
        rig.exchange({0x55}, 20);
        rig.port.write(uint8_t(0x00));
        rig.clock.runFor(ms(20));
        const auto& t = rig.port.traffic();
        ASSERT_GE(t.size(), 2u);
        const auto& sent = t[t.size() - 2];
        const auto& echo = t.back();
        EXPECT_FALSE(sent.toHost);
        EXPECT_TRUE(echo.toHost);
        EXPECT_EQ(echo.startNs, sent.endNs);  // the boot ROM answers as soon as the stop bit ends
        EXPECT_EQ(echo.endNs - echo.startNs, 10 * kNsPerSecond / speed);
        EXPECT_EQ(echo.settings, (LineSettings{speed, 'N', 8, 1}));
    }
}

// ---- kernel

TEST(Board, KernelWakesWithABannerAndPromptInTimeEvenAt2400) {
    Rig rig("speeds=2400,erase-time=10");
    rig.toKernel(2400);
    rig.port.write(uint8_t(0x0D));
    const int64_t sentAt = rig.clock.nowNs();
    rig.clock.runFor(ms(100));
    auto text = textOf(rig.port.readAll());
    EXPECT_EQ(text, std::string(Board::kKernelBanner) + ">");
    EXPECT_LE(rig.port.traffic().back().endNs - sentAt, ms(100));
    EXPECT_EQ(text.substr(text.size() - 3, 2), "\r\n");
}

TEST(Board, PromptFaults) {
    {
        Rig rig("erase-time=10,prompt=silent");
        rig.toKernel();
        EXPECT_EQ(rig.wake(), Board::kKernelBanner);
        EXPECT_EQ(rig.sendBlock(blockRecord(0, 0x11)), ">");  // the kernel still works
    }
    {
        Rig rig("erase-time=10,prompt=late");
        rig.toKernel();
        rig.port.write(uint8_t(0x0D));
        const int64_t sentAt = rig.clock.nowNs();
        rig.clock.runFor(ms(149));
        EXPECT_EQ(textOf(rig.port.readAll()), Board::kKernelBanner);
        rig.clock.runFor(ms(10));
        EXPECT_EQ(textOf(rig.port.readAll()), ">");
        EXPECT_GE(rig.port.traffic().back().startNs - sentAt, ms(150));
    }
}

TEST(Board, KernelIgnoresEverythingBeforeItsWakeUp) {
    Rig rig("erase-time=10");
    rig.toKernel();
    EXPECT_TRUE(rig.exchange(bytesOf("abc"), 50).empty());
    EXPECT_EQ(rig.wake(), std::string(Board::kKernelBanner) + ">");
}

TEST(Board, EachRecordGetsItsAnswer) {
    auto withAddress = [](uint16_t address) {
        auto r = blockRecord(0, 0x42);
        r[4] = uint8_t(address >> 8);
        r[5] = uint8_t(address);
        unsigned sum = 0;
        for (size_t i = 0; i < 134; ++i) sum += r[i];
        r[134] = uint8_t((0x10000 - sum % 0x10000) >> 8);
        r[135] = uint8_t(0x10000 - sum % 0x10000);
        return r;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> record;
        std::string answer;
    };
    auto badHeader = blockRecord(0x0080, 0x42);
    badHeader[0] = 'B';
    auto badEnd = blockRecord(0x0080, 0x42);
    badEnd[136] = 0x0A;
    auto badSum = blockRecord(0x0080, 0x42);
    badSum[40] = 0x43;
    const Case cases[] = {
        {"sound", blockRecord(0x0080, 0x42), ">"},
        {"last block", blockRecord(0x7F80, 0x00), ">"},
        {"header", badHeader, ":"},
        {"end byte", badEnd, "L"},
        {"checksum", badSum, "S"},
        {"unaligned", withAddress(0x0040), "A"},
        {"beyond the flash", withAddress(0x8000), "W"},
    };
    for (const auto& c : cases) {
        Rig rig("erase-time=10");
        rig.toKernel();
        rig.wake();
        EXPECT_EQ(rig.sendBlock(c.record), c.answer) << c.what;
        const bool accepted = c.answer == ">";
        const uint16_t address = uint16_t(c.record[4] << 8 | c.record[5]);
        EXPECT_EQ(rig.board->flash().at(address % 0x8000) != 0xFF, accepted && c.record[6] != 0xFF)
            << c.what;
        ASSERT_TRUE(rig.last(Kind::Block));
        EXPECT_EQ(rig.last(Kind::Block)->answer, c.answer[0]) << c.what;
    }
}

TEST(Board, AcceptedBlocksReachTheFlashOnceEach) {
    Rig rig("erase-time=10");
    rig.toKernel();
    rig.wake();
    std::array<uint8_t, 128> data;
    for (int i = 0; i < 128; ++i) data[size_t(i)] = uint8_t(i);
    EXPECT_EQ(rig.sendBlock(blockRecord(0x1000, data)), ">");
    EXPECT_EQ(rig.sendBlock(blockRecord(0x1080, 0xFF)), ">");
    EXPECT_EQ(rig.sendBlock(blockRecord(0x1000, data)), "D");
    EXPECT_TRUE(std::equal(data.begin(), data.end(), rig.board->flash().bytes().begin() + 0x1000));
    EXPECT_EQ(rig.board->blocksSeen(), 3);

    // A new erase forgets what was written.
    rig.toKernel();
    rig.wake();
    EXPECT_EQ(rig.sendBlock(blockRecord(0x1000, data)), ">");
}

TEST(Board, ProgrammingANotErasedByteFails) {
    // The worn cell at H'0005 keeps bits 7 cleared: H'FF cannot be written there, H'00 can.
    Rig rig("erase-time=10,stuck=0005:7F");
    rig.toKernel();
    rig.wake();
    EXPECT_EQ(rig.sendBlock(blockRecord(0x0000, 0xFF)), "Z");
    EXPECT_EQ(rig.sendBlock(blockRecord(0x0080, 0xFF)), ">");
    rig.toKernel();
    rig.wake();
    EXPECT_EQ(rig.sendBlock(blockRecord(0x0000, 0x00)), ">");
}

TEST(Board, AnswerComesAfterTheProgrammingTime) {
    Rig rig("erase-time=10,program-time=40");
    rig.toKernel();
    rig.wake();
    auto record = blockRecord(0x0200, 0x12);
    rig.port.write(record);
    rig.clock.runFor(ms(300));
    const auto& t = rig.port.traffic();
    EXPECT_EQ(t.back().byte, '>');
    // The record's last byte arrives, then the kernel programs for 40 ms.
    EXPECT_EQ(t.back().startNs - t[t.size() - 2].endNs, ms(40));
}

TEST(Board, IncompleteRecordTimesOutAfterFiveSeconds) {
    Rig rig("erase-time=10");
    rig.toKernel();
    rig.wake();
    auto record = blockRecord(0x0000, 0x00);
    record.resize(100);
    EXPECT_TRUE(rig.exchange(record, 4900).empty());
    EXPECT_EQ(textOf(rig.exchange({}, 200)), "T");
    EXPECT_EQ(rig.last(Kind::Block)->value, -1);
    // The next record starts afresh.
    EXPECT_EQ(rig.sendBlock(blockRecord(0x0000, 0x00)), ">");
}

TEST(Board, BlockFaults) {
    struct Case {
        const char* options;
        std::string answers;  // to blocks 0, 1 and 2, '.' for none
    };
    const Case cases[] = {
        {"block=1:S", ">S>"},
        {"block=0:?,block=2:W", "?>W"},
        {"block-silent=1", ">.>"},
    };
    for (const auto& c : cases) {
        Rig rig(std::string("erase-time=10,") + c.options);
        rig.toKernel();
        rig.wake();
        std::string got;
        for (uint16_t k = 0; k < 3; ++k) {
            auto a = rig.sendBlock(blockRecord(uint16_t(k * 0x80), 0x00));
            got += a.empty() ? "." : a;
        }
        EXPECT_EQ(got, c.answers) << c.options;
        // A block answered with a fault or swallowed is not written.
        EXPECT_EQ(rig.board->flash().at(0x80) == 0x00, c.answers[1] == '>') << c.options;
    }
}

TEST(Board, ChatterFollowsTheFirstPromptInOneBatch) {
    Rig rig("erase-time=10,chatter");
    rig.toKernel();
    rig.wake();
    rig.comm.clear();
    auto first = rig.sendBlock(blockRecord(0x0000, 0x00), 1000);
    EXPECT_EQ(first.size(), size_t(Board::kChatterLength));
    EXPECT_EQ(first.find('>'), 0u);
    EXPECT_EQ(first.find('>', 1), std::string::npos);
    EXPECT_EQ(rig.count(CommEvent::DataReceived), 1);
    EXPECT_EQ(rig.board->flash().at(0), 0x00);
    EXPECT_EQ(rig.sendBlock(blockRecord(0x0080, 0x00)), ">");
}

TEST(Board, LineErrorWhileABlockIsAnswered) {
    Rig rig("erase-time=10,line-error=block:1");
    rig.toKernel();
    rig.wake();
    rig.comm.clear();
    EXPECT_EQ(rig.sendBlock(blockRecord(0x0000, 0x00)), ">");
    EXPECT_EQ(rig.count(CommEvent::FramingError), 0);
    EXPECT_EQ(rig.sendBlock(blockRecord(0x0080, 0x00)), ">");
    EXPECT_EQ(rig.count(CommEvent::FramingError), 1);
}

TEST(Board, PowerLostWhileABlockIsWritten) {
    Rig rig("erase-time=10,program-time=10,power-off=block:1");
    rig.toKernel();
    rig.wake();
    EXPECT_EQ(rig.sendBlock(blockRecord(0x0000, 0x00)), ">");
    rig.comm.clear();
    EXPECT_EQ(rig.sendBlock(blockRecord(0x0080, 0x00)), "");
    EXPECT_FALSE(rig.port.cts());
    EXPECT_EQ(rig.count(CommEvent::CtsChanged), 1);
    EXPECT_EQ(rig.board->state(), Board::State::Off);
    // Half the block made it.
    EXPECT_EQ(rig.board->flash().at(0x80 + 63), 0x00);
    EXPECT_EQ(rig.board->flash().at(0x80 + 64), 0xFF);

    rig.board->setPower(true);
    rig.clock.runFor(ms(50));
    EXPECT_TRUE(rig.port.cts());
    EXPECT_EQ(rig.board->state(), Board::State::Matching);  // RTS is still off
}

TEST(Board, ResetAbandonsWorkInProgress) {
    Rig rig("erase-time=500");
    rig.resetToBootMode();
    rig.tryMatch(19200);
    rig.exchange({0x55}, 100);
    rig.resetToBootMode();
    rig.clock.runFor(ms(1000));
    EXPECT_FALSE(rig.last(Kind::EraseEnd));
    EXPECT_TRUE(rig.port.readAll().empty());
    EXPECT_TRUE(rig.clock.idle());
}

// ---- user program

TEST(Board, UserProgramEchoesAtTheSpeedLastMatched) {
    Rig rig("erase-time=10");
    EXPECT_EQ(rig.board->uart(), Board::kUnmatchedUserLine);
    rig.toKernel(9600);
    rig.port.setDtr(false);
    rig.port.setRts(true);
    rig.clock.runFor(ms(100));
    rig.port.setDtr(true);
    rig.clock.runFor(ms(100));
    EXPECT_EQ(textOf(rig.port.readAll()), Board::kUserGreeting);
    EXPECT_EQ(rig.board->uart(), (LineSettings{9600, 'N', 8, 1}));
    EXPECT_EQ(textOf(rig.exchange(bytesOf("hello\r"), 50)), "hello\r");
}

TEST(Board, UserLineOptionPinsTheFormatAndTimesEachCharacter) {
    Rig rig("user-line=4800:E:7:2");
    rig.clock.runFor(ms(100));  // the greeting at 4800 bit/s, garbled at 38400
    rig.port.readAll();
    rig.port.setSettings("4800,E,7,2");
    rig.port.setDtr(false);
    rig.clock.runFor(ms(100));
    rig.port.setDtr(true);
    rig.clock.runFor(ms(200));
    EXPECT_EQ(textOf(rig.port.readAll()), Board::kUserGreeting);
    const auto& t = rig.port.traffic();
    // Start, seven data bits, parity, two stop bits: 11 bits at 4800 bit/s.
    EXPECT_EQ(t.back().endNs - t.back().startNs, 11 * kNsPerSecond / 4800);
    EXPECT_EQ(t.back().startNs, t[t.size() - 2].endNs);  // back to back
    EXPECT_EQ(textOf(rig.exchange(bytesOf("ok"), 20)), "ok");
}

TEST(Board, ItsUartReadsAMismatchedSpeedAsGarbage) {
    Rig rig;  // the user program runs at 38400
    rig.port.readAll();
    rig.port.setSettings("9600,N,8,1");
    const size_t before = rig.port.traffic().size();
    rig.exchange(bytesOf("U"), 50);
    // What the board's UART makes of it, character by character: bytes it echoes, errors it
    // logs; never the "U" itself.
    auto seen = wire::receiveChar('U', {9600, 'N', 8, 1}, {38400, 'N', 8, 1});
    const auto errors = std::count_if(seen.begin(), seen.end(),
                                      [](auto& r) { return r.kind != wire::Received::Kind::Byte; });
    const auto& ev = rig.board->events();
    EXPECT_EQ(
        std::count_if(ev.begin(), ev.end(), [](auto& e) { return e.kind == Kind::UartError; }),
        errors);
    std::vector<uint8_t> echoed;
    for (size_t i = before; i < rig.port.traffic().size(); ++i)
        if (rig.port.traffic()[i].toHost) echoed.push_back(rig.port.traffic()[i].byte);
    EXPECT_EQ(echoed.size(), seen.size() - size_t(errors));
    EXPECT_FALSE(std::count(echoed.begin(), echoed.end(), 'U'));
    EXPECT_FALSE(seen.empty());
}

}  // namespace
}  // namespace quill::sim
