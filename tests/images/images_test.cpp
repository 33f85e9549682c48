// The record decoding line by line, then both loaders over whole program files, up to the
// block records a user program becomes.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "flash/error_codes.h"
#include "images/block_record.h"
#include "images/hex_record.h"
#include "support/program_files.h"
#include "support/virtual_desk.h"

namespace quill {
namespace {

using testing::intelHex;
using testing::patternBytes;
using testing::sRecords;

// What the decoder handed the sink: index in the record, address, value.
using Stored = std::tuple<int32_t, int32_t, int>;

struct RecordingSink : RecordSink {
    void dataByte(int32_t index, int32_t address, uint8_t value) override {
        bytes.emplace_back(index, address, value);
    }
    std::vector<Stored> bytes;
};

const std::vector<uint8_t> k0030 = {0x02, 0x33, 0x7A};
const std::vector<uint8_t> kWiki = {0x28, 0x5F, 0x24, 0x5F, 0x22, 0x12, 0x22, 0x6A,
                                    0x00, 0x04, 0x24, 0x29, 0x00, 0x08, 0x23, 0x7C};

TEST(RecordLine, StoresTheBytesAndReportsTheCode) {
    struct LineCase {
        const char* name;
        std::string line;
        int32_t code;
        int32_t address;  // of the first byte stored
        std::vector<uint8_t> bytes;
    };
    const LineCase cases[] = {
        // Intel HEX: two's complement checksum over count, address and data.
        {"IntelData", ":0300300002337A1E", 0, 0x30, k0030},
        // The type byte is not part of the sum, so 81 carries the same checksum as 00.
        {"IntelType81", ":0300308102337A1E", 0, 0x30, k0030},
        {"IntelTrailingTextNotRead", ":0300300002337A1E  ;x", 0, 0x30, k0030},
        {"IntelWrongChecksumKeepsTheBytes", ":0300300002337A1F", kChecksumError, 0x30, k0030},
        {"IntelEndIsNotChecked", ":00000001AA", 0, 0, {}},
        {"IntelType05", ":0400000500000120D6", kUnknownRecord, 0, {}},
        {"IntelNoDataIsNotChecked", ":0000300012", 0, 0, {}},
        // The characters next to the digit ranges are no digits.
        {"IntelCountNotHex", ":/300300002337A1E", kNotHexCharacter, 0, {}},
        {"IntelAddressNotHex", ":0300@00002337A1E", kNotHexCharacter, 0, {}},
        {"IntelThirdByteNotHex", ":0300300002334:1E", kNotHexCharacter, 0x30, {0x02, 0x33}},
        // The type is looked at before the count is converted.
        {"IntelBadTypeAndBadCount", ":GG000005FF", kUnknownRecord, 0, {}},
        // A bad checksum field converts to 0: code 6 stays if the sum passes on it.
        {"IntelChecksumNotHexSumPasses", ":0100FF0000ZZ", kNotHexCharacter, 0xFF, {0}},
        {"IntelChecksumNotHexSumFails", ":0300300002337AZZ", kChecksumError, 0x30, k0030},
        {"IntelShortLine", ":0500300002337A1E", kChecksumError, 0x30, {2, 0x33, 0x7A, 0x1E, 0}},
        {"IntelRunsPastFFFF", ":02FFFF00AA5501", 0, 0xFFFF, {0xAA, 0x55}},
        // S-records: one's complement checksum over count, address and data.
        {"S1", "S1130000285F245F2212226A000424290008237C2A", 0, 0, kWiki},
        {"S1LowerCaseDigits", "S1130000285f245f2212226a000424290008237c2a junk", 0, 0, kWiki},
        {"S1WrongChecksumKeepsTheBytes", "S1130000285F245F2212226A000424290008237C2B",
         kChecksumError, 0, kWiki},
        {"S2Modulo10000", "S207012100010203D0", 0, 0x2100, {1, 2, 3}},
        {"S3Modulo10000", "S30780001234090821", 0, 0x1234, {9, 8}},
        {"S0IsNotChecked", "S00600004844521C", 0, 0, {}},
        {"S9IsNotChecked", "S9030000AA", 0, 0, {}},
        {"S5", "S503000AF2", kUnknownRecord, 0, {}},
        // The count is converted before the type is looked at; an unknown type overrides it.
        {"S0CountNotHex", "S0GG00004844521B", kNotHexCharacter, 0, {}},
        {"S5CountNotHex", "S5GG000AF2", kUnknownRecord, 0, {}},
        {"S1NoDataIsNotChecked", "S1030000AA", 0, 0, {}},
        {"S1CountBelowAddressLength", "S1020000FD", kChecksumError, 0, {}},
        {"S3CountBelowAddressLength", "S30412345678FF", kChecksumError, 0, {}},
        {"S1AddressNotHex", "S1050G000102F7", kNotHexCharacter, 0, {}},
        {"S1ThirdByteNotHex", "S1060000AABBGC00", kNotHexCharacter, 0, {0xAA, 0xBB}},
        {"S1ChecksumNotHex", "S1040000AAZZ", kChecksumError, 0, {0xAA}},
        {"S1ShortLine", "S1060000AABB", kChecksumError, 0, {0xAA, 0xBB, 0x00}}};
    for (const auto& c : cases) {
        RecordingSink sink;
        int32_t code = 0;
        (c.line[0] == ':' ? readIntelHexLine : readSRecordLine)(c.line, sink, code);
        EXPECT_EQ(code, c.code) << c.name;
        std::vector<Stored> expected;
        for (int32_t k = 0; k < static_cast<int32_t>(c.bytes.size()); ++k)
            expected.emplace_back(k, c.address + k, c.bytes[static_cast<size_t>(k)]);
        EXPECT_EQ(sink.bytes, expected) << c.name;
    }
}

std::string withLineEnds(std::string text, const std::string& end) {
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += end.size())
        text.replace(at, 2, end);
    return text;
}

struct BootCase {
    const char* name;
    std::string text;
    int32_t code;
    int32_t length;  // a record that got past its start counts in full
    int32_t start;
    std::vector<uint8_t> image;  // the rest of the image is 0
};

// The write's own steps over program files, without the serial side.
TEST(LoadBootProgram, LoadsOrStopsWithTheCode) {
    const auto p = patternBytes(1904);
    const auto part = [&](size_t from, size_t to) {
        return std::vector<uint8_t>(p.begin() + from, p.begin() + to);
    };
    const auto c = part(0, 4), d = part(4, 8);
    const auto around = [&](const std::string& line) {
        return sRecords(0xF780, c) + line + "\r\n" + sRecords(0xF784, d);
    };
    const BootCase cases[] = {
        {"FullSize", sRecords(0xF780, p, 32), 0, 1904, 0xF780, p},
        // Nothing of the refused record is stored; the length keeps the raised value.
        {"OneRecordPastTheLimit",
         sRecords(0xF780, part(0, 1901)) + sRecords(0xFF00, {1, 2, 3, 4}) + sRecords(0xFF04, {5}),
         kBootProgramTooLong, 1905, 0xF780, part(0, 1901)},
        // Records are laid down one after another whatever their addresses, with any line end.
        {"GapsClosedUpAcrossFormats",
         withLineEnds(sRecords(0xF780, part(0, 16)), "\r") +
             withLineEnds(sRecords(0xF800, part(16, 32)) + ":020000040000FA\r\n" +
                              intelHex(0xFE00, part(32, 36)),
                          "\n"),
         0, 36, 0xF780, part(0, 36)},
        // Address 0 never sets the start; data there still counts and is kept.
        {"ZeroAddressIsNotTheStart", sRecords(0x0000, c) + sRecords(0xF780, d), 0, 8, 0xF780,
         part(0, 8)},
        {"TenCharactersOrFewerSkipped",
         "\r\n0123456789\r\nm\xC3\xA9moire!!!\r\n" + sRecords(0xF780, c) +
             ":00000001FF\r\nS9030000\r\n",
         0, 4, 0xF780, c},
        {"ElevenCharactersRead", around("hello world"), kUnknownRecord, 4, 0xF780, c},
        {"LowerCaseMark", around("s1050000010203F4"), kUnknownRecord, 4, 0xF780, c},
        {"NegativeLength", around("S1020000FD0"), kChecksumError, 4, 0xF780, c},
        // Too long with a bad address: Intel HEX checks the length before converting the
        // address, S-records convert the address first.
        {"IntelTooLongBeforeBadAddress", sRecords(0xF780, part(0, 1902)) + ":04FG000001020304F2",
         kBootProgramTooLong, 1906, 0xF780, part(0, 1902)},
        {"SRecordBadAddressBeforeTooLong", sRecords(0xF780, part(0, 1902)) + "S107FG0001020304F2",
         kNotHexCharacter, 1902, 0xF780, part(0, 1902)},
    };
    testing::VirtualDesk desk;
    testing::ScratchFolder folder;
    Form1& f = *desk.form;
    const auto load = [&](const std::string& content) {
        f.clearBootImage();
        f.errorCode = 0;
        return f.loadBootProgram(folder.write("program", content));
    };
    const std::string full = sRecords(0xF780, patternBytes(1904, 9));
    for (const auto& row : cases) {
        // Each file follows a full-size program, of which nothing may be left.
        ASSERT_EQ(load(full), 0);
        EXPECT_EQ(load(row.text), row.code == 0 ? 0 : 1) << row.name;
        EXPECT_EQ(f.errorCode, row.code) << row.name;
        EXPECT_EQ(f.bootLength, row.length) << row.name;
        EXPECT_EQ(f.bootStartAddress, row.start) << row.name;
        auto image = row.image;
        image.resize(f.bootImage.size(), 0);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), f.bootImage.begin())) << row.name;
        EXPECT_FALSE(desk.fileSlot.isOpen()) << row.name;
    }
}

