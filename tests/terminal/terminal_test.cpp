#include "terminal/display_text.h"

#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <vector>

#include "platform/characters.h"
#include "support/virtual_desk.h"

namespace quill {
namespace {

// Well-formed UTF-8 is one character; any byte that starts none is one character of its own.
TEST(Characters, CountsUtf8CharactersAndEveryOtherByteAsOne) {
    const std::pair<std::string, size_t> rows[] = {
        {"caf\xC3\xA9", 4},
        {"\xE2\x82\xAC\xF0\x9F\x98\x80", 2},
        {"\xC3", 1},
        {"\xE9t\xE9", 3},                     // Latin-1 bytes
        {"\xC0\xAF\xE0\x80\xAF", 5},          // overlong forms
        {"\xED\xA0\x80\xF4\x90\x80\x80", 7},  // a surrogate, a code beyond U+10FFFF
        {"\xE2\x82", 2},
        {"\x80\xBF", 2},
    };
    for (const auto& [text, count] : rows) EXPECT_EQ(characterCount(text), count) << text;
    EXPECT_EQ(characterOffset(std::string("a\xC3\xA9") + "b", 2), 3u);
    EXPECT_EQ(latin1ToUtf8("a\xE9\xFF\x7F"), "a\xC3\xA9\xC3\xBF\x7F");
}

// `count` characters of `unit`, with a CR LF whose CR stands at each of `crs` (from 1).
std::string consoleOf(size_t count, const std::string& unit, std::vector<size_t> crs = {}) {
    std::vector<std::string> characters(count, unit);
    for (size_t cr : crs) {
        characters[cr - 1] = "\r";
        characters[cr] = "\n";
    }
    return std::accumulate(characters.begin(), characters.end(), std::string());
}

// Positions and the limit count characters, and the cut never splits one.
TEST(ShortenedConsole, CutsAtTheFirstLineEndFromPosition80ToTheLimit) {
    const std::string e = "\xC3\xA9";  // é
    struct Row {
        std::string text;
        std::optional<size_t> keptCharacters;  // nullopt: no cut
        size_t cutAt;                          // the kept text's first position; 0: its end
    } rows[] = {
        {consoleOf(16390, "x", {50, 100}), 16291, 100},
        {consoleOf(16390, "x", {78, 80}), 16311, 80},  // 78 is too early, 80 is not
        {consoleOf(16390, e, {78, 80}), 16311, 80},
        {consoleOf(40000, "y", {90}), kConsoleLimit, 90},  // the newest characters go
        {consoleOf(20000, "a", {11}), kConsoleLimit, 0},   // no line end late enough
        {consoleOf(20000, e), kConsoleLimit, 0},
        {consoleOf(kConsoleLimit, "a"), std::nullopt, 0},
        {consoleOf(kConsoleLimit, e), std::nullopt, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 120));
        const auto kept = shortenedConsole(row.text);
        ASSERT_EQ(kept.has_value(), row.keptCharacters.has_value());
        if (!kept) continue;
        EXPECT_EQ(characterCount(*kept), *row.keptCharacters);
        EXPECT_NE(kept->front() & 0xC0, 0x80);  // no continuation byte cut off its lead
        if (row.cutAt) {
            EXPECT_EQ(*kept,
                      row.text.substr(characterOffset(row.text, row.cutAt - 1), kept->size()));
        } else {
            EXPECT_TRUE(row.text.ends_with(*kept));
        }
    }
}

class Receive : public ::testing::Test {
  protected:
    void SetUp() override { desk.start(); }
    void arrive(const std::vector<uint8_t>& bytes) {
        desk.port.sendBurstToHost(bytes, {38400, 'N', 8, 1});
        desk.clock.runFor(200 * kNsPerMs);
    }
    testing::VirtualDesk desk;
};

// Printable bytes as themselves, a carriage return as a line end, the rest as dots; in write
// mode the 256th character ends the wait, and the buffer never overflows.
TEST_F(Receive, TheTerminalShowsTheBytesAndThe256thCharacterEndsAWait) {
    arrive({'O', 'K', 13, 10, 0, 7, 31, 32, 126, 127, 128, 255});
    EXPECT_EQ(desk.status.text(), "OK\r\n.... ~...");
    arrive({'>'});
    EXPECT_EQ(desk.status.text(), "OK\r\n.... ~...>");
    EXPECT_TRUE(desk.form->promptSeen);
    EXPECT_EQ(desk.form->receiveCount, 0);
    EXPECT_EQ(desk.form->receiveText, "");
    desk.form->setWriteMode();
    desk.form->abortFlag = false;
    desk.timer3.setInterval(30000);
    desk.timer3.setEnabled(true);
    arrive(std::vector<uint8_t>(255, 'x'));
    EXPECT_FALSE(desk.form->abortFlag);
    arrive({'x'});
    EXPECT_EQ(desk.form->errorCode, 82);
    EXPECT_TRUE(desk.form->abortFlag);
    EXPECT_FALSE(desk.timer3.enabled());
    arrive(std::vector<uint8_t>(44, 'x'));
    EXPECT_EQ(desk.form->receiveCount, 256);
    EXPECT_EQ(desk.form->receiveText.size(), 300u);
}

// A line error, in both modes, beeps (in terminal mode the only sign), drops what waits and
// ends the wait; the other signal changes do nothing.
TEST_F(Receive, ALineErrorBeepsDropsWhatWaitsAndEndsTheWait) {
    using enum CommEvent;
    int n = 0;
    for (CommEvent kind : {FramingError, Overrun, ParityError, BreakReceived, ReceiveBufferOverflow,
                           TransmitBufferFull, OtherError, PortLost, DsrChanged, Ring,
                           CarrierDetectChanged, EndOfFileChar}) {
        SCOPED_TRACE(commEventName(kind));
        const bool error = n < 8;
        if (++n % 2) {
            desk.form->setWriteMode();
        } else {
            desk.form->setTerminalMode();
        }
        arrive({1, 2, 3});
        desk.form->abortFlag = false;
        desk.form->errorCode = 0;
        const int beeps = desk.beeper.beeps;
        const size_t waiting = desk.form->receiveText.size();
        const std::string shown = desk.status.text();
        desk.port.injectEvent(kind);
        desk.clock.runFor(kNsPerMs);
        EXPECT_EQ(desk.beeper.beeps, beeps + error);
        EXPECT_EQ(desk.form->errorCode, error ? 83 : 0);
        EXPECT_EQ(desk.form->abortFlag, error);
        EXPECT_EQ(desk.form->receiveCount, error ? 0 : int(waiting));
        EXPECT_EQ(desk.form->receiveText.size(), error ? 0 : waiting);
        EXPECT_TRUE(error || desk.status.text() == shown) << desk.status.text();
    }
}

}  // namespace
}  // namespace quill
