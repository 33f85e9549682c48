#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/board_desk.h"

namespace quill {
namespace {

using testing::BoardDesk;

struct FailureCase {
    const char* name;
    const char* options;                    // the board's faults
    std::function<void(BoardDesk&)> setUp;  // files and anything else, before the write
    int code;
    std::string report;                    // the end of the console: report line, then " (Failure)"
    const char* settings = "19200,N,8,1";  // the line the write leaves: the speed found
};

void userFile(BoardDesk& b, const std::string& text) {
    b.userFile = b.folder.write("u.mot", text);
}
void bootFile(BoardDesk& b, const std::string& text) {
    b.bootFile = b.folder.write("b.mot", text);
}

void pressEscAt(BoardDesk& b, int ms) {
    b.desk->clock.schedule(ms * kNsPerMs, [&b] {
        int16_t key = 27, shift = 0;
        b.form().Form_KeyDown(key, shift);
    });
}

// Esc 50 ms before the board's fault would end the write: a probe write on the same board,
// in the same virtual time, finds that moment.
std::function<void(BoardDesk&)> escBeforeTheFailure(const char* options) {
    return [options](BoardDesk& b) {
        BoardDesk probe(options);
        probe.start();
        probe.write();
        const auto& log = probe.desk->port.lineLog();
        auto reset = std::find_if(log.rbegin(), log.rend(), [](const auto& e) {
            return e.what == VirtualSerialPort::LineEvent::What::Dtr && !e.on;
        });
        pressEscAt(b, int(reset->timeNs / kNsPerMs) - 50);
    };
}

const std::string kBadType = "S503000000FC";  // long enough for both loaders to look at
const std::string kBadDigit = "S1130000G0000000000000000000000000000000EC";
const std::string kBadSum = "S1130000000000000000000000000000000000EB";

std::vector<FailureCase> failureCases() {
    const std::string record = "\r\nRecord: ";
    return {
        {"boot file missing", "", [](BoardDesk& b) { b.bootFile = b.folder.path("none.mot"); }, 1,
         "", "38400,N,8,1"},
        {"boot file is a folder", "", [](BoardDesk& b) { b.bootFile = b.folder.path(""); }, 1, "",
         "38400,N,8,1"},
        {"user file missing", "", [](BoardDesk& b) { b.userFile = ""; }, 2, "", "38400,N,8,1"},
        {"boot file cannot be opened", "",
         [](BoardDesk& b) { b.desk->fileSlot.refuseAfterOpens = 2; }, 3,
         " ? [ 3 ] can't Open Boot program !\r\n\r\n (Failure)\r\n", "38400,N,8,1"},
        {"user file cannot be opened", "",
         [](BoardDesk& b) { b.desk->fileSlot.refuseAfterOpens = 3; }, 4,
         "send Image(User Program) to H8 ...  ? [ 4 ] can't Open User program !\r\n\r\n"
         " (Failure)\r\n"},
        {"boot record type", "", [](BoardDesk& b) { bootFile(b, kBadType + "\r\n"); }, 5,
         record + kBadType + "\r\n ? [ 5 ] unknown Hex Recode !\r\n\r\n (Failure)\r\n",
         "38400,N,8,1"},
        {"boot digit", "", [](BoardDesk& b) { bootFile(b, kBadDigit + "\r\n"); }, 6,
         record + kBadDigit + "\r\n ? [ 6 ] exist not Hex character !\r\n (Failure)\r\n",
         "38400,N,8,1"},
        {"boot checksum", "", [](BoardDesk& b) { bootFile(b, kBadSum + "\r\n"); }, 9,
         record + kBadSum + "\r\n ? [ 9 ] Check-Sum error !\r\n (Failure)\r\n", "38400,N,8,1"},
        {"user record type", "", [](BoardDesk& b) { userFile(b, kBadType + "\r\n"); }, 5,
         record + kBadType + "\r\n ? [ 5 ] unknown Hex Recode !\r\n\r\n (Failure)\r\n"},
        {"user digit", "", [](BoardDesk& b) { userFile(b, kBadDigit + "\r\n"); }, 6,
         record + kBadDigit + "\r\n ? [ 6 ] exist not Hex character !\r\n (Failure)\r\n"},
        {"user checksum", "", [](BoardDesk& b) { userFile(b, kBadSum + "\r\n"); }, 9,
         record + kBadSum + "\r\n ? [ 9 ] Check-Sum error !\r\n (Failure)\r\n"},
        {"boot start address", "",
         [](BoardDesk& b) { bootFile(b, testing::sRecords(0xF700, b.bootBytes)); }, 7,
         record + "S9030000FC\r\n ? [ 7 ] wrong start Address ! [F700]\r\n (Failure)\r\n",
         "38400,N,8,1"},
        {"boot too long", "",
         [](BoardDesk& b) { bootFile(b, testing::sRecords(0xF780, testing::patternBytes(1905))); },
         10, "read Boot Program ...  ? [ 10 ] too long Boot program !\r\n (Failure)\r\n",
         "38400,N,8,1"},
        {"user file without data", "",
         [](BoardDesk& b) { userFile(b, "S00600004844521B\r\nS9030000FC\r\n"); }, 11,
         " ? [ 11 ] no data in User program !\r\n (Failure)\r\n"},
        {"no power", "unpowered", nullptr, 21,
         "User Program [ USER ] ... exist\r\n ? [ 21 ] H8 Power is OFF !\r\n (Failure)\r\n",
         "38400,N,8,1"},
        {"no bit rate", "match-silent", nullptr, 22,
         "set COM Speed ...  ? [ 22 ] can't connect H8 !\r\n (Failure)\r\n", "2400,N,8,1"},
        {"erase fails", "erase=ff", nullptr, 24,
         "erace Flash-ROM ...  ? [ 24 ] can't Erace !\r\n (Failure)\r\n"},
        {"erase answer unknown", "erase=3C", nullptr, 25,
         "erace Flash-ROM ...  ? [ 25 ] unknown Response ! [3C]\r\n (Failure)\r\n"},
        {"erase answer silent", "erase=silent", nullptr, 81,
         "erace Flash-ROM ...  ? [ 81 ] no Response from H8 !\r\n (Failure)\r\n"},
        {"erase answered twice at once", "erase=double", nullptr, 81,
         "erace Flash-ROM ...  ? [ 81 ] no Response from H8 !\r\n (Failure)\r\n"},
        {"length echo wrong", "length-echo=wrong", nullptr, 26,
         " to H8 ...  ? [ 26 ] different Response !\r\n (Failure)\r\n"},
        {"length echo short", "length-echo=short", nullptr, 26,
         " to H8 ...  ? [ 26 ] different Response !\r\n (Failure)\r\n"},
        {"image echo wrong", "image-echo=5:wrong", nullptr, 27,
         "send Image(Boot Program) to H8 ...  ? [ 27 ] incorrect Response !\r\n (Failure)\r\n"},
        {"image echo missing", "image-echo=5:silent", nullptr, 27,
         "send Image(Boot Program) to H8 ...  ? [ 27 ] incorrect Response !\r\n (Failure)\r\n"},
        {"image echo of a zero byte missing", "image-echo=5:silent",
         [](BoardDesk& b) {
             b.bootBytes[5] = 0;
             b.writeFiles();
         },
         81,
         "send Image(Boot Program) to H8 ...  ? [ 81 ] no Response from H8 !\r\n (Failure)\r\n"},
        {"start answer missing", "start=silent", nullptr, 28,
         "waiting Start Boot Program ...  ? [ 28 ] wrong Response ! of transefer end (0xAA: 00)"
         "\r\n (Failure)\r\n"},
        {"start answer wrong", "start=55", nullptr, 28,
         "waiting Start Boot Program ...  ? [ 28 ] wrong Response ! of transefer end (0xAA: 55)"
         "\r\n (Failure)\r\n"},
        {"kernel silent", "prompt=silent", nullptr, 41,
         "--- Start User Boot Program --- ? [ 41 ] unverified ! User Boot Prog.\r\n (Failure)\r\n"},
        {"kernel late", "prompt=late", nullptr, 41,
         "--- Start User Boot Program --- ? [ 41 ] unverified ! User Boot Prog.\r\n (Failure)\r\n"},
        {"no block answer", "block-silent=1", nullptr, 42,
         "send Image(User Program) to H8 ...  ? [ 42 ] no Response after Block-Write !\r\n"
         " (Failure)\r\n"},
        {"block above the flash", "",
         [](BoardDesk& b) { userFile(b, testing::sRecords(0x7FF0, testing::patternBytes(48))); },
         43, "send Image(User Program) to H8 ...  ? [ 43 ] unknown error !\r\n (Failure)\r\n"},
        {"kernel header", "block=0::", nullptr, 51,
         " ? [ 51 ] unknown Haeder ! (H8)\r\n (Failure)\r\n"},
        {"kernel boundary", "block=1:A", nullptr, 52,
         " ? [ 52 ] Boundary error ! (Write address : H8)\r\n (Failure)\r\n"},
        {"kernel twice", "block=2:D", nullptr, 53,
         " ? [ 53 ] Write 2 times ! (H8)\r\n (Failure)\r\n"},
        {"kernel delimiter L", "block=0:L", nullptr, 54,
         " ? [ 54 ] no Delimita ! (H8)\r\n (Failure)\r\n"},
        {"kernel delimiter S", "block=0:S", nullptr, 54,
         " ? [ 54 ] no Delimita ! (H8)\r\n (Failure)\r\n"},
        {"kernel wait over", "block=0:T", nullptr, 55,
         " ? [ 55 ] wait over ! (5Sec : H8)\r\n (Failure)\r\n"},
        // The board answers its error letter alone: the kernel's text before it is empty, and
        // one blank follows it.
        {"kernel flash error", "block=0:Z", nullptr, 56,
         "send Image(User Program) to H8 ...   ? [ 56 ] Flash write error ! (H8)\r\n"
         " (Failure)\r\n"},
        {"kernel address", "block=0:W", nullptr, 57,
         " ? [ 57 ] out of Write Address ! (H8)\r\n (Failure)\r\n"},
        {"kernel other", "block=0:?", nullptr, 58,
         " ? [ 58 ] unknown error ! (H8)\r\n (Failure)\r\n"},
        {"kernel chatter", "chatter", nullptr, 82,
         " ? [ 82 ] too many character ! from H8\r\n (Failure)\r\n"},
        {"line error in the erase", "line-error=erase", nullptr, 83,
         "erace Flash-ROM ...  ? [ 83 ] COM receive error !\r\n (Failure)\r\n"},
        {"line error in a block answer", "line-error=block:1", nullptr, 83,
         "send Image(User Program) to H8 ...  ? [ 83 ] COM receive error !\r\n (Failure)\r\n"},
        {"power lost in a block", "power-off=block:2", nullptr, 42,
         "send Image(User Program) to H8 ...  ? [ 42 ] no Response after Block-Write !\r\n"
         " (Failure)\r\n"},
        // The stop key ends each wait; the step then judges what it has, and a kernel error
        // letter outranks the stop and too much text.
        {"stop key in the length echo", "length-echo=short",
         escBeforeTheFailure("length-echo=short"), 26,
         " to H8 ...  ? [ 26 ] different Response !\r\n (Failure)\r\n"},
        {"stop key in the image echo", "image-echo=5:silent",
         escBeforeTheFailure("image-echo=5:silent"), 27,
         "send Image(Boot Program) to H8 ...  ? [ 27 ] incorrect Response !\r\n (Failure)\r\n"},
        {"stop key in the start wait", "start=silent", escBeforeTheFailure("start=silent"), 28,
         " ? [ 28 ] wrong Response ! of transefer end (0xAA: 00)\r\n (Failure)\r\n"},
        {"kernel letter after the stop key", "block=0:Z", escBeforeTheFailure("block=0:Z"), 56,
         " ? [ 56 ] Flash write error ! (H8)\r\n (Failure)\r\n"},
        {"kernel letter before too much text", "block=0:Z,chatter", nullptr, 56,
         " ? [ 56 ] Flash write error ! (H8)\r\n (Failure)\r\n"},
        {"boot file empty", "", [](BoardDesk& b) { bootFile(b, ""); }, 7,
         "read Boot Program ... \r\nRecord: \r\n ? [ 7 ] wrong start Address ! [0]\r\n"
         " (Failure)\r\n",
         "38400,N,8,1"},
        {"stop key in the erase", "erase-time=5000", [](BoardDesk& b) { pressEscAt(b, 1500); }, 99,
         "erace Flash-ROM ...  ? [ 99 ] Stop by Key !\r\n (Failure)\r\n"},
    };
}

// Failure messages name the case, not its bytes.
void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(WriteFailure, ReportsTheCodeShowsItAndResetsTheChipIntoUserMode) {
    const FailureCase& c = GetParam();
    BoardDesk b(c.options);
    if (c.setUp) c.setUp(b);
    b.start();
    b.write();

    const std::string console = b.desk->status.text();
    std::string report = c.report;
    if (auto at = report.find("USER"); at != std::string::npos) report.replace(at, 4, b.userFile);
    ASSERT_GE(console.size(), report.size()) << console;
    EXPECT_EQ(console.substr(console.size() - report.size()), report) << console;
    EXPECT_EQ(b.form().errorCode, c.code);

    ASSERT_EQ(b.desk->messageBox.shown.size(), 1u);
    EXPECT_EQ(b.desk->messageBox.shown[0].title, "Quillmont");
    EXPECT_NE(console.find(b.desk->messageBox.shown[0].text), std::string::npos);

    // Whatever failed, the chip leaves reset in user mode (RTS on when DTR comes on).
    const auto& log = b.desk->port.lineLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back().what, VirtualSerialPort::LineEvent::What::Dtr);
    EXPECT_TRUE(log.back().on);
    EXPECT_TRUE(b.desk->port.rts());
    if (b.board->powered()) {
        EXPECT_EQ(b.board->state(), sim::Board::State::User);
    }

    EXPECT_FALSE(b.desk->fileSlot.isOpen());
    EXPECT_EQ(b.desk->port.settings(), c.settings);
    EXPECT_TRUE(b.form().terminalMode);
    EXPECT_EQ(b.desk->cbWrite.caption(), "Write");
}

INSTANTIATE_TEST_SUITE_P(EveryCode, WriteFailure, ::testing::ValuesIn(failureCases()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

TEST(WriteFailureReport, AMissingBootFileNamesItWithAnEmptyLineBeforeTheFailure) {
    BoardDesk b;
    b.bootFile = b.folder.path("gone.mot");
    b.start();
    b.write();
    EXPECT_EQ(b.desk->status.text(),
              " ? [ 1 ] not Exist Boot rogram ! [ " + b.bootFile + " ]\r\n\r\n (Failure)\r\n");
}

}  // namespace
}  // namespace quill
