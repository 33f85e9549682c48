#pragma once

#include <cstdint>
#include <string>

namespace quill {

// What the words of a failure may name.
struct ErrorContext {
    std::string bootFileName;
    std::string userFileName;
    int32_t bootStartAddress = 0;
    uint8_t eraseAnswer = 0;  // the byte received after H'55
    uint8_t startAnswer = 0;  // the byte received in place of the start answer H'AA
};

// The error text of a failure code: the one table of the words of every code.
std::string errorMessage(int32_t code, const ErrorContext& context);

// Codes whose report shows the offending program-file line first.
bool reportShowsRecordLine(int32_t code);

// The code of the kernel's first answer byte to a block record (0 for the prompt ">").
int32_t kernelAnswerCode(uint8_t firstByte);

}  // namespace quill
