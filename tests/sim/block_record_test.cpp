#include "sim/block_record.h"

#include <gtest/gtest.h>

#include "sim/flash_memory.h"
#include "sim/records.h"

namespace quill::sim {
namespace {

using testing::blockRecord;

Record view(const std::vector<uint8_t>& r) {
    return Record(r.data(), kRecordSize);
}

TEST(BlockRecord, ChecksumOfKnownBlocks) {
    auto ff = blockRecord(0x0000, 0xFF);
    EXPECT_EQ(ff[134], 0x80);
    EXPECT_EQ(ff[135], 0x3F);
    EXPECT_EQ(recordSum(view(ff)), 0);
    auto zero = blockRecord(0x7F80, 0x00);
    EXPECT_EQ(zero[134], 0xFE);
    EXPECT_EQ(zero[135], 0xC0);
    EXPECT_EQ(recordAddress(view(zero)), 0x7F80);
}

// Re-signs a record after a change, so that only the intended check fails.
void resign(std::vector<uint8_t>& r) {
    unsigned sum = 0;
    for (size_t i = 0; i < kRecordChecksumOffset; ++i) sum += r[i];
    uint16_t check = uint16_t(0x10000 - sum % 0x10000);
    r[134] = uint8_t(check >> 8);
    r[135] = uint8_t(check);
}

TEST(BlockRecord, FaultsInCheckingOrder) {
    struct Case {
        const char* what;
        void (*damage)(std::vector<uint8_t>&);
        char expected;
    };
    const Case cases[] = {
        {"sound", [](std::vector<uint8_t>&) {}, 0},
        {"last block", [](std::vector<uint8_t>& r) { r[4] = 0x7F, r[5] = 0x80, resign(r); }, 0},
        {"other header", [](std::vector<uint8_t>& r) { r[0] = 'B'; }, ':'},
        {"header before end", [](std::vector<uint8_t>& r) { r[0] = 'B', r[136] = 0; }, ':'},
        {"end byte", [](std::vector<uint8_t>& r) { r[136] = 0x0A; }, 'L'},
        {"end before checksum", [](std::vector<uint8_t>& r) { r[136] = 0, r[7] ^= 1; }, 'L'},
        {"data changed", [](std::vector<uint8_t>& r) { r[70] ^= 0x10; }, 'S'},
        {"checksum low", [](std::vector<uint8_t>& r) { r[135] += 1; }, 'S'},
        {"ignored zeros count", [](std::vector<uint8_t>& r) { r[2] = 1; }, 'S'},
        {"zeros re-signed", [](std::vector<uint8_t>& r) { r[2] = 1, resign(r); }, 0},
        {"unaligned", [](std::vector<uint8_t>& r) { r[5] = 0x40, resign(r); }, 'A'},
        {"unaligned beyond", [](std::vector<uint8_t>& r) { r[4] = 0x80, r[5] = 0x01, resign(r); },
         'A'},
        {"beyond flash", [](std::vector<uint8_t>& r) { r[4] = 0x80, resign(r); }, 'W'},
        {"far beyond", [](std::vector<uint8_t>& r) { r[4] = 0xF7, r[5] = 0x80, resign(r); }, 'W'},
    };
    for (const auto& c : cases) {
        auto r = blockRecord(0x0100, 0x5A);
        c.damage(r);
        EXPECT_EQ(recordFault(view(r)), c.expected) << c.what;
    }
}

TEST(FlashMemory, BitsOnlyGoFromOneToZero) {
    struct Case {
        uint8_t before, written, after;
        bool ok;
    };
    const Case cases[] = {
        {0xFF, 0x12, 0x12, true},  {0xFF, 0xFF, 0xFF, true},  {0xF0, 0x30, 0x30, true},
        {0x0F, 0xFF, 0x0F, false}, {0x12, 0x21, 0x00, false}, {0x00, 0x00, 0x00, true},
    };
    for (const auto& c : cases) {
        FlashMemory flash;
        uint8_t first = c.before;
        ASSERT_TRUE(flash.program(0x1234, std::span(&first, 1)));
        uint8_t second = c.written;
        EXPECT_EQ(flash.program(0x1234, std::span(&second, 1)), c.ok) << int(c.before);
        EXPECT_EQ(flash.at(0x1234), c.after) << int(c.before);
    }
}

TEST(FlashMemory, EraseRestoresAllButWornCells) {
    FlashMemory flash;
    flash.setStuck(0x7FFF, 0xFE);
    std::vector<uint8_t> zeros(0x8000, 0);
    flash.program(0, zeros);
    flash.erase();
    EXPECT_EQ(flash.at(0), 0xFF);
    EXPECT_EQ(flash.at(0x7FFE), 0xFF);
    EXPECT_EQ(flash.at(0x7FFF), 0xFE);
    EXPECT_FALSE(flash.erased());
}

}  // namespace
}  // namespace quill::sim
