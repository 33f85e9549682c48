#include "sim/board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "platform/virtual/virtual_scheduler.h"
#include "support/kernel_line.h"

namespace quill::sim {
namespace {

using namespace std::string_literals;
using Kind = BoardEvent::Kind;
using testing::CraftedRecord;

const std::vector<uint8_t> kImage{0x7A, 0x00, 0xFF, 0x55, 0xAA, 0x0D};

// The host's end of the cable, driven by hand: what a writer does, step by step, to the
// stand-in kernel, whose answers these tests shape with the fault options.
struct Rig : testing::KernelLine {
    std::vector<CommEvent> comm;

    explicit Rig(std::string_view options = "")
        : KernelLine("kernel=model," + std::string(options), 38400) {
        port().setEventHandler([this](CommEvent e) { comm.push_back(e); });
        clock().runFor(50 * kNsPerMs);
    }
    std::string read() {
        auto bytes = port().readAll();
        return {bytes.begin(), bytes.end()};
    }
    const BoardEvent* last(Kind kind) {
        const auto& ev = board().events();
        auto it = std::find_if(ev.rbegin(), ev.rend(), [&](auto& e) { return e.kind == kind; });
        return it == ev.rend() ? nullptr : &*it;
    }
};

TEST(Board, ResetModeAndNmiFollowTheLinesAndCtsShowsThePower) {
    Rig rig;
    EXPECT_EQ(rig.read(), Board::kUserGreeting);
    rig.port().setRts(false);
    rig.clock().runFor(2 * kNsPerMs);
    rig.port().setRts(true);
    rig.clock().runFor(10 * kNsPerMs);
    ASSERT_TRUE(rig.last(Kind::Nmi));
    EXPECT_EQ(rig.last(Kind::Nmi)->timeNs, 50 * kNsPerMs);
    EXPECT_EQ(rig.read(), Board::kNmiNotice);
    // At a quarter of its speed the UART reads a "U" as one byte, which the user program
    // echoes, and two errors, which it logs.
    rig.port().setSettings("9600,N,8,1");
    EXPECT_EQ(rig.within({'U'}, 50), "\xFF"s);
    const auto& ev = rig.board().events();
    EXPECT_EQ(
        std::count_if(ev.begin(), ev.end(), [](auto& e) { return e.kind == Kind::UartError; }), 2);

    rig.reset(false);  // RTS falls while DTR holds the reset: no NMI
    EXPECT_EQ(rig.last(Kind::Nmi)->timeNs, 50 * kNsPerMs);
    rig.tryMatch("19200,N,8,1");
    rig.port().setRts(true);
    rig.port().setRts(false);  // an NMI to the boot ROM: no notice
    EXPECT_EQ(rig.within({0x55}, 100), "");
    rig.reset(false);         // in the middle of the erase, which is then never finished
    rig.port().setRts(true);  // as the writer's power test ends: the mode was already sampled
    EXPECT_EQ(rig.board().state(), Board::State::Matching);
    rig.clock().runFor(1000 * kNsPerMs);
    EXPECT_FALSE(rig.last(Kind::EraseEnd));
    EXPECT_TRUE(rig.read().empty());
    EXPECT_TRUE(rig.clock().idle());
    rig.reset(true);
    EXPECT_EQ(rig.read(), Board::kUserGreeting);
    rig.port().close();  // both lines drop
    EXPECT_EQ(rig.board().state(), Board::State::Reset);

    Rig off("unpowered");
    EXPECT_FALSE(off.port().cts());
    EXPECT_TRUE(off.read().empty());
    Rig pinned("user-line=4800:E:7:2");  // a pinned line outlasts the match
    pinned.tryMatch("19200,N,8,1");
    pinned.port().setSettings("4800,E,7,2");
    pinned.reset(true);
    EXPECT_EQ(pinned.read(), Board::kUserGreeting);
}

// Matched, it echoes each length byte as the host's character ends, at the matched speed,
// and gives up on a length beyond its RAM: 1905 bytes only once it has the low byte.
TEST(Board, BootRomAnswersOnlyAZeroAtASpeedItCanMatch) {
    struct Case {
        const char* options;
        const char* line;
        int tryAnswered;  // -1: silent for all 21 tries
        int answer = 0x00;
        uint8_t probe = 0x00;
    };
    const Case cases[] = {
        {"", "19200,N,8,1", 2},
        {"", "4800,N,8,1", -1},
        {"match-count=1", "9600,N,8,1", 0},
        {"match-count=1", "19200,E,8,1", -1},  // the parity bit stretches the low run to ten bits
        {"match-count=1", "19200,N,8,1", -1, -1, 0x01},
        {"speeds=4800,2400,match-count=5", "4800,N,8,1", 4},
        {"match-silent", "19200,N,8,1", -1},
        {"match-byte=3F", "19200,N,8,1", 2, 0x3F},
    };
    for (const auto& c : cases) {
        Rig rig("erase-time=10,"s + c.options);
        rig.reset(false);
        auto [k, byte] = rig.tryMatch(c.line, c.probe);
        EXPECT_EQ(k, c.tryAnswered) << c.options << " at " << c.line;
        if (k < 0) {
            EXPECT_EQ(rig.board().state(), Board::State::Matching) << c.options;
            continue;
        }
        EXPECT_EQ(byte, c.answer) << c.options;
        if (byte != 0) {  // a spoiled answer: the boot ROM goes on measuring, once
            EXPECT_EQ(rig.board().state(), Board::State::Matching);
            EXPECT_EQ(rig.tryMatch("9600,N,8,1"), (std::pair{2, 0x00}));
        }
        const LineSettings matched{rig.port().lineSettings().speed, 'N', 8, 1};
        rig.within({0x55}, 20);
        EXPECT_EQ(rig.within({0x07}, 20), "\x07"s);
        const auto& t = rig.port().traffic();
        EXPECT_EQ(t.back().startNs, t[t.size() - 2].endNs);
        EXPECT_EQ(t.back().settings, matched);
        EXPECT_TRUE(rig.within({0x71}, 20).empty());
        EXPECT_EQ(rig.board().state(), Board::State::Halted);
    }
    // 1904 bytes, all its RAM, it takes; a high byte beyond that ends it at once.
    for (const uint8_t high : {0x07, 0x08}) {
        Rig rig("erase-time=10");
        rig.reset(false);
        rig.tryMatch("19200,N,8,1");
        rig.within({0x55}, 20);
        EXPECT_EQ(rig.within({high, 0x70}, 20), high == 0x07 ? "\x07\x70"s : "");
        EXPECT_EQ(rig.board().state(), high == 0x07 ? Board::State::Image : Board::State::Halted);
    }
}

// A whole write, with a fault option or with block 1's record cut short: only the replies of
// the steps concerned differ from a sound board's (the kernel tests damage records). A "!"
// stands for a line error the host saw in the step and a "~" for CTS changing (the power
// failing), each before or after the reply as it came.
TEST(Board, EachFaultAndEachKernelAnswerShowsOnlyInItsOwnStep) {
    using R = std::vector<uint8_t>;
    enum Step { Erase, Length, Image, Wake, Later, Block0, Block1, Block2 };
    const std::string banner(Board::kKernelBanner);
    const std::vector<std::string> sound{
        "\xAA"s, "\x00\x06"s, "\x7A\x00\xFF\x55\xAA\x0D\xAA"s, banner + ">", "", ">", ">", ">"};
    struct Case {
        const char* options;
        std::map<int, std::string> changed;
        size_t length = 137;  // of block 1's record
    };
    // Most faults' replies also decide a failure case of the write; these are the rest.
    const Case cases[] = {
        {"", {}},
        {"line-error=erase", {{Erase, "!\xAA"s}}},
        {"image-echo=1:wrong,image-echo=3:silent", {{Image, "\x7A\xFF\xFF\xAA\x0D\xAA"s}}},
        {"start=5a", {{Image, "\x7A\x00\xFF\x55\xAA\x0D\x5A"s}}},
        {"prompt=late", {{Wake, banner}, {Later, ">"}}},
        {"block=0:?,block=2:W", {{Block0, "?"}, {Block2, "W"}}},
        {"line-error=block:1", {{Block1, "!>"}}},
        {"power-off=block:1", {{Block1, "~"}, {Block2, ""}}},
        {"stuck=00EF:FE", {{Block1, "Z"}}},  // only data byte 111 of block 1 needs bit 0
        {"", {{Block1, "T"}}, 100},
    };
    for (const auto& c : cases) {
        auto expected = sound;
        for (const auto& [step, reply] : c.changed) expected[size_t(step)] = reply;
        std::vector<R> records;
        for (int k = 0; k < 3; ++k) {
            const CraftedRecord r(uint16_t(k * 0x80), uint8_t(0x80 + 16 * k), 1);
            records.push_back(r.cut(k == 1 ? c.length : 137));
        }
        Rig rig("erase-time=10,program-time=40,"s + c.options);
        rig.reset(false);
        ASSERT_EQ(rig.tryMatch("19200,N,8,1").second, 0) << c.options;
        rig.board().flash().program(0x4000, R{0x00});  // for the erase to undo
        std::vector<std::string> got;
        auto step = [&](const R& out, int waitMs) {
            rig.comm.clear();
            const size_t sent = rig.port().traffic().size();
            const std::string reply = rig.within(out, waitMs);
            const int index = int(got.size());
            // A block is programmed from its record's last byte on; a cut one is given up five
            // seconds after its first.
            const auto& t = rig.port().traffic();
            if (index >= Block0 && reply == ">") {
                EXPECT_EQ(t.back().startNs - t[t.size() - 2].endNs, 40 * kNsPerMs) << c.options;
            }
            if (reply == "T") {
                EXPECT_EQ(t.back().startNs - t[sent].endNs, 5000 * kNsPerMs);
            }
            std::string before, after;
            bool data = false;
            for (auto e : rig.comm) {
                data = data || e == CommEvent::DataReceived;
                if (e == CommEvent::FramingError) (data ? after : before) += '!';
                if (e == CommEvent::CtsChanged) (data ? after : before) += '~';
            }
            got.push_back(before + reply + after);
        };
        step({0x55}, 30);
        step({0x00, 0x06}, 20);
        step(kImage, 30);
        step({'a', 'b', 'c', 0x0D}, 149);  // the kernel sleeps until its CR
        step({}, 10);
        for (const auto& r : records) step(r, r.size() < 137 ? 5100 : 500);
        EXPECT_EQ(got, expected) << c.options;
        EXPECT_EQ(rig.last(Kind::EraseEnd)->timeNs - rig.last(Kind::EraseStart)->timeNs,
                  10 * kNsPerMs);
        // Only the blocks answered ">" reach the flash, and half of the one the power failed in
        // (what a failed program leaves is open).
        std::vector<uint8_t> flash(0x8000, 0xFF);
        const auto& actual = rig.board().flash().bytes();
        for (int k = 0; k < 3; ++k) {
            const auto& r = records[size_t(k)];
            const auto& answer = expected[size_t(Block0 + k)];
            const auto at = long(r[4] << 8 | r[5]);
            if (answer.find('>') != std::string::npos)
                std::copy(r.begin() + 6, r.begin() + 134, flash.begin() + at);
            if (answer == "~") std::copy(r.begin() + 6, r.begin() + 70, flash.begin() + at);
            if (answer == "Z") std::copy_n(actual.begin() + at, 128, flash.begin() + at);
        }
        EXPECT_TRUE(std::equal(flash.begin(), flash.end(), actual.begin())) << c.options;
    }
}

// The adapter holds the board's bytes until its timer has run from the first of them, or a
// packet's worth (62) waits; open in low-latency mode its timer is 1 ms.
TEST(UsbAdapter, HandsTheBoardsBytesOverInTheBatchesOfItsTimer) {
    struct Case {
        const char* options;
        int bytes;
        std::vector<std::pair<int64_t, size_t>> batches;  // (µs after the first byte's end, size)
    };
    // At 115200 bit/s a character takes 86.8 µs: the 62nd has arrived 5.30 ms after the first;
    // a new batch's timer starts with its own first byte.
    const Case cases[] = {
        {"adapter-latency=16", 1, {{1000, 1}}},
        {"adapter-latency=16:fixed", 100, {{5295, 62}, {5381 + 16000, 38}}},
        {"adapter-latency=4:fixed", 80, {{4000, 47}, {4079 + 4000, 33}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        VirtualScheduler clock;
        VirtualSerialPort port(clock, "sim");
        port.setAdapter(parseBoardOptions(c.options).options.adapter);
        port.setSettings("115200,N,8,1");
        std::vector<std::pair<int64_t, size_t>> batches;
        const int64_t firstEndNs = port.lineSettings().charTimeNs();
        port.setEventHandler([&](CommEvent) {
            batches.emplace_back((clock.nowNs() - firstEndNs) / 1000, port.readAll().size());
        });
        port.open();
        for (int i = 0; i < c.bytes; ++i) port.sendToHost(uint8_t(i), port.lineSettings());
        clock.runFor(100 * kNsPerMs);
        EXPECT_EQ(batches, c.batches);
        port.close();
        EXPECT_FALSE(port.lowLatency());
    }
}

}  // namespace
}  // namespace quill::sim
