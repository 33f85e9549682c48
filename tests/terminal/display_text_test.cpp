#include "terminal/display_text.h"

#include <gtest/gtest.h>

#include <vector>

namespace quill {
namespace {

TEST(DisplayText, PrintableAsItselfCarriageReturnAsALineEndTheRestAsDots) {
    const std::vector<uint8_t> bytes = {'O', 'K', 13, 10, 0, 7, 31, 32, 126, 127, 128, 255};
    EXPECT_EQ(displayText(bytes, 13), "OK\r\n.... ~...");
}

TEST(ShortenedConsole, CutsAtTheFirstLineEndFromPosition80) {
    std::string text(16390, 'x');
    text.replace(49, 2, "\r\n");  // too early to count
    text.replace(99, 2, "\r\n");  // CR at position 100
    auto kept = shortenedConsole(text);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->size(), 16291u);
    EXPECT_EQ(kept->substr(0, 2), "\r\n");
}

TEST(ShortenedConsole, KeepsAtMostTheLimitFromThatLineEnd) {
    std::string text(40000, 'y');
    text.replace(89, 2, "\r\n");
    text.back() = 'z';
    auto kept = shortenedConsole(text);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->size(), kConsoleLimit);
    EXPECT_EQ(kept->substr(0, 2), "\r\n");
    EXPECT_EQ(kept->back(), 'y');  // the newest characters are the ones dropped
}

TEST(ShortenedConsole, WithoutALineEndKeepsTheNewestCharacters) {
    std::string text(20000, 'a');
    text.replace(10, 2, "\r\n");  // before position 80: no cut there
    text.back() = 'z';
    auto kept = shortenedConsole(text);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->size(), kConsoleLimit);
    EXPECT_EQ(kept->back(), 'z');
}

TEST(ShortenedConsole, LeavesATextWithinTheLimit) {
    EXPECT_FALSE(shortenedConsole(std::string(kConsoleLimit, 'a')));
}

}  // namespace
}  // namespace quill
