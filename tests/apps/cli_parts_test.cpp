// The command-line writer's parts in process: the option rules, the console as a line
// stream, the up-front count of blocks.

#include <gtest/gtest.h>

#include <cstdio>

#include "cli/cli_options.h"
#include "cli/stream_console.h"
#include "cli/user_blocks.h"
#include "support/program_files.h"

namespace quill::testing {
namespace {

using cli::CliOptions;

CliOptions parse(std::vector<const char*> args, const char* port = nullptr,
                 const char* sim = nullptr) {
    QStringList list{"quillmont-cli"};
    for (const char* a : args) list << QString::fromUtf8(a);
    return cli::parseCliOptions(list, port, sim);
}

TEST(CliOptionsTest, PortAndBoardOptionsComeFromTheLineThenTheEnvironment) {
    struct Case {
        std::vector<const char*> args;
        const char* portVariable;
        const char* simVariable;
        std::string port;
        std::string simOptions;
    };
    const Case cases[] = {
        {{"b", "u"}, nullptr, nullptr, "", ""},
        {{"b", "u"}, "/dev/ttyUSB1", nullptr, "/dev/ttyUSB1", ""},
        {{"--port", "/dev/ttyUSB0", "b", "u"}, "sim", "erase-time=5", "/dev/ttyUSB0", ""},
        {{"--port", "sim", "b", "u"}, nullptr, "erase-time=5", "sim", "erase-time=5"},
        {{"--port", "sim", "--sim", "speeds=9600", "--sim", "2400", "b", "u"},
         nullptr,
         "erase-time=5",
         "sim",
         "erase-time=5,speeds=9600,2400"},
        {{"--sim", "unpowered", "b", "u"}, "sim", nullptr, "sim", "unpowered"},
    };
    for (const Case& c : cases) {
        const CliOptions o = parse(c.args, c.portVariable, c.simVariable);
        ASSERT_EQ(o.action, CliOptions::Action::Write) << o.message;
        EXPECT_EQ(o.port, c.port);
        EXPECT_EQ(o.simOptions, c.simOptions);
        EXPECT_EQ(o.bootFile, "b");
        EXPECT_EQ(o.userFile, "u");
    }
}

TEST(CliOptionsTest, ActionsAndUsageErrors) {
    EXPECT_EQ(parse({"--help"}).action, CliOptions::Action::Help);
    EXPECT_EQ(parse({"--version"}).action, CliOptions::Action::Version);
    EXPECT_EQ(parse({"--list-ports"}).action, CliOptions::Action::ListPorts);
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"b"},
        {"b", "u", "extra"},
        {"--port"},
        {"--nonsense", "b", "u"},
        {"--sim", "unpowered", "b", "u"},
        {"--dump-flash", "f.bin", "b", "u"},
        {"--port", "sim", "--sim", "erase-time=x", "b", "u"},
    };
    for (const auto& args : bad)
        EXPECT_EQ(parse(args).action, CliOptions::Action::UsageError)
            << ::testing::PrintToString(args);
    // A bad QUILLMONT_SIM is refused as well, since --sim adds to it.
    EXPECT_EQ(parse({"--port", "sim", "b", "u"}, nullptr, "bogus").action,
              CliOptions::Action::UsageError);
}

// The console's output through a temporary file.
class StreamConsoleTest : public ::testing::Test {
  protected:
    std::FILE* file = std::tmpfile();
    ~StreamConsoleTest() override { std::fclose(file); }
    std::string output() {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(char(c));
        return text;
    }
};

TEST_F(StreamConsoleTest, LineEndsWhereverTheInsertsSplitThem) {
    cli::StreamConsole console(file, false);
    console.insertAtCaret("before the write\r\n");  // not streaming yet: terminal traffic
    console.setStreaming(true);
    for (const char* piece :
         {"erace Flash-ROM ... ", " OK\r", "\nsend", " A\r\n\r\n", "lone\rcr", "\nx\n", "partial"})
        console.insertAtCaret(piece);
    EXPECT_EQ(output(), "erace Flash-ROM ...  OK\nsend A\n\nlone\ncr\nx\n")
        << "a partial line waits for its end";
    console.finish();
    EXPECT_EQ(output(), "erace Flash-ROM ...  OK\nsend A\n\nlone\ncr\nx\npartial\n");
    EXPECT_EQ(console.text(),
              "before the write\r\nerace Flash-ROM ...  OK\r\nsend A\r\n\r\nlone\rcr\nx\npartial")
        << "the window's text stays whole for the operations that read it";
}

TEST_F(StreamConsoleTest, EmptyingKeepsAPartialLineThatWasShown) {
    cli::StreamConsole console(file, false);
    console.setStreaming(true);
    console.insertAtCaret("half a line");
    console.replaceText("");
    console.insertAtCaret("next\r\n");
    EXPECT_EQ(output(), "half a line\nnext\n");
}

TEST_F(StreamConsoleTest, QuietKeepsTheReportLines) {
    cli::StreamConsole console(file, true);
    console.setStreaming(true);
    console.insertAtCaret(
        "check H8 Power ... ON\r\n"
        "read Boot Program ... \r\nRecord: S1FF\r\n ? [ 9 ] Check-Sum error !\r\n (Failure)\r\n"
        "set COM Speed ...  ? unknown Response from H8 !\r\n"
        "Flash write end ! (Success)\r\n");
    EXPECT_EQ(
        output(),
        "Record: S1FF\n ? [ 9 ] Check-Sum error !\n (Failure)\nFlash write end ! (Success)\n");
}

TEST(UserBlocksTest, CountsBlocksByTheWritesCuttingRule) {
    ScratchFolder folder;
    struct Case {
        const char* name;
        std::string text;
        std::optional<int> blocks;
    };
    const auto bytes = [](size_t n) { return patternBytes(n, 5); };
    const Case cases[] = {
        {"one byte", sRecords(0x0000, bytes(1)), 1},
        {"exactly one block", intelHex(0x0080, bytes(128)), 1},
        {"unaligned start spills over", sRecords(0x0040, bytes(128)), 2},
        {"200 bytes from 0", intelHex(0x0000, bytes(200)), 2},
        {"whole flash", sRecords(0x0000, bytes(0x8000), 32), 256},
        {"two runs far apart", sRecords(0x0000, bytes(10)) + sRecords(0x1000, bytes(10)), 2},
        // A gap inside a block is H'FF places, not a new block.
        {"gap in a block", sRecords(0x0000, bytes(16)) + sRecords(0x0040, bytes(16)), 1},
        // Going back in address order starts a new block, even inside the same one.
        {"out of order", sRecords(0x0010, bytes(16)) + sRecords(0x0000, bytes(16)), 2},
        {"no data", "S00600004844521B\r\nS9030000FC\r\n", 0},
        {"bad checksum", "S1050000FFFF00\r\n", std::nullopt},
        {"not a record", "hello there, world\r\n", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cli::countUserBlocks(folder.write("u.txt", c.text)), c.blocks) << c.name;
    EXPECT_EQ(cli::countUserBlocks(folder.path("missing.hex")), std::nullopt);
}

}  // namespace
}  // namespace quill::testing
