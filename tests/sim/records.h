#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace quill::sim::testing {

// A sound block record as a writer would send it: fill is every data byte.
inline std::vector<uint8_t> blockRecord(uint16_t address, const std::array<uint8_t, 128>& data) {
    std::vector<uint8_t> r{'A', 0, 0, 0, uint8_t(address >> 8), uint8_t(address)};
    r.insert(r.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : r) sum += b;
    const uint16_t check = uint16_t(0x10000 - sum % 0x10000);
    r.push_back(uint8_t(check >> 8));
    r.push_back(uint8_t(check));
    r.push_back(0x0D);
    return r;
}

inline std::vector<uint8_t> blockRecord(uint16_t address, uint8_t fill) {
    std::array<uint8_t, 128> data;
    data.fill(fill);
    return blockRecord(address, data);
}

}  // namespace quill::sim::testing
