#include "images/hex_record.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "flash/error_codes.h"
#include "images/record_text.h"

namespace quill {
namespace {

using ::testing::ElementsAreArray;

struct Stored {
    int32_t index;
    int32_t address;
    uint8_t value;
    bool operator==(const Stored&) const = default;
};

void PrintTo(const Stored& s, std::ostream* os) {
    *os << "{" << s.index << ", " << s.address << ", " << int{s.value} << "}";
}

class RecordingSink : public RecordSink {
  public:
    void dataByte(int32_t index, int32_t address, uint8_t value) override {
        bytes.push_back({index, address, value});
    }
    std::vector<Stored> bytes;
};

TEST(HexDigitValue, AcceptsBothCasesAndLooksAtTheFirstCharacterOnly) {
    struct Case {
        std::string text;
        int32_t value;
    };
    const Case cases[] = {
        {"0", 0},   {"9", 9},          {"A", 10},    {"F", 15},    {"a", 10},
        {"f", 15},  {"Ab", 10},        {"7zz", 7},   {"", 16},     {"G", 16},
        {"g", 16},  {"/", 16},         {":", 16},    {"@", 16},    {"`", 16},
        {" 1", 16}, {{'\0', '1'}, 16}, {"\xC1", 16}, {"\xFF", 16},
    };
    for (const auto& c : cases) EXPECT_EQ(hexDigitValue(c.text), c.value) << c.text;
}

TEST(HexToValue, ConvertsOrStopsAtTheFirstNonDigit) {
    struct Case {
        std::string text;
        int32_t value;
        int32_t code;
    };
    const Case cases[] = {
        {"", 0, 0},
        {"0", 0, 0},
        {"aBc", 0xABC, 0},
        {"7FFFFFFF", INT32_MAX, 0},
        // Past the signed range: the low 32 bits, without overflow.
        {"80000000", INT32_MIN, 0},
        {"FFFFFFFF", -1, 0},
        {"123456789", 0x23456789, 0},
        {"1G2", 0, kNotHexCharacter},
        {" 12", 0, kNotHexCharacter},
        {std::string("1\0", 2), 0, kNotHexCharacter},
        {"\x80\x81", 0, kNotHexCharacter},
    };
    for (const auto& c : cases) {
        int32_t code = 0;
        EXPECT_EQ(hexToValue(c.text, code), c.value) << c.text;
        EXPECT_EQ(code, c.code) << c.text;
    }
}

struct LineCase {
    const char* name;
    std::string line;
    int32_t code;
    std::vector<Stored> bytes;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class IntelHexLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(IntelHexLine, StoresAndReports) {
    const auto& c = GetParam();
    RecordingSink sink;
    int32_t code = 0;
    readIntelHexLine(c.line, sink, code);
    EXPECT_EQ(code, c.code);
    EXPECT_THAT(sink.bytes, ElementsAreArray(c.bytes));
}

const std::vector<Stored> k0030 = {{0, 0x30, 0x02}, {1, 0x31, 0x33}, {2, 0x32, 0x7A}};

INSTANTIATE_TEST_SUITE_P(
    Records, IntelHexLine,
    ::testing::Values(
        LineCase{"Data", ":0300300002337A1E", 0, k0030},
        LineCase{"LowerCase", ":0300300002337a1e", 0, k0030},
        // The type byte is not part of the sum, so 81 carries the same checksum as 00.
        LineCase{"Type81", ":0300308102337A1E", 0, k0030},
        LineCase{"TrailingTextNotRead", ":0300300002337A1E  ;x", 0, k0030},
        LineCase{"WrongChecksumKeepsTheBytes", ":0300300002337A1F", kChecksumError, k0030},
        LineCase{"EndRecord", ":00000001FF", 0, {}},
        LineCase{"IgnoredTypesAreNotChecked", ":00000001AA", 0, {}},
        LineCase{"ExtendedSegment", ":020000021200EA", 0, {}},
        LineCase{"ExtendedLinear", ":02000004FFFFFC", 0, {}},
        LineCase{"Type05", ":0400000500000120D6", kUnknownRecord, {}},
        LineCase{"TypeInLowerCaseHex", ":0000000aF6", kUnknownRecord, {}},
        LineCase{"EmptyDataRecordIsNotChecked", ":0000300012", 0, {}},
        LineCase{"ThirdByteNotHex",
                 ":0300300002334G1E",
                 kNotHexCharacter,
                 {{0, 0x30, 0x02}, {1, 0x31, 0x33}}},
        LineCase{"CountNotHex", ":G300300002337A1E", kNotHexCharacter, {}},
        // The type is looked at before the count is converted.
        LineCase{"BadTypeAndBadCount", ":GG000005FF", kUnknownRecord, {}},
        LineCase{"AddressNotHex", ":0300G00002337A1E", kNotHexCharacter, {}},
        // The sum passes on the 0 a bad checksum field converts to, so code 6 stays.
        LineCase{"ChecksumNotHexSumPasses", ":0100FF0000ZZ", kNotHexCharacter, {{0, 0xFF, 0x00}}},
        LineCase{"ChecksumNotHexSumFails", ":0300300002337AZZ", kChecksumError, k0030},
        LineCase{
            "ShorterThanItsCount",
            ":0500300002337A1E",
            kChecksumError,
            {{0, 0x30, 0x02}, {1, 0x31, 0x33}, {2, 0x32, 0x7A}, {3, 0x33, 0x1E}, {4, 0x34, 0x00}}},
        LineCase{"RunsPastFFFF", ":02FFFF00AA5501", 0, {{0, 0xFFFF, 0xAA}, {1, 0x10000, 0x55}}},
        LineCase{"NulInData",
                 std::string(":0300300002") + '\0' + "37A1E",
                 kNotHexCharacter,
                 {{0, 0x30, 0x02}}},
        LineCase{"BinaryType", ":0300300\xFF\xFE", kUnknownRecord, {}},
        LineCase{"MarkOnly", ":", kUnknownRecord, {}}),
    [](const auto& info) { return std::string(info.param.name); });

class SRecordLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SRecordLine, StoresAndReports) {
    const auto& c = GetParam();
    RecordingSink sink;
    int32_t code = 0;
    readSRecordLine(c.line, sink, code);
    EXPECT_EQ(code, c.code);
    EXPECT_THAT(sink.bytes, ElementsAreArray(c.bytes));
}

std::vector<Stored> storedRun(int32_t address, const std::vector<uint8_t>& data) {
    std::vector<Stored> out;
    for (size_t k = 0; k < data.size(); ++k) {
        out.push_back({static_cast<int32_t>(k), address + static_cast<int32_t>(k), data[k]});
    }
    return out;
}

const std::vector<uint8_t> kWiki = {0x28, 0x5F, 0x24, 0x5F, 0x22, 0x12, 0x22, 0x6A,
                                    0x00, 0x04, 0x24, 0x29, 0x00, 0x08, 0x23, 0x7C};

INSTANTIATE_TEST_SUITE_P(
    Records, SRecordLine,
    ::testing::Values(
        LineCase{"S1", "S1130000285F245F2212226A000424290008237C2A", 0, storedRun(0, kWiki)},
        LineCase{"S1LowerCaseDigits", "S1130000285f245f2212226a000424290008237c2a", 0,
                 storedRun(0, kWiki)},
        LineCase{"S1WrongChecksum", "S1130000285F245F2212226A000424290008237C2B", kChecksumError,
                 storedRun(0, kWiki)},
        LineCase{"S2AboveFFFF", testing::sRecord('2', 0x012100, {1, 2, 3}), 0,
                 storedRun(0x2100, {1, 2, 3})},
        LineCase{"S3HighAddress", testing::sRecord('3', 0x80001234, {9, 8}), 0,
                 storedRun(0x1234, {9, 8})},
        LineCase{"S0WrongChecksum", "S00600004844521C", 0, {}},
        LineCase{"S9WrongChecksum", "S9030000AA", 0, {}}, LineCase{"S8", "S804012000DA", 0, {}},
        LineCase{"S7", "S70500000000FA", 0, {}}, LineCase{"S5", "S503000AF2", kUnknownRecord, {}},
        LineCase{"S4", "S4030000FC", kUnknownRecord, {}},
        LineCase{"MarkOnly", "S", kUnknownRecord, {}},
        // The count is converted before the type is looked at; an unknown type overrides it.
        LineCase{"S0CountNotHex", "S0GG00004844521B", kNotHexCharacter, {}},
        LineCase{"S5CountNotHex", "S5GG000AF2", kUnknownRecord, {}},
        LineCase{"NoDataIsNotChecked", "S1030000AA", 0, {}},
        LineCase{"CountBelowAddressLength", "S1020000FD", kChecksumError, {}},
        LineCase{"S3CountBelowAddressLength", "S30412345678FF", kChecksumError, {}},
        LineCase{"AddressNotHex", "S1050G000102F7", kNotHexCharacter, {}},
        LineCase{"ThirdByteNotHex", "S1060000AABBGC00", kNotHexCharacter,
                 storedRun(0, {0xAA, 0xBB})},
        LineCase{"ChecksumNotHex", "S1040000AAZZ", kChecksumError, storedRun(0, {0xAA})},
        LineCase{"ShorterThanItsCount", "S1060000AABB", kChecksumError,
                 storedRun(0, {0xAA, 0xBB, 0x00})},
        LineCase{"TrailingTextNotRead", "S1130000285F245F2212226A000424290008237C2A junk", 0,
                 storedRun(0, kWiki)},
        LineCase{"NulType",
                 std::string("S\0"
                             "030000FC",
                             10),
                 kUnknownRecord,
                 {}},
        LineCase{"BinaryData", "S1050000\x01\x02\xFF", kNotHexCharacter, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quill
