// The built quillmont-cli as a child process on the virtual board: exit statuses, what goes to
// standard output and to standard error, the flash dump, Ctrl-C.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "apps/child_process.h"
#include "support/program_files.h"

namespace quill::testing {
namespace {

struct CliRun {
    int status = -1;  // 128 + n after signal n
    std::string out, err;
};

// `runAs` comes before the program: a command that runs it as another user.
CliRun runCli(std::vector<std::string> args, std::vector<std::string> env = {},
              bool errOnTerminal = false, const std::vector<std::string>& runAs = {}) {
    args.insert(args.begin(), QUILLMONT_CLI);
    args.insert(args.begin(), runAs.begin(), runAs.end());
    Child child(args, std::move(env), errOnTerminal);
    const int status = child.finish(20'000);
    return {status, child.out, child.err};
}

class CliProcess : public ::testing::Test {
  protected:
    ScratchFolder folder;
    const std::vector<uint8_t> user = patternBytes(200, 7);
    const std::string boot = folder.write("boot.mot", sRecords(0xF780, patternBytes(16, 3)));
    const std::string userFile = folder.write("user.hex", intelHex(0x0000, user));

    // A board fast enough that a whole write takes about a second, most of it the host's own
    // fixed delays; its stand-in kernel takes the made-up boot program.
    std::vector<std::string> onSim(std::vector<std::string> options) const {
        options.insert(options.begin(),
                       {"--port", "sim", "--sim", "kernel=model", "--sim", "erase-time=10"});
        options.insert(options.end(), {boot, userFile});
        return options;
    }
    std::string dump() const {
        std::ifstream in(folder.path("flash.bin"), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(CliProcess, ASuccessfulWriteLogsLinesOnStdoutAloneAndDumpsTheFlash) {
    std::filesystem::create_directories(folder.path("with blank"));
    const std::string spaced = folder.path("with blank/user program.mot");
    std::ofstream(spaced) << sRecords(0x0000, user);
    auto args = onSim({"--dump-flash", folder.path("flash.bin")});
    args.back() = spaced;
    // The command line beats QUILLMONT_PORT.
    const CliRun run = runCli(args, {"QUILLMONT_PORT=/dev/quillmont-no-such-port"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "") << "no progress and no message when standard error is no terminal";
    EXPECT_EQ(run.out.find('\r'), std::string::npos) << "each CR LF becomes one newline";
    EXPECT_EQ(run.out.find("Boot Program [ " + boot + " ] ... exist\n"), 0u) << run.out;
    for (const std::string& line : {"\nUser Program [ " + spaced + " ] ... exist\n",
                                    std::string("\nread Boot Program ... [ 16 ]  OK\n")})
        EXPECT_NE(run.out.find(line), std::string::npos) << line;
    EXPECT_TRUE(
        run.out.ends_with("\nsend Image(User Program) to H8 ...  OK\n"
                          "Flash write end ! (Success)\n"));
    std::string expected(32768, '\xFF');
    std::copy(user.begin(), user.end(), expected.begin());
    EXPECT_EQ(dump(), expected);
}

// Port and board options come from the environment too. On a terminal the progress is drawn
// in place and cleared for the message.
TEST_F(CliProcess, AFailureExitsWithItsCodeReportsOnStdoutAndSaysWhyOnStderr) {
    const CliRun run = runCli({"--quiet", "--sim", "erase-time=10", "--dump-flash",
                               folder.path("flash.bin"), boot, userFile},
                              {"QUILLMONT_PORT=sim", "QUILLMONT_SIM=kernel=model,block=1:Z"}, true);
    EXPECT_EQ(run.status, 56) << run.out << run.err;
    EXPECT_EQ(
        run.out,
        "send Image(User Program) to H8 ...   ? [ 56 ] Flash write error ! (H8)\n (Failure)\n");
    EXPECT_NE(run.err.find("\rboot program 16/16 bytes 100%"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\ruser program 2/2 blocks 100% at H'80"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\r\x1b[KQuillmont: Flash write error ! (H8)"), std::string::npos)
        << run.err;
    EXPECT_EQ(dump().size(), 32768u) << "the dump is written whatever the outcome";
}

TEST_F(CliProcess, UsageErrorsAndAPortThatWillNotOpenEndBeforeTheWrite) {
    const std::vector<std::vector<std::string>> usage = {
        {},
        {boot, userFile, "extra"},
        {"--bogus", boot, userFile},
        {"--port"},
        {"--sim", "erase-time=10", boot, userFile},  // no --port sim
        {"--port", "/dev/null", "--dump-flash", "x.bin", boot, userFile},
        {"--port", "sim", "--sim", "erase-time=abc", boot, userFile},
    };
    for (const auto& args : usage) {
        const CliRun run = runCli(args);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("quillmont-cli: ")) << run.err;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
    }
    const CliRun ports = runCli({"--list-ports"});
    EXPECT_EQ(ports.status, 0);
    EXPECT_NE(ports.out.find("sim\t"), std::string::npos) << ports.out;
    // Board options in the environment belong to the sim port alone.
    const CliRun run =
        runCli({boot, userFile}, {"QUILLMONT_PORT=/dev/quillmont-no-such-port", "QUILLMONT_SIM=x"});
    EXPECT_EQ(run.status, 21);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("cannot open the serial port /dev/quillmont-no-such-port: No such"),
              std::string::npos)
        << run.err;
}

// A device file this user may not open, as a serial device of the group dialout is to a user
// outside it. As root the program runs as nobody, whom root cannot lend the group.
TEST_F(CliProcess, APortThisUserMayNotOpenSaysWhichGroupToJoin) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    std::vector<std::string> runAs;
    std::string groupName = "dialout";
    if (::geteuid() == 0) {
        const struct group* dialout = ::getgrnam("dialout");
        if (dialout == nullptr) GTEST_SKIP() << "no group dialout on this system";
        ASSERT_EQ(::chown(name, 0, dialout->gr_gid), 0);
        ASSERT_EQ(::chmod(name, 0660), 0);
        runAs = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    } else {
        // The owner's own bits decide for the owner: none, while the group may.
        ASSERT_EQ(::chmod(name, 0060), 0);
        struct stat info {};
        ASSERT_EQ(::stat(name, &info), 0);
        groupName = ::getgrgid(info.st_gid)->gr_name;
    }
    const CliRun run = runCli({"--port", name, boot, userFile}, {}, false, runAs);
    ::close(slave);
    ::close(master);
    EXPECT_EQ(run.status, 21) << run.out << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(
        run.err.find(std::string("cannot open the serial port ") + name + ": Permission denied"),
        std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("quillmont-cli: Only members of the group " + groupName + " may open " +
                           name + ". Join it (sudo usermod -a -G " + groupName +
                           " $USER), then log out and log in again.\n"),
              std::string::npos)
        << run.err;
}

// The first signal's stop is held for the first response wait, the erase's on a slow board,
// and ends the write with 99; a match-silent board never opens one, so there the second signal
// meets the program still waiting and ends it.
TEST_F(CliProcess, TheFirstCtrlCStopsTheWriteAndASecondEndsAtOnce) {
    Child slow({QUILLMONT_CLI, "--port", "sim", "--sim", "kernel=model,erase-time=20000", boot,
                userFile});
    ASSERT_TRUE(slow.waitForOutput("check H8 Power", 20'000)) << slow.out << slow.err;
    slow.signal(SIGINT);
    EXPECT_EQ(slow.finish(20'000), 99) << slow.out << slow.err;
    // In real time the match may take one try more: the try counts are the virtual writes'.
    EXPECT_TRUE(slow.out.ends_with("] 19200 OK\n"
                                   "erace Flash-ROM ...  ? [ 99 ] Stop by Key !\n (Failure)\n"))
        << slow.out;
    EXPECT_TRUE(slow.err.ends_with("Quillmont: Stop by Key !\n")) << slow.err;

    std::vector<std::string> args = onSim({"--sim", "match-silent"});
    args.insert(args.begin(), QUILLMONT_CLI);
    Child cli(args);
    ASSERT_TRUE(cli.waitForOutput("check H8 Power", 20'000)) << cli.out << cli.err;
    cli.signal(SIGINT);
    ASSERT_TRUE(cli.readUntil([&] { return cli.err.find("stopping the write") != cli.err.npos; },
                              20'000))
        << cli.err;
    cli.signal(SIGINT);
    EXPECT_EQ(cli.finish(20'000), 130) << cli.out << cli.err;
    EXPECT_NE(cli.err.find("interrupted"), std::string::npos) << cli.err;
    EXPECT_EQ(cli.out.find("(Failure)"), std::string::npos) << "no report after the end";
}

}  // namespace
}  // namespace quill::testing
