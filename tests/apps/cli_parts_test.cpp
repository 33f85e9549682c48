// The command-line writer's parts in process: the port kind a name chooses, the port list, the
// console as a line stream, the up-front count of blocks.

#include <gtest/gtest.h>

#include <cstdio>

#include "cli/cli_options.h"
#include "cli/stream_console.h"
#include "cli/user_blocks.h"
#include "common/port_factory.h"
#include "serial/settings_text.h"
#include "support/program_files.h"

namespace quill::testing {
namespace {

std::string contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(char(c));
    return text;
}

// The ports made for each kind, and a refusal of unknown board options, are what every process
// test of the programs meets. The desktop program names no port when QUILLMONT_PORT is unset.
TEST(PortFactory, OnlySimChoosesTheVirtualBoard) {
    EXPECT_EQ(app::portKind("sim"), app::PortKind::Sim);
    for (const char* other : {"", "/dev/ttyUSB0", "SIM", "sim2", static_cast<const char*>(nullptr)})
        EXPECT_EQ(app::portKind(other), app::PortKind::Host) << (other ? other : "none");
}

// Each port this user may not open is marked, and the advice follows the list once for each
// group that would open them.
TEST(CliOptionsTest, ThePortListMarksThePortsThisUserMayNotOpen) {
    const std::string list = cli::portList({{"/dev/ttyS0", "", {true, "dialout"}},
                                            {"/dev/ttyUSB0", "FT232R, FTDI", {}},
                                            {"/dev/ttyUSB1", "CP2102", {true, "dialout"}},
                                            {"/dev/ttyACM0", "", {true, ""}}});
    EXPECT_EQ(list,
              "/dev/ttyS0\t(no permission)\n"
              "/dev/ttyUSB0\tFT232R, FTDI\n"
              "/dev/ttyUSB1\tCP2102\t(no permission)\n"
              "/dev/ttyACM0\t(no permission)\n"
              "sim\tthe virtual H8/3694 board (options: --sim, QUILLMONT_SIM)\n"
              "rfc2217://HOST:PORT\ta serial port shared over the network (ser2net, "
              "quillmont-board)\n"
              "(no permission) " +
                  permissionAdvice({"/dev/ttyACM0"}, "") + "\n(no permission) " +
                  permissionAdvice({"/dev/ttyS0", "/dev/ttyUSB1"}, "dialout") + "\n");
}

TEST(StreamConsoleTest, LinesEndWhereverTheInsertsSplitThemAndQuietKeepsTheReport) {
    std::FILE* file = std::tmpfile();
    std::FILE* quietFile = std::tmpfile();
    cli::StreamConsole console(file, false), quiet(quietFile, true);
    console.insertAtCaret("before the write\r\n");  // not streaming yet: terminal traffic
    console.setStreaming(true);
    quiet.setStreaming(true);
    std::string all;
    for (const char* piece : {"erace Flash-ROM ... ", " OK\r", "\nsend", " A\r\n\r\n", "lone\rcr",
                              "\nRecord: S1FF\r\n ? [ 9 ] Check-Sum error !\r\n (Failure)\r\n",
                              "set COM Speed ...  ? unknown Response from H8 !\r\nhalf"}) {
        console.insertAtCaret(piece);
        quiet.insertAtCaret(piece);
        all += piece;
    }
    EXPECT_EQ(console.text(), "before the write\r\n" + all) << "the window's text stays whole";
    const std::string report = "Record: S1FF\n ? [ 9 ] Check-Sum error !\n (Failure)\n";
    const std::string lines = "erace Flash-ROM ...  OK\nsend A\n\nlone\ncr\n" + report +
                              "set COM Speed ...  ? unknown Response from H8 !\n";
    EXPECT_EQ(contents(file), lines) << "a partial line waits for its end";
    EXPECT_EQ(contents(quietFile), report);
    // Emptying the window ends a partial line that was shown; finishing ends the last one.
    console.replaceText("");
    console.insertAtCaret("next\r\ntail");
    console.finish();
    EXPECT_EQ(contents(file), lines + "half\nnext\ntail\n");
    std::fclose(file);
    std::fclose(quietFile);
}

TEST(UserBlocksTest, CountsBlocksByTheWritesCuttingRule) {
    ScratchFolder folder;
    const auto bytes = [](size_t n) { return patternBytes(n, 5); };
    const std::pair<std::string, std::optional<int>> cases[] = {
        {sRecords(0x0040, bytes(128)), 2},  // an unaligned start spills over
        {sRecords(0x0000, bytes(16)) + sRecords(0x0040, bytes(16)), 1},  // a gap is H'FF places
        {sRecords(0x0010, bytes(16)) + sRecords(0x0000, bytes(16)), 2},  // going back starts anew
        {"S1050000FFFF00\r\n", std::nullopt},
    };
    for (const auto& [text, blocks] : cases)
        EXPECT_EQ(cli::countUserBlocks(folder.write("u.txt", text)), blocks) << text;
    EXPECT_EQ(cli::countUserBlocks(folder.path("missing.hex")), std::nullopt);
}

}  // namespace
}  // namespace quill::testing
