// Program files made by srec_cat from known binary data, loaded by both loaders and
// compared with srec_cat's own conversion of the same file back to binary.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "images/image_desk.h"

namespace quill {
namespace {

using testing::flashImage;
using testing::ImageDesk;

std::vector<uint8_t> pseudoRandom(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

std::vector<uint8_t> readBinary(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBinary(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void srecCat(const std::string& arguments) {
    const std::string command = std::string(QUILL_SREC_CAT) + " " + arguments;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

struct Producer {
    const char* name;
    // Output format options; the data count record S5 would be refused, so it is left out.
    const char* output;
    // The format srec_cat reads the file back in.
    const char* input;
    uint32_t offset;  // added to every address; the loaders keep the low 16 bits
};

void PrintTo(const Producer& p, std::ostream* os) {
    *os << p.name;
}

class SrecCatUserProgram : public ::testing::TestWithParam<Producer> {};

TEST_P(SrecCatUserProgram, FlashHoldsWhatSrecCatReadsFromTheFile) {
    const Producer& p = GetParam();
    ImageDesk desk;
    const std::string dir = desk.path("");
    // Two pieces with a gap between them, neither starting on a block boundary.
    writeBinary(dir + "a.bin", pseudoRandom(5000, 1));
    writeBinary(dir + "b.bin", pseudoRandom(3001, 2));
    ASSERT_NO_FATAL_FAILURE(srecCat(dir + "a.bin -binary -offset " + hex(p.offset + 0x0123) + " " +
                                    dir + "b.bin -binary -offset " + hex(p.offset + 0x4055) +
                                    " -o " + dir + "user.txt " + p.output));
    ASSERT_NO_FATAL_FAILURE(srecCat(dir + "user.txt " + p.input + " -offset -" + hex(p.offset) +
                                    " -fill 0xFF 0 0x8000 -o " + dir + "user.bin -binary"));

    const auto t = desk.transfer(dir + "user.txt");
    EXPECT_EQ(t.errorCode, 0);
    EXPECT_EQ(flashImage(t), readBinary(dir + "user.bin"));
    // 0x0100..0x1500 and 0x4000..0x4C80: no block sent twice, none sent without data.
    EXPECT_EQ(t.blocks.size(), 40u + 25u);
    EXPECT_LE(t.mostEntries, 383);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SrecCatUserProgram,
    ::testing::Values(
        Producer{"S19By16", "-address-length=2 -obs 16 -disable=data-count", "", 0},
        Producer{"S19By252", "-address-length=2 -obs 252 -disable=data-count -crlf", "", 0},
        Producer{"S19WithEnd",
                 "-address-length=2 -obs 32 -disable=data-count -execution-start-address=0", "", 0},
        Producer{"S28High", "-address-length=3 -obs 32 -disable=data-count", "", 0x30000},
        Producer{"S37High",
                 "-address-length=4 -obs 64 -disable=data-count -execution-start-address=0", "",
                 0x12340000},
        Producer{"IntelBy16", "-intel -obs 16", "-intel", 0},
        Producer{"IntelBy255", "-intel -obs 255 -crlf", "-intel", 0},
        Producer{"IntelExtendedLinear", "-intel -obs 32", "-intel", 0x50000}),
    [](const auto& info) { return std::string(info.param.name); });

class SrecCatBootProgram : public ::testing::TestWithParam<Producer> {};

TEST_P(SrecCatBootProgram, ImageIsTheFileDataFromF780) {
    const Producer& p = GetParam();
    ImageDesk desk;
    const std::string dir = desk.path("");
    writeBinary(dir + "boot.bin", pseudoRandom(1904, 3));
    ASSERT_NO_FATAL_FAILURE(srecCat(dir + "boot.bin -binary -offset " + hex(p.offset + 0xF780) +
                                    " -o " + dir + "boot.txt " + p.output));
    ASSERT_NO_FATAL_FAILURE(srecCat(dir + "boot.txt " + p.input + " -offset -" +
                                    hex(p.offset + 0xF780) + " -o " + dir + "back.bin -binary"));

    ASSERT_EQ(desk.loadBoot(dir + "boot.txt"), 0) << desk.form().errorCode;
    const auto back = readBinary(dir + "back.bin");
    ASSERT_EQ(back.size(), 1904u);
    EXPECT_EQ(desk.form().bootLength, 1904);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), desk.form().bootImage.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SrecCatBootProgram,
    ::testing::Values(
        Producer{"S19",
                 "-address-length=2 -obs 32 -disable=data-count -execution-start-address=0xF780",
                 "", 0},
        Producer{"S28", "-address-length=3 -obs 250 -disable=data-count", "", 0x70000},
        Producer{"Intel", "-intel -obs 16 -crlf", "-intel", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SrecCatBootProgram, OneByteTooManyIsCode10) {
    ImageDesk desk;
    const std::string dir = desk.path("");
    writeBinary(dir + "boot.bin", pseudoRandom(1905, 4));
    ASSERT_NO_FATAL_FAILURE(srecCat(dir + "boot.bin -binary -offset 0xF780 -o " + dir +
                                    "boot.txt -address-length=2 -disable=data-count"));
    EXPECT_EQ(desk.loadBoot(dir + "boot.txt"), 1);
    EXPECT_EQ(desk.form().errorCode, 10);
}

}  // namespace
}  // namespace quill
