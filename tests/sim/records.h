#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace quill::sim::testing {

// A sound block record as a writer would send it: fill is every data byte.
inline std::vector<uint8_t> blockRecord(uint16_t address, const std::array<uint8_t, 128>& data) {
    std::vector<uint8_t> r(137, 0);
    r[0] = 'A';
    r[4] = uint8_t(address >> 8);
    r[5] = uint8_t(address);
    for (size_t i = 0; i < data.size(); ++i) r[6 + i] = data[i];
    unsigned sum = 0;
    for (size_t i = 0; i < 134; ++i) sum += r[i];
    const uint16_t check = uint16_t(0x10000 - sum % 0x10000);
    r[134] = uint8_t(check >> 8);
    r[135] = uint8_t(check);
    r[136] = 0x0D;
    return r;
}

inline std::vector<uint8_t> blockRecord(uint16_t address, uint8_t fill) {
    std::array<uint8_t, 128> data;
    data.fill(fill);
    return blockRecord(address, data);
}

}  // namespace quill::sim::testing
