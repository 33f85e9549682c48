#include "sim/board_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace quill::sim {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool isNumber(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<int> number(std::string_view s, int base = 10) {
    int value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || s.front() == '-' ||
        s.front() == '+')
        return std::nullopt;
    return value;
}

std::optional<uint8_t> hexByte(std::string_view s) {
    if (s.size() > 2) return std::nullopt;
    auto v = number(s, 16);
    if (!v) return std::nullopt;
    return uint8_t(*v);
}

// "K:REST" with a decimal K.
std::optional<std::pair<int, std::string_view>> indexed(std::string_view s) {
    auto colon = s.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    auto k = number(s.substr(0, colon));
    if (!k) return std::nullopt;
    return std::pair{*k, s.substr(colon + 1)};
}

// "block:K".
std::optional<int> blockIndex(std::string_view s) {
    constexpr std::string_view prefix = "block:";
    if (s.substr(0, prefix.size()) != prefix) return std::nullopt;
    return number(s.substr(prefix.size()));
}

class Parser {
  public:
    explicit Parser(BoardOptions options) : o_(std::move(options)) {}

    // One NAME[=VALUE]; an empty text when it was understood, else the complaint.
    std::string apply(std::string_view name, std::optional<std::string_view> value) {
        auto bad = [&](const char* expected) {
            return "board option \"" + std::string(name) + "\": \"" +
                   std::string(value.value_or("")) + "\" is not " + expected;
        };
        auto needsValue = [&] {
            return "board option \"" + std::string(name) + "\" needs a value";
        };
        auto takesNone = [&] {
            return "board option \"" + std::string(name) + "\" takes no value";
        };
        lastWasSpeeds_ = false;

        // A new option needs its name in kBoardOptionNames, which --list-sim-options prints.
        const auto listed =
            std::find_if(std::begin(kBoardOptionNames), std::end(kBoardOptionNames),
                         [&](std::string_view n) { return n.substr(0, n.find('=')) == name; });
        if (listed == std::end(kBoardOptionNames))
            return "unknown board option \"" + std::string(name) + "\"";
        if (!listed->ends_with('=')) {
            if (value) return takesNone();
            if (name == "unpowered") o_.unpowered = true;
            if (name == "match-silent") o_.matchSilent = true;
            if (name == "chatter") o_.chatter = true;
            return {};
        }
        if (!value) return needsValue();
        const std::string_view v = *value;

        if (name == "erase-time" || name == "program-time") {
            auto ms = number(v);
            if (!ms) return bad("a time in milliseconds");
            (name == "erase-time" ? o_.eraseTimeMs : o_.programTimeMs) = *ms;
        } else if (name == "speeds") {
            auto s = number(v);
            if (!s || *s <= 0) return bad("a speed in bit/s");
            o_.speeds = {*s};
            lastWasSpeeds_ = true;
        } else if (name == "match-count") {
            auto n = number(v);
            if (!n || *n < 1) return bad("a count of 1 or more");
            o_.matchCount = *n;
        } else if (name == "match-byte") {
            auto b = hexByte(v);
            if (!b) return bad("a hexadecimal byte");
            o_.matchByte = *b;
        } else if (name == "erase") {
            if (v == "silent") {
                o_.erase = BoardOptions::EraseAnswer::Silent;
            } else if (v == "double") {
                o_.erase = BoardOptions::EraseAnswer::Double;
            } else if (auto b = hexByte(v)) {  // "ff" is the byte H'FF too
                o_.erase = BoardOptions::EraseAnswer::Byte;
                o_.eraseByte = *b;
            } else {
                return bad("ff, silent, double or a hexadecimal byte");
            }
        } else if (name == "length-echo") {
            if (v == "wrong") {
                o_.lengthEcho = BoardOptions::LengthEcho::Wrong;
            } else if (v == "short") {
                o_.lengthEcho = BoardOptions::LengthEcho::Short;
            } else {
                return bad("wrong or short");
            }
        } else if (name == "image-echo") {
            auto p = indexed(v);
            if (!p || (p->second != "wrong" && p->second != "silent"))
                return bad("I:wrong or I:silent");
            o_.imageEcho[p->first] = p->second == "wrong" ? BoardOptions::EchoFault::Wrong
                                                          : BoardOptions::EchoFault::Silent;
        } else if (name == "start") {
            if (v == "silent") {
                o_.start = BoardOptions::StartAnswer::Silent;
            } else if (auto b = hexByte(v)) {
                o_.start = BoardOptions::StartAnswer::Byte;
                o_.startByte = *b;
            } else {
                return bad("silent or a hexadecimal byte");
            }
        } else if (name == "prompt") {
            if (v == "silent") {
                o_.prompt = BoardOptions::Prompt::Silent;
            } else if (v == "late") {
                o_.prompt = BoardOptions::Prompt::Late;
            } else {
                return bad("silent or late");
            }
        } else if (name == "block") {
            auto p = indexed(v);
            if (!p || p->second.size() != 1) return bad("K:C, a block number and one character");
            o_.blockAnswer[p->first] = p->second.front();
        } else if (name == "block-silent") {
            auto k = number(v);
            if (!k) return bad("a block number");
            o_.blockSilent.insert(*k);
        } else if (name == "line-error") {
            if (v == "erase") {
                o_.lineErrorErase = true;
            } else if (auto k = blockIndex(v)) {
                o_.lineErrorBlocks.insert(*k);
            } else {
                return bad("erase or block:K");
            }
        } else if (name == "power-off") {
            auto k = blockIndex(v);
            if (!k) return bad("block:K");
            o_.powerOffBlock = *k;
        } else if (name == "port-lost") {
            using When = BoardOptions::PortLoss::When;
            if (v == "erase") {
                o_.portLost = {When::Erase, 0};
            } else if (auto k = blockIndex(v)) {
                o_.portLost = {When::Block, *k};
            } else if (auto t = number(v)) {
                o_.portLost = {When::Time, *t};
            } else {
                return bad("MS, erase or block:K");
            }
        } else if (name == "port-back") {
            auto t = number(v);
            if (!t) return bad("a time in milliseconds");
            o_.portBackMs = *t;
        } else if (name == "user-line") {
            std::string text(v);
            if (isNumber(v)) text += ":N:8:1";
            std::replace(text.begin(), text.end(), ':', ',');
            auto settings = parseLineSettings(text);
            if (!settings) return bad("SPEED or SPEED:P:D:S");
            o_.userLine = *settings;
        } else if (name == "kernel") {
            if (v != "run" && v != "model") return bad("run or model");
            o_.kernel = v == "run" ? BoardOptions::Kernel::Run : BoardOptions::Kernel::Model;
        } else if (name == "clock") {
            // MHz with up to three decimals: a whole number of kHz.
            const auto dot = v.find('.');
            auto whole = number(v.substr(0, dot));
            std::string_view fraction = dot == std::string_view::npos ? "" : v.substr(dot + 1);
            auto thousandths = fraction.empty() ? std::optional<int>(0) : number(fraction);
            if (!whole || !thousandths || fraction.size() > 3 ||
                (dot != std::string_view::npos && fraction.empty()))
                return bad("a clock in MHz");
            int kHz = *thousandths;
            for (size_t k = fraction.size(); k < 3; ++k) kHz *= 10;
            const int64_t hz = (int64_t(*whole) * 1000 + kHz) * 1000;
            if (hz < 1'000'000 || hz > 100'000'000) return bad("a clock in MHz from 1 to 100");
            o_.clockHz = hz;
        } else if (name == "flash-pulses") {
            auto p = indexed(v);
            auto max = p ? number(p->second) : std::nullopt;
            if (!p || !max || p->first < 1 || *max < p->first || *max > 255)
                return bad("MIN:MAX, pulses from 1 to 255");
            o_.minPulses = p->first;
            o_.maxPulses = *max;
        } else if (name == "stuck") {
            auto colon = v.find(':');
            auto address =
                colon == std::string_view::npos ? std::nullopt : number(v.substr(0, colon), 16);
            auto b = colon == std::string_view::npos ? std::nullopt : hexByte(v.substr(colon + 1));
            if (!address || !b || *address > 0x7FFF || colon > 4)
                return bad("AAAA:HH, a flash address and a hexadecimal byte");
            o_.stuckCells[uint16_t(*address)] = *b;
        } else if (name == "adapter-latency") {
            const auto colon = v.find(':');
            const auto ms = number(v.substr(0, colon));
            const auto rest =
                colon == std::string_view::npos ? std::string_view{} : v.substr(colon + 1);
            if (!ms || *ms < 1 || *ms > 255 || (colon != std::string_view::npos && rest != "fixed"))
                return bad("MS or MS:fixed, a latency timer of 1 to 255 ms");
            o_.adapter = VirtualSerialPort::UsbAdapter{*ms, colon == std::string_view::npos};
        }
        return {};
    }

