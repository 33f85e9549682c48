#pragma once

#include <cstdint>

namespace quill {

// The failure codes of a write. Their words are in error_messages.cpp; nothing else defines
// a code. 1 to 11 concern the program files, 21 to 28 the boot-mode transfer, 41 to 58 the
// kernel protocol, 81 to 83 and 99 the aborts of a wait.
enum ErrorCode : int32_t {
    kNoError = 0,
    kBootFileMissing = 1,
    kUserFileMissing = 2,
    kBootFileUnreadable = 3,
    kUserFileUnreadable = 4,
    kUnknownRecord = 5,
    kNotHexCharacter = 6,
    kWrongStartAddress = 7,
    kChecksumError = 9,
    kBootProgramTooLong = 10,
    kNoUserData = 11,
    kNoPower = 21,
    kNoBitRateMatch = 22,
    kEraseFailed = 24,
    kEraseUnknownAnswer = 25,
    kLengthEchoDiffers = 26,
    kImageEchoWrong = 27,
    kNoStartAnswer = 28,
    kKernelSilent = 41,
    kNoBlockAnswer = 42,
    kBlockAddressTooHigh = 43,
    kKernelBadHeader = 51,
    kKernelBoundary = 52,
    kKernelWriteTwice = 53,
    kKernelNoDelimiter = 54,
    kKernelTimeout = 55,
    kKernelFlashError = 56,
    kKernelAddressRange = 57,
    kKernelUnknown = 58,
    kResponseTimeout = 81,
    kTooManyCharacters = 82,
    kReceiveError = 83,
    kStopByKey = 99,
};

}  // namespace quill
