#include "sim/board_options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

namespace quill::sim {
namespace {

using O = BoardOptions;
using When = O::PortLoss::When;

// The board tests reach every option through a behaviour; these rows are the parser's own
// rules: lists, layers, repeats, overrides, spacing, and a refusal naming its culprit for each
// form and leaving the base whole.
TEST(BoardOptions, AcceptsOrRefusesNamingTheCulprit) {
    const O base = parseBoardOptions("erase-time=10,block-silent=1").options;
    struct Case {
        std::string text;
        std::function<bool(const O&)> holds;  // null: refused
        std::string named = "";               // must appear in the refusal
    };
    std::vector<Case> cases = {
        {"erase-time=5,speeds=4800,1200,chatter",
         [](const O& o) {
             return o.eraseTimeMs == 5 && o.speeds == std::vector{4800, 1200} && o.chatter;
         }},
        {"chatter,9600", nullptr, "\"9600\""},  // a bare number continues only a speeds list
        {"speeds=9600,chatter,2400", nullptr, "\"2400\""},
        {"speeds=9600,fast", nullptr, "\"fast\""},
        {" erase-time = 5 , chatter ", [](const O& o) { return o.eraseTimeMs == 5 && o.chatter; }},
        {"erase-time=5,,erase-time=7,", [](const O& o) { return o.eraseTimeMs == 7; }},
        {"block-silent=2,user-line=9600",
         [](const O& o) {
             return o.blockSilent.count(1) + o.blockSilent.count(2) == 2 && o.eraseTimeMs == 10 &&
                    o.userLine == parseLineSettings("9600,N,8,1");
         }},
        {"erase-time=30,nonsense", nullptr, "\"nonsense\""},
        {"block=2::", [](const O& o) { return o.blockAnswer.at(2) == ':'; }},
        {"port-lost=block:2,port-back=10",
         [](const O& o) {
             return o.portLost->when == When::Block && o.portLost->value == 2 && o.portBackMs == 10;
         }},
        {"port-lost=erase", [](const O& o) { return o.portLost->when == When::Erase; }},
        {"port-lost=500", [](const O& o) { return o.portLost->value == 500; }},
        {"speeds", nullptr, "\"speeds\" needs a value"},
        {"unpowered=yes", nullptr, "\"unpowered\" takes no value"},
        {"erase=loud", nullptr, "\"loud\""},
        {"kernel=run,clock=16.384,flash-pulses=2:5",
         [](const O& o) {
             return o.kernel == O::Kernel::Run && o.clockHz == 16'384'000 && o.minPulses == 2 &&
                    o.maxPulses == 5;
         }},
    };
    // Refused for a value the option cannot take (or a misspelt name): the refusal names it.
    std::istringstream refused(
        "speeds=9600,0 speeds=0 port-lost=blok:2 port-back=soon erase-tme=5 erase-time=1s "
        "program-time=-5 match-count=0 match-byte=100 match-byte=xy length-echo=long "
        "image-echo=3:late start=never prompt=early block=3:ZZ block=x:Z block-silent=first "
        "line-error=blok:3 power-off=erase user-line=9600:N:9:1 stuck=8000:00 "
        "adapter-latency=16:slow adapter-latency=0 stuck=0100 kernel=fast clock=20. clock=0.5 "
        "clock=12.3456 flash-pulses=3:2");
    for (std::string text; refused >> text;)
        cases.push_back({text, nullptr, "\"" + text.substr(0, text.find('=')) + "\""});
    for (const auto& c : cases) {
        auto r = parseBoardOptions(c.text, base);
        EXPECT_EQ(r.ok(), bool(c.holds)) << c.text << ": " << r.error;
        EXPECT_NE(r.error.find(c.named), std::string::npos) << c.text << ": " << r.error;
        const auto& o = r.options;
        EXPECT_TRUE(c.holds ? c.holds(o)
                            : o.eraseTimeMs == 10 && o.blockSilent.size() == 1 && !o.chatter &&
                                  o.speeds == base.speeds)
            << c.text;
    }
}

// The names --list-sim-options prints are the README's table, in its order, and a name takes a
// value where the table gives one.
TEST(BoardOptions, TheNameListIsTheReadmesTable) {
    std::ifstream readme(QUILLMONT_SOURCE_DIR "/sim/README.md");
    ASSERT_TRUE(readme) << "sim/README.md";
    std::vector<std::string> table;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.starts_with("| name | value |")) inTable = true;
        if (!inTable || !line.starts_with("| ") || line.starts_with("| name") ||
            line.starts_with("|---"))
            continue;
        const size_t nameEnd = line.find(" |", 2);
        const size_t valueEnd = line.find(" |", nameEnd + 2);
        const bool none = line.substr(nameEnd + 3, valueEnd - nameEnd - 3) == "–";
        table.push_back(line.substr(2, nameEnd - 2) + (none ? "" : "="));
    }
    EXPECT_EQ(table,
              std::vector<std::string>(std::begin(kBoardOptionNames), std::end(kBoardOptionNames)));
}

}  // namespace
}  // namespace quill::sim
