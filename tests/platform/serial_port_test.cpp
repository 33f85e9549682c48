#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/qt/qt_serial_port.h"
#include "support/qt_wait.h"

namespace quill {
namespace {

using testing::runUntil;

// Lets the event loop run for a moment: whatever was queued is delivered.
void settle() {
    bool done = false;
    QTimer pause;
    pause.setSingleShot(true);
    QObject::connect(&pause, &QTimer::timeout, [&] { done = true; });
    pause.start(1);
    ASSERT_TRUE(runUntil([&] { return done; }));
}

// Sets an environment variable for the length of a test.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(HostPortName, PortOneIsTheConfiguredDeviceOrTheFirstPort) {
    EXPECT_EQ(hostPortName(1, "/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(hostPortName(1, "COM3"), "COM3");
    EXPECT_EQ(hostPortName(1, nullptr), "/dev/ttyS0");
    EXPECT_EQ(hostPortName(1, ""), "/dev/ttyS0");
    // The variable names port 1 only.
    EXPECT_EQ(hostPortName(2, "/dev/ttyUSB0"), "/dev/ttyS1");
    EXPECT_EQ(hostPortName(0, "/dev/ttyUSB0"), "");
}

TEST(QtSerialPort, SelectingPortOneReadsTheEnvironment) {
    QtSerialPort port;
    {
        ScopedEnv env("QUILLMONT_PORT", "/dev/ttyACM7");
        port.selectPort(1);
        EXPECT_EQ(port.portName(), "/dev/ttyACM7");
    }
    ::unsetenv("QUILLMONT_PORT");
    port.selectPort(1);
    EXPECT_EQ(port.portName(), "/dev/ttyS0");
}

TEST(QtSerialPort, TakesSettingsTextsAndRefusesOthersWithAReason) {
    QtSerialPort port;
    EXPECT_TRUE(port.setSettings("19200,E,7,2"));
    EXPECT_EQ(port.settings(), "19200,E,7,2");
    for (const char* bad : {"", "38400", "38400,N,9,1", "38400,X,8,1", "fast,N,8,1", "38400,N,8,3",
                            "0,N,8,1", "38400,N,8,1,1"}) {
        EXPECT_FALSE(port.setSettings(bad)) << bad;
        EXPECT_NE(port.errorString().find(std::string("\"") + bad + "\""), std::string::npos)
            << port.errorString();
        EXPECT_EQ(port.settings(), "19200,E,7,2") << "a refused text leaves the settings";
    }
}

TEST(QtSerialPort, AMissingDeviceFailsToOpenWithTheSystemsReason) {
    ScopedEnv env("QUILLMONT_PORT", "/dev/quillmont-no-such-port");
    QtSerialPort port;
    std::vector<CommEvent> events;
    port.setEventHandler([&](CommEvent kind) { events.push_back(kind); });
    port.selectPort(1);
    port.setDtr(true);
    port.setRts(true);
    EXPECT_TRUE(port.setSettings("38400,N,8,1"));
    EXPECT_FALSE(port.open());
    EXPECT_FALSE(port.isOpen());
    EXPECT_NE(port.errorString().find("No such file"), std::string::npos) << port.errorString();
    // Everything else goes on quietly on the closed port.
    port.write(uint8_t('x'));
    EXPECT_TRUE(port.readAll().empty());
    EXPECT_FALSE(port.cts());
    EXPECT_TRUE(port.dtr());
    port.setBreak(true);
    port.poll();
    port.close();
    settle();
    EXPECT_TRUE(events.empty());
}

// A pseudo-terminal stands in for the device: the port opens its far side.
class PtyPort : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[256] = {};
        ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        env_.emplace("QUILLMONT_PORT", name);
        port.setEventHandler([this](CommEvent kind) { events.push_back(kind); });
        port.selectPort(1);
        port.setSettings("38400,N,8,1");
        ASSERT_TRUE(port.open()) << port.errorString();
    }
    void TearDown() override {
        port.close();
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    int count(CommEvent kind) const { return int(std::count(events.begin(), events.end(), kind)); }
    std::string readMaster() {
        std::string got;
        char buffer[256];
        ssize_t n;
        while ((n = ::read(master_, buffer, sizeof buffer)) > 0) got.append(buffer, size_t(n));
        return got;
    }

    int master_ = -1;
    int slave_ = -1;
    std::optional<ScopedEnv> env_;
    QtSerialPort port;
    std::vector<CommEvent> events;
};

TEST_F(PtyPort, ReceivedBytesArriveAsDataReceived) {
    const std::string sent = "H8>\r\x00\xff";
    ASSERT_EQ(::write(master_, sent.data(), sent.size()), ssize_t(sent.size()));
    std::vector<uint8_t> got;
    ASSERT_TRUE(runUntil([&] {
        if (count(CommEvent::DataReceived) > 0) {
            auto more = port.readAll();
            got.insert(got.end(), more.begin(), more.end());
            events.clear();
        }
        return got.size() >= sent.size();
    }));
    EXPECT_EQ(std::string(got.begin(), got.end()), sent);
    EXPECT_TRUE(port.readAll().empty());
}

TEST_F(PtyPort, WrittenBytesLeaveInOrderAndSettingsChangeWhileOpen) {
    const std::vector<uint8_t> bytes = {0x55, 0x00, 0x0D, 0xAA};
    port.write(bytes);
    EXPECT_TRUE(port.setSettings("9600,N,8,2")) << port.errorString();
    EXPECT_EQ(port.settings(), "9600,N,8,2");
    EXPECT_TRUE(port.isOpen());
    std::string got;
    ASSERT_TRUE(runUntil([&] {
        got += readMaster();
        return got.size() >= bytes.size();
    }));
    EXPECT_EQ(got, std::string("\x55\x00\x0D\xAA", 4));
}

TEST_F(PtyPort, SettingsTheDeviceRefusesAreReportedAndTheOldOnesStay) {
    // A pseudo-terminal always runs 8 data bits without parity, as some adapters do.
    EXPECT_FALSE(port.setSettings("38400,E,7,1"));
    EXPECT_NE(port.errorString().find("38400,E,7,1"), std::string::npos);
    EXPECT_EQ(port.settings(), "38400,N,8,1");
    EXPECT_TRUE(port.isOpen());
    EXPECT_TRUE(port.setSettings("19200,N,8,1")) << port.errorString();
    settle();
    EXPECT_TRUE(events.empty()) << "a refusal is a result, not a line event";
}

TEST_F(PtyPort, ADriverWithoutErrorCountersOrPinsRaisesNothing) {
    for (int i = 0; i < 5; ++i) port.poll();
    settle();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(port.isOpen());
}

TEST_F(PtyPort, ALostDeviceIsOneOtherErrorAndLaterWritesGoNowhere) {
    // The far side going away is what a pulled-out USB adapter looks like to the driver: the
    // next read fails.
    ::close(master_);
    master_ = -1;
    ASSERT_TRUE(runUntil([&] { return count(CommEvent::OtherError) > 0; }));
    port.write(uint8_t('x'));
    port.poll();
    for (int i = 0; i < 3; ++i) settle();
    EXPECT_EQ(count(CommEvent::OtherError), 1);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.failed());
    EXPECT_FALSE(port.errorString().empty());
}

}  // namespace
}  // namespace quill
