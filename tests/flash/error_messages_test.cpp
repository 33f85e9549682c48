#include "flash/error_messages.h"

#include <gtest/gtest.h>

#include "shell/number_forms.h"

namespace quill {
namespace {

TEST(ErrorMessages, NamesWhatTheFailureConcerns) {
    ErrorContext c{"boot.mot", "user.mot", 0xF700, 0x3F, 0x00};
    EXPECT_EQ(errorMessage(1, c), "not Exist Boot rogram ! [ boot.mot ]\r\n");
    EXPECT_EQ(errorMessage(2, c), "not Exist User rogram ! [ user.mot ]\r\n");
    EXPECT_EQ(errorMessage(7, c), "wrong start Address ! [F700]");
    EXPECT_EQ(errorMessage(25, c), "unknown Response ! [3F]");
    EXPECT_EQ(errorMessage(28, c), "wrong Response ! of transefer end (0xAA: 00)");
    c.bootStartAddress = 0;
    EXPECT_EQ(errorMessage(7, c), "wrong start Address ! [0]");
    EXPECT_EQ(errorMessage(43, c), "unknown error !");
    EXPECT_EQ(errorMessage(11, c), "no data in User program !");
}

TEST(ErrorMessages, OnlyFileRecordFaultsShowTheRecordLine) {
    for (int code = 0; code < 100; ++code)
        EXPECT_EQ(reportShowsRecordLine(code), code == 5 || code == 6 || code == 7 || code == 9)
            << code;
}

TEST(KernelAnswers, EachLetterHasItsCode) {
    const std::pair<char, int> table[] = {{'>', 0},  {':', 51}, {'A', 52}, {'D', 53},
                                          {'L', 54}, {'S', 54}, {'T', 55}, {'W', 57},
                                          {'Z', 56}, {'?', 58}, {'\0', 58}};
    for (auto [letter, code] : table) EXPECT_EQ(kernelAnswerCode(uint8_t(letter)), code) << letter;
}

TEST(NumberForms, DecimalHasALeadingBlankHexNone) {
    EXPECT_EQ(decimalForm(1904), " 1904");
    EXPECT_EQ(decimalForm(0), " 0");
    EXPECT_EQ(decimalForm(-3), "-3");
    EXPECT_EQ(hexForm(0x7F80), "7F80");
    EXPECT_EQ(hexForm(0), "0");
    EXPECT_EQ(hexByteForm(0), "00");
    EXPECT_EQ(hexByteForm(0xAB), "AB");
}

}  // namespace
}  // namespace quill
