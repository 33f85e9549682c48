// Network serial ports across real sockets, against programs we did not write: the built
// quillmont-cli and quillmont-board, pyserial's RFC 2217 client, ser2net serving a socat
// pseudo-terminal. Every case starts its own processes on free ports and kills what is left
// when it ends; every wait is bounded.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <thread>

#include "apps/child_process.h"
#include "platform/net/rfc2217.h"
#include "platform/qt/rfc2217_port.h"
#include "support/program_files.h"
#include "support/qt_wait.h"

namespace quill::testing {
namespace {

const std::string kExamples = std::string(QUILLMONT_SOURCE_DIR) + "/examples/";

// The boards run the stand-in kernel: these cases prove the cable, not the chip, and two
// emulated chips in real time side by side would be at the mercy of a busy host. The port
// the environment names is one that every command line beats.
const std::vector<std::string> kModelKernel = {"QUILLMONT_SIM=kernel=model",
                                               "QUILLMONT_PORT=/dev/quillmont-no-such-port"};

// A board server on a port of the system's choice; its address as the client names it.
struct Server : Child {
    explicit Server(std::vector<std::string> args, const std::string& listen = "127.0.0.1:0")
        : Child((args.insert(args.begin(), {QUILLMONT_BOARD, "--listen", listen}), args),
                kModelKernel) {
        waitForOutput("\n", 10'000);
        const size_t at = out.find("rfc2217://");
        if (at != std::string::npos) address = out.substr(at, out.find('\n', at) - at);
    }
    std::string address;
};

// The command-line writer with the example boot program.
const std::string kBoot = kExamples + "boot.mot";
struct Cli : Child {
    Cli(const std::string& port, const std::string& user)
        : Child({QUILLMONT_CLI, "--port", port, kBoot, user}, kModelKernel) {}
};

// A port nobody listens on: the system hands out a free one, which is given back at once.
uint16_t freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Two writes in real time on a busy machine may need a different number of H'00 tries before
// the board answers; the try count is fixed by the virtual-time writes, so it is set aside here.
std::string withoutMatchTries(const std::string& transcript) {
    static const std::regex tries(R"(set COM Speed \.\.\. \[ *\d+ \] )");
    return std::regex_replace(transcript, tries, "set COM Speed ... [ n ] ");
}

TEST(Network, TheFullExampleThroughTheBoardServerMatchesTheInProcessWrite) {
    ScratchFolder scratch;
    const std::string dump = scratch.path("flash.bin"), localDump = scratch.path("local.bin");
    const std::string user = scratch.path("user program.mot");
    std::filesystem::copy_file(kExamples + "full.mot", user);
    // Each write in real time has the machine to itself: the in-process one first, as the
    // reference transcript. (H'FF, Telnet's IAC, is in both directions: in the echoed boot
    // program and in the image's block records.)
    Child local({QUILLMONT_CLI, "--port", "sim", "--dump-flash", localDump, kBoot, user},
                kModelKernel);
    ASSERT_EQ(local.finish(90'000), 0) << local.err;
    EXPECT_EQ(local.err, "") << "no progress and no message when standard error is no terminal";
    EXPECT_EQ(local.out.find('\r'), std::string::npos) << "each CR LF becomes one newline";
    EXPECT_TRUE(local.out.starts_with("Boot Program [ " + kBoot + " ] ... exist\nUser Program [ " +
                                      user + " ] ... exist\n"))
        << local.out;
    EXPECT_TRUE(local.out.ends_with("\nsend Image(User Program) to H8 ...  OK\n"
                                    "Flash write end ! (Success)\n"));
    EXPECT_TRUE(fileText(localDump) == fileText(kExamples + "full.bin")) << "the flash differs";
    Server board({"--once", "--dump-flash", dump});
    ASSERT_FALSE(board.address.empty()) << board.err;
    Cli remote(board.address, user);
    ASSERT_EQ(remote.finish(90'000), 0) << remote.out << remote.err;
    EXPECT_EQ(withoutMatchTries(remote.out), withoutMatchTries(local.out));
    EXPECT_EQ(remote.err, "");
    ASSERT_EQ(board.finish(5000), 0) << board.err;
    EXPECT_TRUE(fileText(dump) == fileText(kExamples + "full.bin")) << "the flash differs";
}

TEST(Network, PyserialDrivesTheBoardIntoBootModeAndMatchesTheBitRate) {
    if (Child({"/usr/bin/python3", "-c", "import serial"}).finish(10'000) != 0)
        GTEST_SKIP() << "Debian's /usr/bin/python3 with python3-serial is not installed";
    Server board({"--once"});
    ASSERT_FALSE(board.address.empty());
    Child python({"/usr/bin/python3", "-c", R"(
import sys, time, serial
s = serial.serial_for_url(sys.argv[1], baudrate=19200, timeout=0.5, do_not_open=True)
s.dtr = False; s.rts = False
s.open()
time.sleep(0.1); s.dtr = True; time.sleep(0.2)
cts = s.cts
for i in range(21):
    s.write(b"\x00")
    answer = s.read(1)
    if answer: break
s.write(b"\x55"); s.timeout = 5
print("cts=%d match=%s erase=%s" % (cts, answer.hex(), s.read(1).hex()))
)",
                  board.address});
    ASSERT_EQ(python.finish(30'000), 0) << python.err;
    EXPECT_EQ(python.out, "cts=1 match=00 erase=aa\n") << python.err;
}

// ser2net has no board behind it: one end of a socat pseudo-terminal pair, the test at the
// other. A pseudo-terminal has no modem lines, so CTS reads off and no line change is ever
// confirmed.
TEST(Network, Ser2netCarriesEveryByteValueAndAWriteEndsWithThePowerCode) {
    if (QStandardPaths::findExecutable("ser2net").isEmpty() ||
        QStandardPaths::findExecutable("socat").isEmpty())
        GTEST_SKIP() << "ser2net and socat are not installed (scripts/setup installs them)";
    ScratchFolder scratch;
    const std::string device = scratch.path("dev"), far = scratch.path("far");
    Child socat({"socat", "pty,raw,echo=0,link=" + device, "pty,raw,echo=0,link=" + far});
    for (int i = 0; i < 100 && !std::filesystem::exists(far); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const uint16_t tcp = freePort();
    const std::string config = scratch.write(
        "ser2net.yaml", "connection: &board\n  accepter: telnet(rfc2217),tcp,127.0.0.1," +
                            std::to_string(tcp) + "\n  connector: serialdev," + device +
                            ",19200n81,local\n");
    Child ser2net({"ser2net", "-n", "-d", "-c", config, "-P", scratch.path("pid")});
    const std::string name = "rfc2217://127.0.0.1:" + std::to_string(tcp);
    for (int i = 0; i < 100; ++i) {
        QTcpSocket probe;
        probe.connectToHost("127.0.0.1", tcp);
        if (probe.waitForConnected(100)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    const int farFd = ::open(far.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(farFd, 0);
    {
        Rfc2217Port port(name);
        port.setSettings("19200,N,8,1");
        ASSERT_TRUE(port.open()) << port.errorString();
        std::vector<uint8_t> all(256), got;
        for (int i = 0; i < 256; ++i) all[size_t(i)] = uint8_t(255 - i);
        port.write(all);
        // The port flushes each write to the socket: no event loop is needed to send.
        for (int i = 0; i < 100 && got.size() < all.size(); ++i) {
            pollfd ready{farFd, POLLIN, 0};
            uint8_t buffer[512];
            if (::poll(&ready, 1, 50) <= 0) continue;
            const ssize_t n = ::read(farFd, buffer, sizeof buffer);
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
        }
        EXPECT_EQ(got, all);

        const std::vector<uint8_t> back = {0xFF, 0x00, 0xFF, 0xFF, 0x0D, 0xF0};
        ASSERT_EQ(::write(farFd, back.data(), back.size()), ssize_t(back.size()));
        got.clear();
        ASSERT_TRUE(runUntil([&] {
            const auto bytes = port.readAll();
            got.insert(got.end(), bytes.begin(), bytes.end());
            return got.size() >= back.size();
        }));
        EXPECT_EQ(got, back);
    }
    ::close(farFd);

    Cli write(name, kExamples + "small.mot");
    EXPECT_EQ(write.finish(10'000), 21) << write.out << write.err;
    EXPECT_NE(write.out.find("H8 Power is OFF"), std::string::npos) << write.out;
    // The unconfirmed line change is said once, not again at each line change after it.
    const size_t said = write.err.find("did not confirm the line change");
    EXPECT_NE(said, std::string::npos) << write.err;
    EXPECT_EQ(write.err.find("did not confirm", said + 1), std::string::npos) << write.err;
}

// The board takes one client at a time; a lost one is tried again until the board is back.
TEST(Network, ALostConnectionIsMadeAgainWithTheLineAsItWas) {
    const std::string listen = "127.0.0.1:" + std::to_string(freePort());
    auto board = std::make_unique<Server>(std::vector<std::string>{"--verbose"}, listen);
    ASSERT_EQ(board->address, "rfc2217://" + listen);
    Rfc2217Port port(board->address);
    std::vector<CommEvent> events;
    port.setEventHandler([&](CommEvent kind) { events.push_back(kind); });
    port.setSettings("9600,N,8,1");
    port.setRts(false);
    ASSERT_TRUE(port.open()) << port.errorString();
    port.setDtr(true);
    ASSERT_TRUE(runUntil([&] { return port.cts(); }));
    Cli second(board->address, kExamples + "small.mot");
    EXPECT_EQ(second.finish(20'000), 21);
    EXPECT_NE(second.err.find("the board is busy"), std::string::npos) << second.err;
    board.reset();
    ASSERT_TRUE(runUntil([&] { return port.lost(); }));
    EXPECT_FALSE(port.isOpen());
    EXPECT_NE(port.errorString().find(" was lost"), std::string::npos) << port.errorString();

    board = std::make_unique<Server>(std::vector<std::string>{"--verbose"}, listen);
    ASSERT_TRUE(runUntil([&] { return port.isOpen() && port.cts(); }));
    EXPECT_EQ(std::count(events.begin(), events.end(), CommEvent::PortLost), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), CommEvent::PortBack), 1);
    // DTR on with RTS off, put back: the board leaves reset in boot mode.
    EXPECT_TRUE(board->waitForOutput("boot mode", 5000)) << board->out;
}

// H'FF in a command's value is doubled as in data. Among our own programs nothing shows it
// (the all-ones modem-state mask is lost, the next command still counts), but a server that
// waits for the next IAC SE would take the commands after it for the value.
TEST(Network, AnHFFInACommandsValueIsDoubled) {
    const rfc2217::Session client(rfc2217::Session::Role::Client);
    EXPECT_EQ(client.message(rfc2217::kSetModemStateMask, rfc2217::kAllModemLines),
              (std::vector<uint8_t>{0xFF, 0xFA, 44, 11, 0xFF, 0xFF, 0xFF, 0xF0}));
}

}  // namespace
}  // namespace quill::testing
