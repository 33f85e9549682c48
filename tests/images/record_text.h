#pragma once

// Well-formed record lines for tests that need many of them; the decoders' own tests use
// literal lines as well, and the srec_cat tests lines from an independent producer.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quill::testing {

inline std::string hex2(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

// S1, S2 or S3 (type '1' to '3') with a correct count and checksum.
inline std::string sRecord(char type, uint32_t address, const std::vector<uint8_t>& data) {
    const int addressBytes = type - '0' + 1;
    unsigned sum = static_cast<unsigned>(addressBytes + 1 + data.size());
    std::string line = std::string("S") + type + hex2(sum);
    for (int i = addressBytes - 1; i >= 0; --i) {
        const unsigned b = (address >> (8 * i)) & 0xFF;
        line += hex2(b);
        sum += b;
    }
    for (uint8_t b : data) {
        line += hex2(b);
        sum += b;
    }
    return line + hex2(~sum);
}

inline std::string intelRecord(const char* type, uint16_t address,
                               const std::vector<uint8_t>& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF);
    std::string line = ":" + hex2(static_cast<unsigned>(data.size())) + hex2(address >> 8) +
                       hex2(address) + type;
    for (uint8_t b : data) {
        line += hex2(b);
        sum += b;
    }
    return line + hex2(0x100 - (sum & 0xFF));
}

// `count` bytes, first, first+1, ... (mod 256).
inline std::vector<uint8_t> run(size_t count, uint8_t first = 0) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

}  // namespace quill::testing
