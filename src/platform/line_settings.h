#pragma once

#include <optional>
#include <string>

namespace quill {

// The settings of the line as a port takes them: "speed,parity,data,stop", e.g. "38400,N,8,1".
struct LineSettings {
    int speed = 38400;
    char parity = 'N';  // N, E, O (M and S are accepted for mark and space)
    int dataBits = 8;
    int stopBits = 1;  // 1 or 2

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
    // Bits of one character on the wire: start, data, parity, stop.
    int bitsPerChar() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
    // Time one character takes on the wire.
    long long charTimeNs() const { return bitsPerChar() * 1'000'000'000LL / speed; }
    std::string text() const;
};

// Reads a settings text; nullopt when it is not one (a word missing, a letter where a number
// belongs, a speed of 0).
std::optional<LineSettings> parseLineSettings(const std::string& text);

}  // namespace quill
