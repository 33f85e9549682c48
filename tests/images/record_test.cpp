#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "flash/error_codes.h"
#include "images/hex_record.h"

namespace quill {
namespace {

// What the decoder handed the sink: index in the record, address, value.
using Stored = std::tuple<int32_t, int32_t, int>;

class RecordingSink : public RecordSink {
  public:
    void dataByte(int32_t index, int32_t address, uint8_t value) override {
        bytes.emplace_back(index, address, value);
    }
    std::vector<Stored> bytes;
};

TEST(HexDigitValue, TakesBothCasesAndNothingNextToTheDigitRanges) {
    for (const auto& [text, value] : std::vector<std::pair<std::string, int32_t>>{
             {"0", 0}, {"9", 9}, {"A", 10}, {"F", 15}, {"a", 10}, {"f", 15}, {"7z", 7}})
        EXPECT_EQ(hexDigitValue(text), value) << text;
    for (const char* text : {"", "/", ":", "@", "G", "`", "g"})
        EXPECT_EQ(hexDigitValue(text), 16) << text;
}

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
        {"IntelCountNotHex", ":G300300002337A1E", kNotHexCharacter, 0, {}},
        {"IntelAddressNotHex", ":0300G00002337A1E", kNotHexCharacter, 0, {}},
        {"IntelThirdByteNotHex", ":0300300002334G1E", kNotHexCharacter, 0x30, {0x02, 0x33}},
        // The type is looked at before the count is converted.
        {"IntelBadTypeAndBadCount", ":GG000005FF", kUnknownRecord, 0, {}},
        // A bad checksum field converts to 0: code 6 stays if the sum passes on it.
        {"IntelChecksumNotHexSumPasses", ":0100FF0000ZZ", kNotHexCharacter, 0xFF, {0}},
        {"IntelChecksumNotHexSumFails", ":0300300002337AZZ", kChecksumError, 0x30, k0030},
        {"IntelShortLine", ":0500300002337A1E", kChecksumError, 0x30, {2, 0x33, 0x7A, 0x1E, 0}},
        {"IntelRunsPastFFFF", ":02FFFF00AA5501", 0, 0xFFFF, {0xAA, 0x55}},
        // S-records: one's complement checksum over count, address and data.
        {"S1", "S1130000285F245F2212226A000424290008237C2A", 0, 0, kWiki},
        {"S1TrailingTextNotRead", "S1130000285F245F2212226A000424290008237C2A junk", 0, 0, kWiki},
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
        if (c.line[0] == ':') {
            readIntelHexLine(c.line, sink, code);
        } else {
            readSRecordLine(c.line, sink, code);
        }
        EXPECT_EQ(code, c.code) << c.name;
        std::vector<Stored> expected;
        for (int32_t k = 0; k < static_cast<int32_t>(c.bytes.size()); ++k)
            expected.emplace_back(k, c.address + k, c.bytes[static_cast<size_t>(k)]);
        EXPECT_EQ(sink.bytes, expected) << c.name;
    }
}

}  // namespace
}  // namespace quill
