#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "flash/error_codes.h"
#include "images/image_desk.h"
#include "images/record_text.h"

namespace quill {
namespace {

using testing::ImageDesk;
using testing::intelRecord;
using testing::run;
using testing::sRecord;

// S1 records of `perRecord` bytes from `address`, carrying `data`.
std::string sFile(uint16_t address, const std::vector<uint8_t>& data, size_t perRecord = 16,
                  const char* end = "\r\n") {
    std::string text = "S00600004844521B" + std::string(end);
    for (size_t i = 0; i < data.size(); i += perRecord) {
        const auto last = std::min(data.size(), i + perRecord);
        text += sRecord('1', static_cast<uint32_t>(address + i),
                        std::vector<uint8_t>(data.begin() + i, data.begin() + last)) +
                end;
    }
    return text + "S9030000FC" + end;
}

std::vector<uint8_t> image(const Form1& f) {
    return {f.bootImage.begin(), f.bootImage.begin() + f.bootLength};
}

TEST(LoadBootProgram, TakesAFullSizeProgramWithAnyLineEnd) {
    for (const char* end : {"\r\n", "\n", "\r"}) {
        ImageDesk desk;
        const auto data = run(1904, 7);
        ASSERT_EQ(desk.loadBoot(desk.file("boot.mot", sFile(0xF780, data, 32, end))), 0) << end;
        EXPECT_EQ(desk.form().errorCode, 0);
        EXPECT_EQ(desk.form().bootStartAddress, 0xF780);
        EXPECT_EQ(image(desk.form()), data);
        EXPECT_FALSE(desk.slot().isOpen());
    }
}

TEST(LoadBootProgram, RefusesTheRecordThatCrossesTheLimit) {
    ImageDesk desk;
    const std::string text = sFile(0xF780, run(1901)) + sRecord('1', 0xFF00, {1, 2, 3, 4}) +
                             "\r\n" + sRecord('1', 0xFF04, {5}) + "\r\n";
    EXPECT_EQ(desk.loadBoot(desk.file("boot.mot", text)), 1);
    EXPECT_EQ(desk.form().errorCode, kBootProgramTooLong);
    EXPECT_EQ(desk.form().recordLine, sRecord('1', 0xFF00, {1, 2, 3, 4}));
    // The length keeps the raised value; nothing of the refused record was stored.
    EXPECT_EQ(desk.form().bootLength, 1905);
    EXPECT_EQ(desk.form().bootImage[1900], static_cast<uint8_t>(1900));
    EXPECT_EQ(desk.form().bootImage[1901], 0);
    EXPECT_EQ(desk.form().bootImage[1904], 0);
    EXPECT_FALSE(desk.slot().isOpen());
}

TEST(LoadBootProgram, ClosesUpGapsBetweenRecords) {
    ImageDesk desk;
    const std::string text = sRecord('1', 0xF780, run(16, 0x10)) + "\n" +
                             sRecord('1', 0xF800, run(16, 0x20)) + "\n" +
                             intelRecord("00", 0xFE00, run(2, 0x30)) + "\n";
    ASSERT_EQ(desk.loadBoot(desk.file("boot.mot", text)), 0);
    std::vector<uint8_t> expected = run(16, 0x10);
    for (uint8_t b : run(16, 0x20)) expected.push_back(b);
    for (uint8_t b : run(2, 0x30)) expected.push_back(b);
    EXPECT_EQ(image(desk.form()), expected);
}

TEST(LoadBootProgram, AnIntelHexProgramLoadsLikeItsSRecordForm) {
    ImageDesk desk;
    const auto data = run(100, 0xA0);
    std::string hex = ":020000040000FA\r\n";
    for (size_t i = 0; i < data.size(); i += 16) {
        const auto last = std::min(data.size(), i + 16);
        hex += intelRecord("00", static_cast<uint16_t>(0xF780 + i),
                           std::vector<uint8_t>(data.begin() + i, data.begin() + last)) +
               "\r\n";
    }
    hex += ":00000001FF\r\n";
    ASSERT_EQ(desk.loadBoot(desk.file("boot.hex", hex)), 0);
    EXPECT_EQ(image(desk.form()), data);

    ImageDesk other;
    ASSERT_EQ(other.loadBoot(other.file("boot.mot", sFile(0xF780, data))), 0);
    EXPECT_EQ(image(other.form()), data);
}

TEST(LoadBootProgram, ChecksTheStartAddressAfterTheWholeFile) {
    struct Case {
        const char* name;
        std::string text;
        int32_t start;
        std::string lastLine;
    };
    const std::string atF700 = sRecord('1', 0xF700, run(4));
    const Case cases[] = {
        {"WrongStart", atF700 + "\r\n" + sRecord('1', 0xF780, run(4)) + "\r\nS9030000FC\r\n",
         0xF700, "S9030000FC"},
        {"Empty", "", 0, ""},
        {"NoDataRecord", "S00600004844521B\r\nS9030000FC\r\n", 0, "S9030000FC"},
        // Address 0 never sets the start; data there still counts and is kept.
        {"ZeroAddressFirstIsNotTheStart",
         sRecord('1', 0x0000, run(2)) + "\n" + sRecord('1', 0xF000, run(2)) + "\n", 0xF000,
         sRecord('1', 0xF000, run(2))},
    };
    for (const auto& c : cases) {
        ImageDesk desk;
        EXPECT_EQ(desk.loadBoot(desk.file("boot.mot", c.text)), 1) << c.name;
        EXPECT_EQ(desk.form().errorCode, kWrongStartAddress) << c.name;
        EXPECT_EQ(desk.form().bootStartAddress, c.start) << c.name;
        EXPECT_EQ(desk.form().recordLine, c.lastLine) << c.name;
    }
}

TEST(LoadBootProgram, StopsAtTheFirstBadLine) {
    struct Case {
        const char* name;
        std::string badLine;
        int32_t code;
        int32_t length;  // a record that got past its start counts in full
    };
    const Case cases[] = {
        {"ElevenCharactersOfText", "hello world", kUnknownRecord, 4},
        {"LowerCaseMark", "s1130000285F245F2212226A000424290008237C2A", kUnknownRecord, 4},
        {"LeadingBlank", " S1130000285F245F2212226A000424290008237C2A", kUnknownRecord, 4},
        {"S5", "S5030001FB0", kUnknownRecord, 4},
        {"Intel05", ":0400000500000120D6", kUnknownRecord, 4},
        {"NotHex", "S1050000AG0000", kNotHexCharacter, 6},
        {"Checksum", "S1130000285F245F2212226A000424290008237C2B", kChecksumError, 20},
        {"NegativeLength", "S1020000FD0", kChecksumError, 4},
        {"Binary", std::string("S1\0\x01\x02\x03\xFF\xFE\x80\x7F\x00", 11), kNotHexCharacter, 4},
    };
    for (const auto& c : cases) {
        ImageDesk desk;
        const std::string text = sRecord('1', 0xF780, run(4)) + "\r\n" + c.badLine + "\r\n" +
                                 sRecord('1', 0xF784, run(4)) + "\r\n";
        EXPECT_EQ(desk.loadBoot(desk.file("boot.mot", text)), 1) << c.name;
        EXPECT_EQ(desk.form().errorCode, c.code) << c.name;
        EXPECT_EQ(desk.form().recordLine, c.badLine) << c.name;
        EXPECT_EQ(desk.form().bootLength, c.length) << c.name;
        EXPECT_FALSE(desk.slot().isOpen()) << c.name;
    }
}

TEST(LoadBootProgram, SkipsLinesOfTenCharactersOrFewer) {
    ImageDesk desk;
    // A 16-bit S9 end record is exactly 10 characters; an 11-character Intel end record is
    // read and ignored by its reader.
    const std::string text = "\r\n0123456789\r\nS9030000FC\r\n" + sRecord('1', 0xF780, run(4)) +
                             "\r\n:00000001FF\r\nS9030000\r\n";
    ASSERT_EQ(desk.loadBoot(desk.file("boot.mot", text)), 0);
    EXPECT_EQ(desk.form().bootLength, 4);
}

TEST(LoadBootProgram, OrderOfChecksDecidesTheCodeOfADoublyBadRecord) {
    // Too long and a bad address: Intel HEX does the length check before converting the
    // address, S-records convert the address first.
    struct Case {
        const char* name;
        std::string lastLine;
        int32_t code;
    };
    const Case cases[] = {
        {"IntelHex", ":04FG000001020304F2", kBootProgramTooLong},
        {"SRecord", "S107FG0001020304F2", kNotHexCharacter},
    };
    for (const auto& c : cases) {
        ImageDesk desk;
        const std::string text = sFile(0xF780, run(1902)) + c.lastLine + "\r\n";
        EXPECT_EQ(desk.loadBoot(desk.file("boot.mot", text)), 1) << c.name;
        EXPECT_EQ(desk.form().errorCode, c.code) << c.name;
    }
}

TEST(LoadBootProgram, ClearsWhatALongerEarlierProgramLeft) {
    ImageDesk desk;
    ASSERT_EQ(desk.loadBoot(desk.file("long.mot", sFile(0xF780, run(64, 1)))), 0);
    ASSERT_EQ(desk.loadBoot(desk.file("short.mot", sFile(0xF780, run(8, 1)))), 0);
    EXPECT_EQ(desk.form().bootLength, 8);
    for (size_t i = 8; i < 1904; ++i) ASSERT_EQ(desk.form().bootImage[i], 0) << i;
}

TEST(LoadBootProgram, AFileThatCannotBeOpenedIsCode3) {
    ImageDesk desk;
    std::filesystem::create_directory(desk.path("folder.mot"));
    for (const std::string& path : {desk.path("missing.mot"), desk.path("folder.mot")}) {
        EXPECT_EQ(desk.loadBoot(path), 1) << path;
        EXPECT_EQ(desk.form().errorCode, kBootFileUnreadable) << path;
    }
}

}  // namespace
}  // namespace quill
