#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/board_desk.h"

namespace quill {
namespace {

using testing::BoardDesk;
using SetUp = std::function<void(BoardDesk&)>;

SetUp bootText(const std::string& text) {
    return [text](BoardDesk& b) { b.bootFile = b.folder.write("b.mot", text); };
}
SetUp userText(const std::string& text) {
    return [text](BoardDesk& b) { b.userFile = b.folder.write("u.mot", text); };
}
SetUp bootPath(const std::string& name) {
    return [name](BoardDesk& b) { b.bootFile = b.folder.path(name); };
}
// The file slot refuses every open after the first `opens`.
SetUp refuseAfter(int opens) {
    return [opens](BoardDesk& b) { b.desk->fileSlot.refuseAfterOpens = opens; };
}

// A boot program of `n` bytes with a zero byte at `zeroAt`.
SetUp bootBytes(size_t n, int zeroAt = -1) {
    return [n, zeroAt](BoardDesk& b) {
        b.bootBytes = testing::patternBytes(n, 5);
        if (zeroAt >= 0) b.bootBytes[size_t(zeroAt)] = 0;
        b.writeFiles();
    };
}

// When the failure's reset began: the last time DTR went off.
int64_t resetNs(const BoardDesk& b) {
    const auto& log = b.desk->port.lineLog();
    auto reset = std::find_if(log.rbegin(), log.rend(), [](const auto& e) {
        return e.what == VirtualSerialPort::LineEvent::What::Dtr && !e.on;
    });
    return reset == log.rend() ? -1 : reset->timeNs;
}

// Esc at `ms` into the write, or a click on the reset button, which pulses the line at once.
enum class Act { Esc, Reset };
SetUp at(int ms, Act act) {
    return [ms, act](BoardDesk& b) {
        b.desk->clock.schedule(ms * kNsPerMs, [&b, act] {
            const int64_t clickNs = b.desk->clock.nowNs();
            int16_t key = 27, shift = 0;
            if (act == Act::Esc) return b.form().Form_KeyDown(key, shift);
            b.form().cbReset_Click();
            EXPECT_EQ(resetNs(b), clickNs);
        });
    };
}

// Esc 50 ms before the board's fault would end the write: a probe write on the same board,
// in the same virtual time, finds that moment.
SetUp escBeforeTheFailure(const char* options) {
    return [options](BoardDesk& b) {
        BoardDesk probe(options);
        probe.start();
        probe.write();
        at(int(resetNs(probe) / kNsPerMs) - 50, Act::Esc)(b);
    };
}

struct FailureCase {
    const char* options;  // the board's faults
    SetUp setUp;          // files and anything else, before the write
    int code;
    // The end of the console before " (Failure)"; BOOT and USER stand for the file names. For a
    // missing file it is the whole console: the files are looked for first.
    std::string report;
    int speed = 19200;  // of the line the write leaves: the speed found
    // The time-out that ended the write, from the last character sent (if negative: received).
    int waitMs = 0;
};

std::vector<FailureCase> failureCases() {
    const std::string rec = "\r\nRecord: ";
    const std::string user = "send Image(User Program) to H8 ... ";
    const std::string image = "send Image(Boot Program) to H8 ... ";
    const std::string erase = "erace Flash-ROM ... ";
    const std::string start =
        "waiting Start Boot Program ...  ? [ 28 ] wrong Response ! of "
        "transefer end (0xAA: ";
    const auto silentBlock = user + " ? [ 42 ] no Response after Block-Write !";
    const std::string silent =
        "--- Start User Boot Program --- ? [ 41 ] unverified ! User Boot Prog.";
    return {
        {"", bootPath("none.mot"), 1, " ? [ 1 ] not Exist Boot rogram ! [ BOOT ]\r\n", 38400},
        {"", bootPath(""), 1, " ? [ 1 ] not Exist Boot rogram ! [ BOOT ]\r\n", 38400},
        {"", [](BoardDesk& b) { b.userFile = ""; }, 2,
         "Boot Program [ BOOT ] ... exist\r\n ? [ 2 ] not Exist User rogram ! [  ]\r\n", 38400},
        {"", refuseAfter(2), 3, " ? [ 3 ] can't Open Boot program !\r\n", 38400},
        {"", refuseAfter(3), 4, user + " ? [ 4 ] can't Open User program !\r\n"},
        {"", bootText(testing::sRecords(0xF700, testing::patternBytes(300))), 7,
         rec + "S9030000FC\r\n ? [ 7 ] wrong start Address ! [F700]", 38400},
        {"", bootText(""), 7,
         "read Boot Program ... " + rec + "\r\n ? [ 7 ] wrong start Address ! [0]", 38400},
        {"", bootText(testing::sRecords(0xF780, testing::patternBytes(1905))), 10,
         "read Boot Program ...  ? [ 10 ] too long Boot program !", 38400},
        // A decoding error shows the record it stopped at.
        {"", userText("S1050G000102F7\r\n"), 6,
         user + rec + "S1050G000102F7\r\n ? [ 6 ] exist not Hex character !"},
        {"", userText(":0300300002337A1F\r\n"), 9,
         user + rec + ":0300300002337A1F\r\n ? [ 9 ] Check-Sum error !"},
        {"", userText("S00600004844521B\r\nS9030000FC\r\n"), 11,
         " ? [ 11 ] no data in User program !"},
        {"", userText(testing::sRecords(0x7FF0, testing::patternBytes(48))), 43,
         user + " ? [ 43 ] unknown error !"},
        {"unpowered", nullptr, 21, "User Program [ USER ] ... exist\r\n ? [ 21 ] H8 Power is OFF !",
         38400},
        {"match-silent", nullptr, 22, "set COM Speed ...  ? [ 22 ] can't connect H8 !", 2400},
        {"erase=ff", nullptr, 24, erase + " ? [ 24 ] can't Erace !"},
        {"erase=3C", nullptr, 25, erase + " ? [ 25 ] unknown Response ! [3C]"},
        {"erase=silent", nullptr, 81, erase + " ? [ 81 ] no Response from H8 !", 19200, 30000},
        {"erase=double", nullptr, 81, erase + " ? [ 81 ] no Response from H8 !"},
        {"length-echo=wrong", nullptr, 26, " to H8 ...  ? [ 26 ] different Response !"},
        {"length-echo=short", nullptr, 26, " to H8 ...  ? [ 26 ] different Response !", 19200,
         3000},
        // A lone echo of the high byte is no echo of a length that ends in H'00.
        {"length-echo=short", bootBytes(256), 26,
         "[ 256 ] to H8 ...  ? [ 26 ] different Response !"},
        {"image-echo=5:wrong", nullptr, 27, image + " ? [ 27 ] incorrect Response !"},
        {"image-echo=5:silent", nullptr, 27, image + " ? [ 27 ] incorrect Response !", 19200, 100},
        // The echo of a zero byte is missing: no answer at all, rather than a wrong one.
        {"image-echo=5:silent", bootBytes(300, 5), 81, image + " ? [ 81 ] no Response from H8 !"},
        {"start=silent", nullptr, 28, start + "00)", 19200, -100},
        {"start=55", nullptr, 28, start + "55)"},
        {"prompt=silent", nullptr, 41, silent, 19200, 100},
        {"prompt=late", nullptr, 41, silent},
        {"block-silent=1", nullptr, 42, silentBlock, 19200, 300},
        // At 2400 and 4800 bit/s the record alone is 571 and 285 ms on the wire: the 300 ms count
        // from its end.
        {"speeds=2400,erase-time=10,block-silent=1", nullptr, 42, silentBlock, 2400, 300},
        {"speeds=4800,erase-time=10,block-silent=1", nullptr, 42, silentBlock, 4800, 300},
        {"power-off=block:2", nullptr, 42, silentBlock},
        {"block=0::", nullptr, 51, " ? [ 51 ] unknown Haeder ! (H8)"},
        {"block=1:A", nullptr, 52, " ? [ 52 ] Boundary error ! (Write address : H8)"},
        {"block=2:D", nullptr, 53, " ? [ 53 ] Write 2 times ! (H8)"},
        {"block=0:L", nullptr, 54, " ? [ 54 ] no Delimita ! (H8)"},
        {"block=0:S", nullptr, 54, " ? [ 54 ] no Delimita ! (H8)"},
        {"block=0:T", nullptr, 55, " ? [ 55 ] wait over ! (5Sec : H8)"},
        // The board answers its error letter alone: the kernel's text before it is empty, and
        // one blank follows it.
        {"block=0:Z", nullptr, 56, user + "  ? [ 56 ] Flash write error ! (H8)"},
        {"block=0:W", nullptr, 57, " ? [ 57 ] out of Write Address ! (H8)"},
        {"block=0:?", nullptr, 58, " ? [ 58 ] unknown error ! (H8)"},
        {"chatter", nullptr, 82, " ? [ 82 ] too many character ! from H8"},
        {"line-error=erase", nullptr, 83, erase + " ? [ 83 ] COM receive error !"},
        {"line-error=block:1", nullptr, 83, user + " ? [ 83 ] COM receive error !"},
        // The stop key ends each wait; the step then judges what it has, and a kernel error
        // letter outranks the stop and too much text.
        {"erase-time=5000", at(1500, Act::Esc), 99, erase + " ? [ 99 ] Stop by Key !"},
        // The reset throws the chip out of its erase: the write cannot go on.
        {"erase-time=3000", at(1500, Act::Reset), 81, erase + " ? [ 81 ] no Response from H8 !"},
        {"length-echo=short", escBeforeTheFailure("length-echo=short"), 26,
         " to H8 ...  ? [ 26 ] different Response !"},
        {"image-echo=5:silent", escBeforeTheFailure("image-echo=5:silent"), 27,
         image + " ? [ 27 ] incorrect Response !"},
        {"start=silent", escBeforeTheFailure("start=silent"), 28, start + "00)"},
        {"block=0:Z", escBeforeTheFailure("block=0:Z"), 56, " ? [ 56 ] Flash write error ! (H8)"},
        {"block=0:Z,chatter", nullptr, 56, " ? [ 56 ] Flash write error ! (H8)"},
    };
}

void expectFailure(const FailureCase& c) {
    BoardDesk b(c.options);
    if (c.setUp) c.setUp(b);
    b.start();
    b.write();

    const std::string console = b.desk->status.text();
    std::string report = c.report + "\r\n (Failure)\r\n";
    for (const auto& [name, file] : {std::pair{"BOOT", b.bootFile}, {"USER", b.userFile}})
        if (auto at = report.find(name); at != std::string::npos) report.replace(at, 4, file);
    if (c.code <= 2) {
        EXPECT_EQ(console, report);
    } else {
        EXPECT_TRUE(console.ends_with(report)) << console;
    }
    EXPECT_EQ(b.form().errorCode, c.code);

    // A time-out lasts its time, to within the timer's millisecond.
    if (c.waitMs != 0) {
        int64_t lastNs = 0;
        for (const auto& ch : b.desk->port.traffic())
            if (ch.toHost == (c.waitMs < 0) && ch.endNs <= resetNs(b)) lastNs = ch.endNs;
        EXPECT_GE(resetNs(b) - lastNs, std::abs(c.waitMs) * kNsPerMs);
        EXPECT_LT(resetNs(b) - lastNs, (std::abs(c.waitMs) + 1) * kNsPerMs);
    }
    // A power change during the write shows at once.
    EXPECT_EQ(b.desk->h8stat.caption(), b.board->powered() ? "H8 Power ON" : "H8 Power OFF");
    EXPECT_EQ(b.desk->port.settings(), std::to_string(c.speed) + ",N,8,1");
    // Whatever failed, the chip leaves reset in user mode (RTS on when DTR comes on); one
    // without power does so as soon as it has it.
    b.board->setPower(true);
    EXPECT_EQ(b.board->state(), sim::Board::State::User);
}

TEST(WriteFailure, EachCodeIsReportedAndTheChipIsResetIntoUserMode) {
    for (const FailureCase& c : failureCases()) {
        SCOPED_TRACE(std::string(c.options) + ", code " + std::to_string(c.code));
        expectFailure(c);
    }
}

}  // namespace
}  // namespace quill
