#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flash/error_codes.h"
#include "images/image_desk.h"
#include "images/record_text.h"

namespace quill {
namespace {

using testing::flashImage;
using testing::ImageDesk;
using testing::intelRecord;
using testing::run;
using testing::sRecord;
using testing::Transfer;

std::string lines(const std::vector<std::string>& records) {
    std::string text;
    for (const auto& r : records) text += r + "\r\n";
    return text;
}

// S1 records of `perRecord` bytes carrying `data` from `address`.
std::vector<std::string> sRecords(uint32_t address, const std::vector<uint8_t>& data,
                                  size_t perRecord = 16, char type = '1') {
    std::vector<std::string> out;
    for (size_t i = 0; i < data.size(); i += perRecord) {
        const auto last = std::min(data.size(), i + perRecord);
        out.push_back(sRecord(type, static_cast<uint32_t>(address + i),
                              std::vector<uint8_t>(data.begin() + i, data.begin() + last)));
    }
    return out;
}

std::vector<int32_t> addresses(const Transfer& t) {
    std::vector<int32_t> out;
    for (const auto& b : t.blocks) out.push_back(b.address);
    return out;
}

std::vector<uint8_t> blockBytes(const Transfer& t, size_t block) {
    return {t.blocks[block].data.begin(), t.blocks[block].data.end()};
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(UserTransfer, CutsAscendingDataIntoAlignedBlocks) {
    ImageDesk desk;
    const auto data = run(0x100, 3);
    auto records = sRecords(0x0000, data);
    records.push_back("S9030000FC");
    const Transfer t = desk.transferText(lines(records));
    EXPECT_EQ(t.errorCode, 0);
    EXPECT_THAT(addresses(t), ::testing::ElementsAre(0x0000, 0x0080));
    EXPECT_EQ(blockBytes(t, 0), std::vector<uint8_t>(data.begin(), data.begin() + 128));
    EXPECT_EQ(blockBytes(t, 1), std::vector<uint8_t>(data.begin() + 128, data.end()));
    EXPECT_EQ(t.blocks[1].packet[4], 0x00);
    EXPECT_EQ(t.blocks[1].packet[5], 0x80);
}

TEST(UserTransfer, FillsGapsWithFF) {
    ImageDesk desk;
    auto records = sRecords(0x0000, run(0x100));
    records.push_back(sRecord('1', 0x0105, {0xA1, 0xA2, 0xA3, 0xA4}));
    const Transfer t = desk.transferText(lines(records));
    ASSERT_THAT(addresses(t), ::testing::ElementsAre(0x0000, 0x0080, 0x0100));
    const std::vector<uint8_t> expected =
        concat(concat(std::vector<uint8_t>(5, 0xFF), {0xA1, 0xA2, 0xA3, 0xA4}),
               std::vector<uint8_t>(128 - 9, 0xFF));
    EXPECT_EQ(blockBytes(t, 2), expected);
}

TEST(UserTransfer, DataOutOfOrderSendsABlockTwice) {
    ImageDesk desk;
    const Transfer t = desk.transferText(
        lines({sRecord('1', 0x0010, {1, 2, 3, 4}), sRecord('1', 0x0000, {5, 6, 7, 8})}));
    EXPECT_EQ(t.errorCode, 0);
    ASSERT_THAT(addresses(t), ::testing::ElementsAre(0x0000, 0x0000));
    const std::vector<uint8_t> gap(0x10, 0xFF);
    EXPECT_EQ(blockBytes(t, 0), concat(concat(gap, {1, 2, 3, 4}), std::vector<uint8_t>(108, 0xFF)));
    EXPECT_EQ(blockBytes(t, 1), concat({5, 6, 7, 8}, std::vector<uint8_t>(124, 0xFF)));
}

TEST(UserTransfer, ARepeatedAddressIsNotTakenTwiceInOneBlock) {
    ImageDesk desk;
    const Transfer t = desk.transferText(lines(
        {sRecord('1', 0x0100, {1, 2}), sRecord('1', 0x0101, {9}), sRecord('1', 0x0102, {3})}));
    ASSERT_THAT(addresses(t), ::testing::ElementsAre(0x0100, 0x0100));
    EXPECT_EQ(t.blocks[0].data[0], 1);
    EXPECT_EQ(t.blocks[0].data[1], 2);
    EXPECT_EQ(t.blocks[0].data[2], 0xFF);
    EXPECT_EQ(t.blocks[1].data[0], 0xFF);
    EXPECT_EQ(t.blocks[1].data[1], 9);
    EXPECT_EQ(t.blocks[1].data[2], 3);
}

TEST(UserTransfer, DataAbove7FFFStopsWhenItReachesTheHead) {
    ImageDesk desk;
    auto records = sRecords(0x7F00, run(0x100));
    records.push_back(sRecord('1', 0x8000, {1}));
    records.push_back(sRecord('1', 0x0000, {2}));
    const Transfer t = desk.transferText(lines(records));
    EXPECT_EQ(t.errorCode, kBlockAddressTooHigh);
    EXPECT_THAT(addresses(t), ::testing::ElementsAre(0x7F00, 0x7F80));
    EXPECT_EQ(desk.form().blockAddress, 0x8000);
}

TEST(UserTransfer, AddressesRunningPastFFFFAreNotReduced) {
    ImageDesk desk;
    const Transfer t = desk.transferText(lines({intelRecord("00", 0xFFFF, {1, 2})}));
    EXPECT_EQ(t.errorCode, kBlockAddressTooHigh);
    EXPECT_EQ(desk.form().UBaddr[1], 0x10000);
}

TEST(UserTransfer, S2AndS3AddressesAreTakenModulo10000) {
    ImageDesk desk;
    const Transfer t =
        desk.transferText(lines({sRecord('2', 0x030100, {1, 2}), sRecord('3', 0xFFFF0102, {3, 4}),
                                 "S804000000FB", "S70500000000FA"}));
    EXPECT_EQ(t.errorCode, 0);
    ASSERT_THAT(addresses(t), ::testing::ElementsAre(0x0100));
    EXPECT_THAT(std::vector<uint8_t>(t.blocks[0].data.begin(), t.blocks[0].data.begin() + 5),
                ::testing::ElementsAre(1, 2, 3, 4, 0xFF));
}

TEST(UserTransfer, IntelHexWithExtensionAndEndRecords) {
    ImageDesk desk;
    const Transfer t = desk.transferText(
        lines({":020000040001F9", intelRecord("00", 0x0040, {1, 2}), ":020000021000EC",
               intelRecord("81", 0x0042, {3}), ":00000001FF"}));
    EXPECT_EQ(t.errorCode, 0);
    ASSERT_THAT(addresses(t), ::testing::ElementsAre(0x0000));
    EXPECT_THAT(
        std::vector<uint8_t>(t.blocks[0].data.begin() + 0x3F, t.blocks[0].data.begin() + 0x44),
        ::testing::ElementsAre(0xFF, 1, 2, 3, 0xFF));
}

TEST(UserTransfer, LineLengthLimitsAndBadLines) {
    struct Case {
        const char* name;
        std::string line;
        int32_t code;
    };
    const Case cases[] = {
        {"S9IsReadAndIgnored", "S9030000FC", 0},
        {"NineCharactersSkipped", "garbage!!", 0},
        {"TenCharactersOfText", "garbage!!!", kUnknownRecord},
        {"LowerCaseMark", "s1050000010203F4", kUnknownRecord},
        {"S5", "S503000AF2", kUnknownRecord},
        {"NotHex", "S1050000AG0000", kNotHexCharacter},
        {"Checksum", "S10500000102FF", kChecksumError},
        {"NegativeLength", "S1020000FD", kChecksumError},
        {"NulAndBinary", std::string("S1\xFF\0\x80 ABCD", 10), kNotHexCharacter},
    };
    for (const auto& c : cases) {
        ImageDesk desk;
        const Transfer t = desk.transferText(
            lines({sRecord('1', 0x0000, {0xAB}), c.line, sRecord('1', 0x0001, {0xCD})}));
        EXPECT_EQ(t.errorCode, c.code) << c.name;
        if (c.code == 0) {
            ASSERT_EQ(t.blocks.size(), 1u) << c.name;
            EXPECT_EQ(t.blocks[0].data[1], 0xCD) << c.name;
        } else {
            EXPECT_TRUE(t.blocks.empty()) << c.name;
            EXPECT_EQ(desk.form().recordLine, c.line) << c.name;
        }
    }
}

TEST(UserTransfer, AFileWithoutDataIsRefusedBeforeAnyBlock) {
    ImageDesk desk;
    // An earlier write leaves its entries in the ring; none of them may be sent again.
    ASSERT_EQ(desk.transferText(lines(sRecords(0x0000, run(300)))).errorCode, 0);
    for (const std::string& text : {std::string(), lines({"S00600004844521B", "S9030000FC"}),
                                    lines({":00000001FF"}), lines({"S1030000FC", ":0000100000"})}) {
        const Transfer t = desk.transferText(text);
        EXPECT_EQ(t.errorCode, kNoUserData) << text;
        EXPECT_TRUE(t.blocks.empty()) << text;
    }
}

TEST(UserTransfer, ReadsAheadOnlyAsFarAsTheNextBlockNeeds) {
    ImageDesk desk;
    // 32 KB in records of 252 bytes: every fill stops one record past 128 entries, and the
    // ring wraps many times without overrunning.
    const auto data = run(0x8000, 0x11);
    const auto records = sRecords(0x0000, data, 252);
    const Transfer t = desk.transferText(lines(records));
    EXPECT_EQ(t.errorCode, 0);
    EXPECT_EQ(t.blocks.size(), 256u);
    EXPECT_LE(t.mostEntries, 383);
    EXPECT_GT(t.mostEntries, 128);
    EXPECT_EQ(flashImage(t), data);

    ImageDesk first;
    first.slot().open(first.file("u.mot", lines(records)));
    first.form().UBwp = first.form().UBrp = 0;
    ASSERT_EQ(first.form().fillUserBuffer(), 0);
    EXPECT_EQ(first.form().recordLine, records[0]);
    EXPECT_EQ(first.form().userBufferCount(), 252);
    EXPECT_FALSE(first.slot().atEnd());
    first.slot().close();
}

}  // namespace
}  // namespace quill
