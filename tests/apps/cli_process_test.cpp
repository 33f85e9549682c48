// The built quillmont-cli, run as a child process against the virtual board: exit statuses,
// what goes to standard output and to standard error, the flash dump, Ctrl-C.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/cli_child.h"
#include "support/program_files.h"

namespace quill::testing {
namespace {

// A board fast enough that a whole write takes about a second (most of it the host's own
// fixed delays).
const std::string kFastBoard = "erase-time=10";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliProcess : public ::testing::Test {
  protected:
    ScratchFolder folder;
    const std::vector<uint8_t> user = patternBytes(200, 7);
    const std::string boot = folder.write("boot.mot", sRecords(0xF780, patternBytes(16, 3)));
    const std::string userFile = folder.write("user.hex", intelHex(0x0000, user));

    CliRun write(std::vector<std::string> extra, std::string userPath = "") const {
        CliChild child;
        child.args = {"--port", "sim", "--sim", kFastBoard};
        child.args.insert(child.args.end(), extra.begin(), extra.end());
        child.args.push_back(boot);
        child.args.push_back(userPath.empty() ? userFile : userPath);
        return child.run();
    }
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

TEST_F(CliProcess, SuccessfulWritePrintsTheLogAsLinesAndDumpsTheFlash) {
    const std::string dump = folder.path("flash.bin");
    const CliRun run = write({"--dump-flash", dump});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "") << "no progress and no message when standard error is no terminal";
    EXPECT_EQ(run.out.find('\r'), std::string::npos) << "each CR LF becomes one newline";
    const auto got = lines(run.out);
    ASSERT_GE(got.size(), 13u) << run.out;
    EXPECT_EQ(got.front(), "Boot Program [ " + boot + " ] ... exist");
    EXPECT_EQ(got[3], "read Boot Program ... [ 16 ]  OK");
    EXPECT_EQ(got[got.size() - 2], "send Image(User Program) to H8 ...  OK");
    EXPECT_EQ(got.back(), "Flash write end ! (Success)");

    std::string expected(32768, '\xFF');
    std::copy(user.begin(), user.end(), expected.begin());
    EXPECT_EQ(readFile(dump), expected);
}

TEST_F(CliProcess, PathsWithBlanksAreTakenWhole) {
    std::filesystem::create_directories(folder.path("with blank"));
    const std::string spaced = folder.path("with blank/user program.mot");
    std::ofstream(spaced) << sRecords(0x0000, user);
    const CliRun run = write({}, spaced);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("User Program [ " + spaced + " ] ... exist"), std::string::npos);
}

TEST_F(CliProcess, FailuresExitWithTheirCodeReportOnStdoutAndShowTheMessageOnStderr) {
    struct Case {
        std::vector<std::string> options;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {{"--sim", "unpowered"}, 21, "H8 Power is OFF !"},
        {{"--sim", "erase=ff"}, 24, "can't Erace !"},
        {{"--sim", "block=1:Z"}, 56, "Flash write error ! (H8)"},
        {{"--sim", "block-silent=0"}, 42, "no Response after Block-Write !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.back());
        auto options = c.options;
        const std::string dump = folder.path("failed.bin");
        options.insert(options.end(), {"--dump-flash", dump});
        const CliRun run = write(options);
        EXPECT_EQ(run.status, c.code) << run.out << run.err;
        const auto got = lines(run.out);
        ASSERT_GE(got.size(), 2u);
        EXPECT_NE(got[got.size() - 2].find(" ? [ " + std::to_string(c.code) + " ] " + c.message),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(got.back(), " (Failure)");
        EXPECT_EQ(run.err, "Quillmont: " + c.message + "\n");
        EXPECT_EQ(readFile(dump).size(), 32768u) << "the dump is written whatever the outcome";
    }
}

TEST_F(CliProcess, MissingFileIsTheWritesOwnFailureNotAUsageError) {
    const CliRun run = write({}, folder.path("nowhere.hex"));
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find(" ? [ 2 ] not Exist User rogram ! [ " + folder.path("nowhere.hex")),
              std::string::npos)
        << run.out;
}

TEST_F(CliProcess, QuietKeepsOnlyTheReportLines) {
    const CliRun ok = write({"--quiet"});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "Flash write end ! (Success)\n");

    const CliRun failed = write({"--quiet", "--sim", "erase=ff"});
    EXPECT_EQ(failed.status, 24);
    EXPECT_EQ(failed.out, "erace Flash-ROM ...  ? [ 24 ] can't Erace !\n (Failure)\n");
    EXPECT_EQ(failed.err, "Quillmont: can't Erace !\n");
}

TEST_F(CliProcess, ProgressIsDrawnInPlaceOnATerminal) {
    CliChild child;
    child.args = {"--port", "sim", "--sim", kFastBoard, boot, userFile};
    child.stderrOnTerminal = true;
    const CliRun run = child.run();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("\rboot program 16/16 bytes 100%"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\ruser program 2/2 blocks 100% at H'80"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("program 2/2"), std::string::npos) << "progress stays off stdout";
}

TEST_F(CliProcess, UsageErrorsExitWith2BeforeTouchingThePort) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {boot},
        {"--bogus", boot, userFile},
        {"--sim", "erase-time=10", boot, userFile},  // no --port sim
        {"--port", "/dev/null", "--dump-flash", "x.bin", boot, userFile},
        {"--port", "sim", "--sim", "no-such-option", boot, userFile},
        {"--port", "sim", "--sim", "erase-time=abc", boot, userFile},
    };
    for (const auto& args : cases) {
        CliChild child;
        child.args = args;
        const CliRun run = child.run();
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("quillmont-cli: "), std::string::npos);
        EXPECT_NE(run.err.find("--help"), std::string::npos);
    }
}

