#pragma once

// Well-formed record lines for tests that need many of them; the decoders' own tests use
// literal lines as well, and the srec_cat tests lines from an independent producer.

#include <cstdint>
#include <string>
#include <vector>

#include "support/program_files.h"

namespace quill::testing {

// S1, S2 or S3 (type '1' to '3') with a correct count and checksum.
inline std::string sRecord(char type, uint32_t address, const std::vector<uint8_t>& data) {
    const int addressBytes = type - '0' + 1;
    unsigned sum = static_cast<unsigned>(addressBytes + 1 + data.size());
    std::string line = std::string("S") + type + hexByte(sum);
    for (int i = addressBytes - 1; i >= 0; --i) {
        const unsigned b = (address >> (8 * i)) & 0xFF;
        line += hexByte(b);
        sum += b;
    }
    for (uint8_t b : data) {
        line += hexByte(b);
        sum += b;
    }
    return line + hexByte(~sum);
}

inline std::string intelRecord(const char* type, uint16_t address,
                               const std::vector<uint8_t>& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF);
    std::string line = ":" + hexByte(static_cast<unsigned>(data.size())) + hexByte(address >> 8) +
                       hexByte(address) + type;
    for (uint8_t b : data) {
        line += hexByte(b);
        sum += b;
    }
    return line + hexByte(0x100 - (sum & 0xFF));
}

// `count` bytes, first, first+1, ... (mod 256).
inline std::vector<uint8_t> run(size_t count, uint8_t first = 0) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

}  // namespace quill::testing
