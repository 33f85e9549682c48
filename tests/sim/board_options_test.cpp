#include "sim/board_options.h"

#include <gtest/gtest.h>

#include <functional>

namespace quill::sim {
namespace {

using O = BoardOptions;

TEST(BoardOptions, DefaultsAreAHealthyTwentyMegahertzBoard) {
    auto r = parseBoardOptions("");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.options.eraseTimeMs, 1000);
    EXPECT_EQ(r.options.programTimeMs, 3);
    EXPECT_EQ(r.options.speeds, (std::vector<int>{19200, 9600}));
    EXPECT_FALSE(r.options.unpowered);
    EXPECT_EQ(r.options.erase, O::EraseAnswer::Normal);
    EXPECT_FALSE(r.options.userLine);
}

TEST(BoardOptions, EachNameSetsItsField) {
    struct Case {
        const char* text;
        std::function<bool(const O&)> holds;
    };
    const Case cases[] = {
        {"erase-time=250", [](const O& o) { return o.eraseTimeMs == 250; }},
        {"program-time=0", [](const O& o) { return o.programTimeMs == 0; }},
        {"speeds=2400", [](const O& o) { return o.speeds == std::vector<int>{2400}; }},
        {"speeds=9600,2400",
         [](const O& o) {
             return o.speeds == std::vector<int>{9600, 2400};
         }},
        {"speeds=4800,2400,chatter",
         [](const O& o) {
             return o.speeds == std::vector<int>{4800, 2400} && o.chatter;
         }},
        {"chatter,speeds=4800,1200",
         [](const O& o) {
             return o.speeds == std::vector<int>{4800, 1200} && o.chatter;
         }},
        {"match-count=1", [](const O& o) { return o.matchCount == 1; }},
        {"unpowered", [](const O& o) { return o.unpowered; }},
        {"match-silent", [](const O& o) { return o.matchSilent; }},
        {"match-byte=3f", [](const O& o) { return o.matchByte == 0x3F; }},
        {"erase=ff",
         [](const O& o) { return o.erase == O::EraseAnswer::Byte && o.eraseByte == 0xFF; }},
        {"erase=5A",
         [](const O& o) { return o.erase == O::EraseAnswer::Byte && o.eraseByte == 0x5A; }},
        {"erase=silent", [](const O& o) { return o.erase == O::EraseAnswer::Silent; }},
        {"erase=double", [](const O& o) { return o.erase == O::EraseAnswer::Double; }},
        {"length-echo=wrong", [](const O& o) { return o.lengthEcho == O::LengthEcho::Wrong; }},
        {"length-echo=short", [](const O& o) { return o.lengthEcho == O::LengthEcho::Short; }},
        {"image-echo=5:wrong,image-echo=0:silent",
         [](const O& o) {
             return o.imageEcho.at(5) == O::EchoFault::Wrong &&
                    o.imageEcho.at(0) == O::EchoFault::Silent;
         }},
        {"start=silent", [](const O& o) { return o.start == O::StartAnswer::Silent; }},
        {"start=55",
         [](const O& o) { return o.start == O::StartAnswer::Byte && o.startByte == 0x55; }},
        {"prompt=silent", [](const O& o) { return o.prompt == O::Prompt::Silent; }},
        {"prompt=late", [](const O& o) { return o.prompt == O::Prompt::Late; }},
        {"block=3:Z,block=0:>",
         [](const O& o) { return o.blockAnswer.at(3) == 'Z' && o.blockAnswer.at(0) == '>'; }},
        {"block=2::", [](const O& o) { return o.blockAnswer.at(2) == ':'; }},
        {"block-silent=7,block-silent=1",
         [](const O& o) {
             return o.blockSilent == std::set{1, 7};
         }},
        {"chatter", [](const O& o) { return o.chatter; }},
        {"line-error=erase",
         [](const O& o) { return o.lineErrorErase && o.lineErrorBlocks.empty(); }},
        {"line-error=block:4",
         [](const O& o) { return !o.lineErrorErase && o.lineErrorBlocks == std::set{4}; }},
        {"power-off=block:2", [](const O& o) { return o.powerOffBlock == 2; }},
        {"user-line=9600",
         [](const O& o) {
             return o.userLine == LineSettings{9600, 'N', 8, 1};
         }},
        {"user-line=4800:E:7:2",
         [](const O& o) {
             return o.userLine == LineSettings{4800, 'E', 7, 2};
         }},
        {"stuck=7f00:0f", [](const O& o) { return o.stuckCells.at(0x7F00) == 0x0F; }},
        {" erase-time = 5 , chatter ", [](const O& o) { return o.eraseTimeMs == 5 && o.chatter; }},
        {"erase-time=5,,erase-time=7,", [](const O& o) { return o.eraseTimeMs == 7; }},
    };
    for (const auto& c : cases) {
        auto r = parseBoardOptions(c.text);
        EXPECT_TRUE(r.ok()) << c.text << ": " << r.error;
        EXPECT_TRUE(c.holds(r.options)) << c.text;
    }
}

TEST(BoardOptions, RefusesWhatItDoesNotKnowNamingIt) {
    struct Case {
        const char* text;
        const char* named;  // must appear in the message
    };
    const Case cases[] = {
        {"erase-tme=5", "\"erase-tme\""},
        {"chatter,9600", "\"9600\""},  // a bare number continues only a speeds list
        {"speeds=9600,fast", "\"fast\""},
        {"speeds=0", "\"speeds\""},
        {"speeds", "\"speeds\" needs a value"},
        {"erase-time=1s", "\"erase-time\""},
        {"erase-time=-5", "\"erase-time\""},
        {"program-time=", "\"program-time\""},
        {"unpowered=yes", "\"unpowered\" takes no value"},
        {"match-count=0", "\"match-count\""},
        {"match-byte=100", "\"match-byte\""},
        {"match-byte=xy", "\"match-byte\""},
        {"erase=loud", "\"loud\""},
        {"length-echo=long", "\"length-echo\""},
        {"image-echo=wrong", "\"image-echo\""},
        {"image-echo=3:late", "\"image-echo\""},
        {"start=never", "\"start\""},
        {"prompt=early", "\"prompt\""},
        {"block=3", "\"block\""},
        {"block=3:ZZ", "\"block\""},
        {"block=x:Z", "\"block\""},
        {"block-silent=first", "\"block-silent\""},
        {"line-error=block", "\"line-error\""},
        {"line-error=blok:3", "\"line-error\""},
        {"power-off=erase", "\"power-off\""},
        {"user-line=fast", "\"user-line\""},
        {"user-line=9600:N:9:1", "\"user-line\""},
        {"stuck=8000:00", "\"stuck\""},
        {"stuck=0100", "\"stuck\""},
    };
    for (const auto& c : cases) {
        auto r = parseBoardOptions(c.text);
        EXPECT_FALSE(r.ok()) << c.text;
        EXPECT_NE(r.error.find(c.named), std::string::npos) << c.text << ": " << r.error;
    }
}

TEST(BoardOptions, LayersOnABaseAndLeavesItWhole) {
    auto first = parseBoardOptions("erase-time=10,block-silent=1");
    ASSERT_TRUE(first.ok());
    auto second = parseBoardOptions("erase-time=20,block-silent=2", first.options);
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.options.eraseTimeMs, 20);
    EXPECT_EQ(second.options.blockSilent, (std::set{1, 2}));

    auto refused = parseBoardOptions("erase-time=30,nonsense", first.options);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.options.eraseTimeMs, 10);
}

}  // namespace
}  // namespace quill::sim
