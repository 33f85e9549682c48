// The built quillmont-cli as a child process on the virtual board: exit statuses, what goes to
// standard output and to standard error, the flash dump, Ctrl-C.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "apps/child_process.h"
#include "support/program_files.h"

namespace quill::testing {
namespace {

std::vector<std::string> cli(std::vector<std::string> args) {
    args.insert(args.begin(), QUILLMONT_CLI);
    return args;
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
};

// Port and board options come from the environment too. On a terminal the progress is drawn
// in place and cleared for the message.
TEST_F(CliProcess, AFailureExitsWithItsCodeReportsOnStdoutAndSaysWhyOnStderr) {
    Child run(cli({"--quiet", "--sim", "erase-time=10", "--dump-flash", folder.path("flash.bin"),
                   boot, userFile}),
              {"QUILLMONT_PORT=sim", "QUILLMONT_SIM=kernel=model,block=1:Z"}, true);
    EXPECT_EQ(run.finish(20'000), 56) << run.out << run.err;
    EXPECT_EQ(
        run.out,
        "send Image(User Program) to H8 ...   ? [ 56 ] Flash write error ! (H8)\n (Failure)\n");
    EXPECT_NE(run.err.find("\rboot program 16/16 bytes 100%"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\ruser program 2/2 blocks 100% at H'80"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\r\x1b[KQuillmont: Flash write error ! (H8)"), std::string::npos)
        << run.err;
    EXPECT_EQ(fileText(folder.path("flash.bin")).size(), 32768u) << "written whatever the outcome";
}

// Both programs' usage errors end with 2 and a pointer to --help. Board options in the
// environment belong to the sim port alone: a port that will not open ends with 21.
TEST_F(CliProcess, UsageErrorsAndAPortThatWillNotOpenEndBeforeTheWrite) {
    const std::string cliName = QUILLMONT_CLI, board = QUILLMONT_BOARD;
    struct Run {
        std::vector<std::string> args;  // the program first
        int status;
        std::string why;
        std::vector<std::string> env = {};
    };
    const Run runs[] = {
        {{cliName}, 2, "expected two files"},
        {{cliName, boot, userFile, "extra"}, 2, "got 3"},
        {{cliName, "--bogus", boot, userFile}, 2, "'bogus'"},
        {{cliName, "--port"}, 2, "--port"},
        {{cliName, "--sim", "erase-time=10", boot, userFile}, 2, "needs --port sim"},
        {{cliName, "--port", "/dev/null", "--dump-flash", "x.bin", boot, userFile}, 2, "sim"},
        {{cliName, "--port", "sim", "--sim", "erase-time=abc", boot, userFile}, 2, "\"abc\""},
        {{cliName, "--port", "rfc2217://nohost", boot, userFile}, 2, "rfc2217://HOST:PORT"},
        {{board, "--sim", "no-such-option"}, 2, "no-such-option"},
        {{board, "--listen", "127.0.0.1"}, 2, ":PORT is missing"},
        {{board, "--listen", "127.0.0.1:99999"}, 2, "from 1 to 65535"},
        {{board, "stray"}, 2, "stray"},
        {{cliName, boot, userFile},
         21,
         "cannot open the serial port /dev/quillmont-no-such-port: No such",
         {"QUILLMONT_PORT=/dev/quillmont-no-such-port", "QUILLMONT_SIM=x"}},
        // Nothing listens on port 1 (TCP port multiplexing, long out of use).
        {{cliName, "--port", "rfc2217://127.0.0.1:1", boot, userFile},
         21,
         "serial port rfc2217://127.0.0.1:1: cannot connect to 127.0.0.1:1: Connection refused"},
    };
    for (const Run& r : runs) {
        Child run(r.args, r.env);
        const std::string program = r.args[0].substr(r.args[0].rfind('/') + 1);
        EXPECT_EQ(run.finish(20'000), r.status) << ::testing::PrintToString(r.args);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with(program + ": ")) << run.err;
        EXPECT_NE(run.err.find(r.why), std::string::npos) << run.err;
        EXPECT_EQ(run.err.ends_with("Try '" + program + " --help'.\n"), r.status == 2);
    }
    Child ports(cli({"--list-ports"}));
    EXPECT_EQ(ports.finish(20'000), 0);
    EXPECT_NE(ports.out.find("sim\t"), std::string::npos) << ports.out;
}

// A device file this user may not open, as a serial device of the group dialout is to a user
// outside it: the owner's own bits decide for the owner, none, while the group may. As root the
// program runs as nobody, whom root cannot lend the group.
TEST_F(CliProcess, APortThisUserMayNotOpenSaysWhichGroupToJoin) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_EQ(::chmod(name, 0060), 0);
    struct stat info {};
    ASSERT_EQ(::stat(name, &info), 0);
    const std::string groupName = ::getgrgid(info.st_gid)->gr_name;
    std::vector<std::string> command = cli({"--port", name, boot, userFile});
    if (::geteuid() == 0)
        command.insert(command.begin(),
                       {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    Child run(command);
    const int status = run.finish(20'000);
    ::close(slave);
    ::close(master);
    EXPECT_EQ(status, 21) << run.out;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "quillmont-cli: cannot open the serial port " + std::string(name) +
                           ": Permission denied\nquillmont-cli: nothing was written (the write "
                           "would end with code 21, H8 Power is OFF)\nquillmont-cli: Only members "
                           "of the group " + groupName + " may open " + name + ". Join it (sudo "
                           "usermod -a -G " + groupName +
                           " $USER), then log out and log in again.\n");
}

// The first signal's stop is held for the first response wait, the erase's on a slow board,
// and ends the write with 99; a match-silent board never opens one, so there the second signal
// meets the program still waiting and ends it.
TEST_F(CliProcess, TheFirstCtrlCStopsTheWriteAndASecondEndsAtOnce) {
    Child slow(cli({"--port", "sim", "--sim", "kernel=model,erase-time=20000", boot, userFile}));
    ASSERT_TRUE(slow.waitForOutput("check H8 Power", 20'000)) << slow.out << slow.err;
    slow.signal(SIGINT);
    EXPECT_EQ(slow.finish(20'000), 99) << slow.out << slow.err;
    // In real time the match may take one try more: the try counts are the virtual writes'.
    EXPECT_TRUE(slow.out.ends_with("] 19200 OK\n"
                                   "erace Flash-ROM ...  ? [ 99 ] Stop by Key !\n (Failure)\n"))
        << slow.out;
    EXPECT_TRUE(slow.err.ends_with("Quillmont: Stop by Key !\n")) << slow.err;

    Child silent(cli(onSim({"--sim", "match-silent"})));
    ASSERT_TRUE(silent.waitForOutput("check H8 Power", 20'000)) << silent.out << silent.err;
    silent.signal(SIGINT);
    const auto stopping = [&] { return silent.err.find("stopping the write") != silent.err.npos; };
    ASSERT_TRUE(silent.readUntil(stopping, 20'000)) << silent.err;
    silent.signal(SIGINT);
    EXPECT_EQ(silent.finish(20'000), 130) << silent.out << silent.err;
    EXPECT_NE(silent.err.find("interrupted"), std::string::npos) << silent.err;
    EXPECT_EQ(silent.out.find("(Failure)"), std::string::npos) << "no report after the end";
}

}  // namespace
}  // namespace quill::testing