struct Block {
    int32_t address;
    size_t offset;
    std::vector<uint8_t> bytes;  // H'FF in the rest of the block
};

struct UserCase {
    const char* name;
    int32_t code;
    std::string text;
    std::vector<Block> blocks;
};

TEST(UserTransfer, CutsTheFileIntoBlocksOrStopsWithTheCode) {
    const auto p = patternBytes(0x100);
    const std::vector<uint8_t> low(p.begin(), p.begin() + 128), high(p.begin() + 128, p.end());
    const UserCase cases[] = {
        {"AlignedBlocksAndFFGaps", 0, sRecords(0x0000, p) + sRecords(0x0105, {0xA1, 0xA2, 0xA3}),
         {{0x0000, 0, low}, {0x0080, 0, high}, {0x0100, 5, {0xA1, 0xA2, 0xA3}}}},
        // Only the head of the buffer is looked at: data out of order start a block again.
        {"OutOfOrderSendsABlockTwice", 0, sRecords(0x0010, {1, 2, 3, 4}) + sRecords(0x0000, {5, 6}),
         {{0x0000, 0x10, {1, 2, 3, 4}}, {0x0000, 0, {5, 6}}}},
        {"RepeatedAddressSendsABlockTwice", 0,
         sRecords(0x0100, {1, 2}) + sRecords(0x0101, {9}) + sRecords(0x0102, {3}),
         {{0x0100, 0, {1, 2}}, {0x0100, 1, {9, 3}}}},
        {"StopsAtTheFirstBlockAbove7F80", kBlockAddressTooHigh,
         sRecords(0x7F00, p) + sRecords(0x8000, {1}) + sRecords(0x0000, {2}),
         {{0x7F00, 0, low}, {0x7F80, 0, high}}},
        // Extension, end and execution records have no effect on placement, S2 and S3
        // addresses keep their low 16 bits, and lines under 10 characters (not bytes) are skipped.
        {"IgnoredLinesAndWideAddresses", 0,
         ":020000040001F9\r\n:020040000506B3\r\n:020000021000EC\r\n:0100428107B6\r\n"
         ":00000001FF\r\nS2060301000102F2\r\nS307FFFF01020304F0\r\nS804000000FB\r\n"
         "S70500000000FA\r\n:0400000300000000F9\r\ngarbage!!\r\ngarb\xC3\xA4ge!!\r\n",
         {{0x0000, 0x40, {5, 6, 7}}, {0x0100, 0, {1, 2, 3, 4}}}},
        {"TenCharactersRead", kUnknownRecord, sRecords(0x0000, {0xAB}) + "garbage!!!\r\n", {}},
        // Draining an empty ring would send what the rows before left in it.
        {"EmptyFile", kNoUserData, "", {}},
        {"OnlyRecordsWithoutData", kNoUserData, "S1030000FC\r\n:0000100000\r\n", {}},
    };
    testing::VirtualDesk desk;
    testing::ScratchFolder folder;
    Form1& f = *desk.form;
    for (const auto& c : cases) {
        // The write's loop over the user file: the block records sent.
        std::vector<std::array<uint8_t, 137>> blocks;
        ASSERT_TRUE(desk.fileSlot.open(folder.write("program", c.text)));
        f.UBwp = f.UBrp = 0;
        while (f.fillUserBuffer() == 0) {
            if (f.takeBlockAddress() != 0) break;
            const bool ranEmpty = f.fillBlockBuffer();
            f.buildBlockPacket();
            blocks.push_back(f.blockPacket);
            if (ranEmpty) break;
        }
        desk.fileSlot.close();
        EXPECT_EQ(f.errorCode, c.code) << c.name;
        ASSERT_EQ(blocks.size(), c.blocks.size()) << c.name;
        for (size_t i = 0; i < blocks.size(); ++i) {
            const auto& want = c.blocks[i];
            std::array<uint8_t, 128> data;
            data.fill(0xFF);
            std::copy(want.bytes.begin(), want.bytes.end(), data.begin() + want.offset);
            EXPECT_EQ(blocks[i], blockRecord(want.address, data)) << c.name << " block " << i;
        }
    }
}

}  // namespace
}  // namespace quill
