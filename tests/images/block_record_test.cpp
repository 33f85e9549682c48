#include "images/block_record.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>

namespace quill {
namespace {

std::array<uint8_t, 128> filled(uint8_t value) {
    std::array<uint8_t, 128> data;
    data.fill(value);
    return data;
}

TEST(BlockRecord, MatchesTheWorkedExamples) {
    struct Case {
        int32_t address;
        uint8_t fill;
        uint8_t high, low;
    };
    const Case cases[] = {
        {0x0000, 0xFF, 0x80, 0x3F},  // s = H'7FC1
        {0x7F80, 0x00, 0xFE, 0xC0},  // s = H'140
    };
    for (const auto& c : cases) {
        const auto data = filled(c.fill);
        const auto record = blockRecord(c.address, data);
        EXPECT_EQ(record[134], c.high) << c.address;
        EXPECT_EQ(record[135], c.low) << c.address;
    }
}

TEST(BlockRecord, LaysOutHeaderAddressDataChecksumAndEnd) {
    std::array<uint8_t, 128> data;
    std::iota(data.begin(), data.end(), uint8_t{1});
    const auto record = blockRecord(0x1280, data);
    EXPECT_EQ(record[0], 0x41);
    EXPECT_EQ(record[1], 0x00);
    EXPECT_EQ(record[2], 0x00);
    EXPECT_EQ(record[3], 0x00);
    EXPECT_EQ(record[4], 0x12);
    EXPECT_EQ(record[5], 0x80);
    for (size_t i = 0; i < 128; ++i) EXPECT_EQ(record[6 + i], data[i]) << i;
    EXPECT_EQ(record[136], 0x0D);
    // The sum of the 16-bit checksum and bytes 0..133 is 0 modulo H'10000.
    unsigned sum = (record[134] << 8) | record[135];
    for (size_t i = 0; i < 134; ++i) sum += record[i];
    EXPECT_EQ(sum & 0xFFFF, 0u);
}

}  // namespace
}  // namespace quill