TEST_F(CliProcess, HelpVersionAndPortList) {
    CliChild help;
    help.args = {"--help"};
    const CliRun h = help.run();
    EXPECT_EQ(h.status, 0);
    for (const char* option : {"--port", "--list-ports", "--quiet", "--sim", "--dump-flash"})
        EXPECT_NE(h.out.find(option), std::string::npos) << option;

    CliChild version;
    version.args = {"--version"};
    EXPECT_EQ(version.run().out, "quillmont-cli " QUILLMONT_VERSION "\n");

    CliChild ports;
    ports.args = {"--list-ports"};
    const CliRun p = ports.run();
    EXPECT_EQ(p.status, 0);
    EXPECT_NE(p.out.find("sim\t"), std::string::npos);
}

TEST_F(CliProcess, APortThatCannotBeOpenedIsSaidPlainly) {
    CliChild child;
    child.args = {boot, userFile};
    child.env = {"QUILLMONT_PORT=/dev/quillmont-no-such-port"};
    const CliRun run = child.run();
    EXPECT_EQ(run.status, 21);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("cannot open the serial port /dev/quillmont-no-such-port"),
              std::string::npos)
        << run.err;
}

TEST_F(CliProcess, QuillmontPortSimAndSimOptionsFromTheEnvironment) {
    CliChild child;
    child.args = {"--sim", "block=0:W", boot, userFile};
    child.env = {"QUILLMONT_PORT=sim", "QUILLMONT_SIM=" + kFastBoard};
    const CliRun run = child.run();
    EXPECT_EQ(run.status, 57) << run.out << run.err;
}

TEST_F(CliProcess, CtrlCDuringAWaitStopsTheWriteWithCode99) {
    CliChild child;
    // A long erase: the interrupt lands in its response wait.
    child.args = {"--port", "sim", "--sim", "erase-time=20000", boot, userFile};
    bool sent = false;
    child.watch = [&sent](pid_t pid, const CliRun& run) {
        if (!sent && run.out.find("set COM Speed") != std::string::npos) {
            sent = true;
            ::kill(pid, SIGINT);
        }
    };
    const auto start = std::chrono::steady_clock::now();
    const CliRun run = child.run();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(run.status, 99) << run.out << run.err;
    EXPECT_NE(run.out.find("erace Flash-ROM ...  ? [ 99 ] Stop by Key !\n (Failure)\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("Quillmont: Stop by Key !"), std::string::npos) << run.err;
}

TEST_F(CliProcess, CtrlCBeforeAnyResponseWaitIsHeldForTheFirstOne) {
    CliChild child;
    child.args = {"--port", "sim", "--sim", "erase-time=20000", boot, userFile};
    bool sent = false;
    child.watch = [&sent](pid_t pid, const CliRun& run) {
        // During the power test: a plain delay, in which the window's Esc would end the
        // program instead.
        if (!sent && run.out.find("User Program [") != std::string::npos) {
            sent = true;
            ::kill(pid, SIGINT);
        }
    };
    const CliRun run = child.run();
    EXPECT_EQ(run.status, 99) << run.out << run.err;
    EXPECT_NE(run.out.find("set COM Speed ... [ 2 ] 19200 OK"), std::string::npos) << run.out;
}

TEST_F(CliProcess, ASecondCtrlCEndsAtOnce) {
    CliChild child;
    child.args = {"--port", "sim",          "--sim", "erase-time=20000",
                  "--sim",  "match-silent", boot,    userFile};
    int sent = 0;
    child.watch = [&sent](pid_t pid, const CliRun& run) {
        if (sent < 2 && run.out.find("check H8 Power") != std::string::npos) {
            ++sent;
            ::kill(pid, SIGINT);
            ::usleep(50'000);
        }
    };
    const CliRun run = child.run();
    EXPECT_EQ(run.status, 130) << run.out << run.err;
    EXPECT_NE(run.err.find("interrupted"), std::string::npos);
    EXPECT_EQ(run.out.find("(Failure)"), std::string::npos) << "no write report after the end";
}

}  // namespace
}  // namespace quill::testing