    // A bare number right after a speeds list is one more speed of it.
    bool continuesSpeeds(std::string_view item) const { return lastWasSpeeds_ && isNumber(item); }
    void addSpeed(std::string_view item, std::string& error) {
        auto s = number(item);
        if (!s || *s <= 0) {
            error =
                "board option \"speeds\": \"" + std::string(item) + "\" is not a speed in bit/s";
            return;
        }
        o_.speeds.push_back(*s);
    }

    BoardOptions& options() { return o_; }

  private:
    BoardOptions o_;
    bool lastWasSpeeds_ = false;
};

}  // namespace

BoardOptionsResult parseBoardOptions(std::string_view text, const BoardOptions& base) {
    Parser parser(base);
    std::string error;
    while (error.empty()) {
        auto comma = text.find(',');
        std::string_view item = trim(text.substr(0, comma));
        if (!item.empty()) {
            if (parser.continuesSpeeds(item)) {
                parser.addSpeed(item, error);
            } else {
                auto eq = item.find('=');
                std::optional<std::string_view> value;
                if (eq != std::string_view::npos) value = trim(item.substr(eq + 1));
                error = parser.apply(trim(item.substr(0, eq)), value);
            }
        }
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (!error.empty()) return {base, error};
    return {std::move(parser.options()), {}};
}

}  // namespace quill::sim
