#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/qt/low_latency.h"
#include "platform/qt/qt_serial_port.h"
#include "support/qt_wait.h"

namespace quill {
namespace {

using testing::runUntil;

// Port 1 is the device the environment names; the port opens whatever port 1 is.
void selectDevice(QtSerialPort& port, const char* device) {
    ::setenv("QUILLMONT_PORT", device, 1);
    port.selectPort(1);
    ::unsetenv("QUILLMONT_PORT");
}

// The port asks for low-latency mode when it opens and puts back what it found when it
// closes. Drivers of the test's own play over a pseudo-terminal; the system's own refuses
// (the pseudo-terminal case below).
TEST(QtSerialPort, OpensInLowLatencyModeWhereTheDriverHasItAndPutsItBackOnClose) {
    constexpr int kOther = 0x40, kLow = ASYNC_LOW_LATENCY;  // kOther must be left alone
    struct Case {
        const char* driver;
        int flags;                 // at the open
        bool refusesSet;           // a driver without the mode: the mode is not active
        std::vector<int> written;  // the flags set at the open, then at the close
    };
    const Case cases[] = {{"grants", kOther, false, {kOther | kLow, kOther}},
                          {"already on", kOther | kLow, false, {}},
                          {"refuses", kOther, true, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.driver);
        int master = -1, slave = -1;
        char name[256] = {};
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        int flags = c.flags;
        std::vector<int> written;
        QtSerialPort port([&](int, unsigned long request, void* argument) {
            auto* serial = static_cast<serial_struct*>(argument);
            if (request == TIOCGSERIAL) serial->flags = flags;
            if (request == TIOCSSERIAL && !c.refusesSet) written.push_back(flags = serial->flags);
            return request == TIOCSSERIAL && c.refusesSet ? -1 : 0;
        });
        selectDevice(port, name);
        ASSERT_TRUE(port.open()) << port.errorString();
        EXPECT_EQ(port.lowLatency(), !c.refusesSet);
        port.close();
        EXPECT_FALSE(port.lowLatency());
        EXPECT_EQ(written, c.written);
        ::close(master);
        ::close(slave);
    }
}

// Closed, then on a pseudo-terminal that stands in for the device, reached through a link as
// udev's /dev/serial/by-id names are; the test closing its end is what a pulled-out USB adapter
// looks like to the driver, and a new one behind the same link is the adapter plugged in again.
TEST(QtSerialPort, ClosedOrOnAPseudoTerminalThatGoesAwayAndComesBack) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    char folder[] = "/tmp/quillmont-pty-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string link = std::string(folder) + "/adapter";
    ASSERT_EQ(::symlink(name, link.c_str()), 0);
    QtSerialPort port;
    std::vector<CommEvent> events;
    port.setEventHandler([&](CommEvent kind) { events.push_back(kind); });
    const auto count = [&](CommEvent kind) {
        return std::count(events.begin(), events.end(), kind);
    };
    const auto receive = [&](int from, const std::string& sent) {
        EXPECT_EQ(::write(from, sent.data(), sent.size()), ssize_t(sent.size()));
        std::string got;
        EXPECT_TRUE(runUntil([&] {
            for (uint8_t b : port.readAll()) got.push_back(char(b));
            return got.size() >= sent.size();
        }));
        EXPECT_EQ(got, sent);
    };
    // Closed, it refuses unreadable settings with the reason. The program goes on driving the
    // closed port: none of that may fail or raise events, queued ones included. (A missing device
    // is the command-line process test's.)
    EXPECT_TRUE(port.setSettings("19200,E,7,2"));
    for (const char* bad : {"", "38400", "38400,N,9,1", "38400,X,8,1", "fast,N,8,1", "38400,N,8,3",
                            "0,N,8,1", "38400,N,8,1,1"}) {
        EXPECT_FALSE(port.setSettings(bad)) << bad;
        EXPECT_NE(port.errorString().find(std::string("\"") + bad + "\""), std::string::npos)
            << port.errorString();
        EXPECT_EQ(port.settings(), "19200,E,7,2") << bad;
    }
    port.write(uint8_t('x'));
    port.setBreak(true);
    port.poll();
    QTest::qWait(5);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(port.isOpen());

    selectDevice(port, link.c_str());
    port.setSettings("38400,N,8,1");
    ASSERT_TRUE(port.open()) << port.errorString();
    EXPECT_FALSE(port.lowLatency());

    receive(master, std::string("H8>\r\x00\xff", 6));
    EXPECT_GT(count(CommEvent::DataReceived), 0);

    port.write(std::vector<uint8_t>{0x55, 0x00, 0x0D, 0xAA});
    // A settings change while open must not drop what is still queued.
    EXPECT_TRUE(port.setSettings("9600,N,8,2")) << port.errorString();
    std::string got;
    ASSERT_TRUE(runUntil([&] {
        char buffer[64];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) got.append(buffer, n);
        return got.size() >= 4;
    }));
    EXPECT_EQ(got, std::string("\x55\x00\x0D\xAA", 4));

    // A pseudo-terminal always runs 8 data bits without parity, as some adapters do.
    events.clear();
    EXPECT_FALSE(port.setSettings("38400,E,7,1"));
    EXPECT_NE(port.errorString().find("38400,E,7,1"), std::string::npos);
    EXPECT_EQ(port.settings(), "9600,N,8,2");
    // Neither a refusal nor a driver without error counters or pins is a line event.
    for (int i = 0; i < 5; ++i) port.poll();
    QTest::qWait(5);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(port.isOpen());

    ::close(master);
    ::close(slave);
    ASSERT_TRUE(runUntil([&] { return count(CommEvent::PortLost) > 0; }));
    port.write(uint8_t('x'));
    port.poll();
    QTest::qWait(15);
    EXPECT_EQ(count(CommEvent::PortLost), 1);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.lost());
    EXPECT_FALSE(port.errorString().empty());

    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ASSERT_EQ(::unlink(link.c_str()), 0);
    ASSERT_EQ(::symlink(name, link.c_str()), 0);
    ASSERT_TRUE(runUntil([&] { return count(CommEvent::PortBack) > 0; }, 3 * kReopenIntervalMs));
    EXPECT_EQ(count(CommEvent::PortBack), 1);
    EXPECT_TRUE(port.isOpen());
    EXPECT_FALSE(port.lost());
    termios line{};
    ASSERT_EQ(::tcgetattr(master, &line), 0);
    EXPECT_EQ(::cfgetospeed(&line), speed_t(B9600));
    EXPECT_TRUE(line.c_cflag & CSTOPB);
    receive(master, "back");

    // A close ends the trying: a port the program closed stays closed.
    ::close(master);
    ASSERT_TRUE(runUntil([&] { return count(CommEvent::PortLost) > 1; }));
    port.close();
    EXPECT_FALSE(port.lost());
    ::close(slave);
    ::unlink(link.c_str());
    ::rmdir(folder);
}

}  // namespace
}  // namespace quill
