#include "flash/error_messages.h"

#include "flash/error_codes.h"
#include "shell/number_forms.h"

namespace quill {

std::string errorMessage(int32_t code, const ErrorContext& c) {
    switch (code) {
        case kBootFileMissing:
            return "not Exist Boot rogram ! [ " + c.bootFileName + " ]\r\n";
        case kUserFileMissing:
            return "not Exist User rogram ! [ " + c.userFileName + " ]\r\n";
        case kBootFileUnreadable:
            return "can't Open Boot program !\r\n";
        case kUserFileUnreadable:
            return "can't Open User program !\r\n";
        case kUnknownRecord:
            return "unknown Hex Recode !\r\n";
        case kNotHexCharacter:
            return "exist not Hex character !";
        case kWrongStartAddress:
            return "wrong start Address ! [" + hexForm(c.bootStartAddress) + "]";
        case kChecksumError:
            return "Check-Sum error !";
        case kBootProgramTooLong:
            return "too long Boot program !";
        case kNoUserData:
            return "no data in User program !";
        case kNoPower:
            return "H8 Power is OFF !";
        case kNoBitRateMatch:
            return "can't connect H8 !";
        case kEraseFailed:
            return "can't Erace !";
        case kEraseUnknownAnswer:
            return "unknown Response ! [" + hexByteForm(c.eraseAnswer) + "]";
        case kLengthEchoDiffers:
            return "different Response !";
        case kImageEchoWrong:
            return "incorrect Response !";
        case kNoStartAnswer:
            return "wrong Response ! of transefer end (0xAA: " + hexByteForm(c.startAnswer) + ")";
        case kKernelSilent:
            return "unverified ! User Boot Prog.";
        case kNoBlockAnswer:
            return "no Response after Block-Write !";
        case kKernelBadHeader:
            return "unknown Haeder ! (H8)";
        case kKernelBoundary:
            return "Boundary error ! (Write address : H8)";
        case kKernelWriteTwice:
            return "Write 2 times ! (H8)";
        case kKernelNoDelimiter:
            return "no Delimita ! (H8)";
        case kKernelTimeout:
            return "wait over ! (5Sec : H8)";
        case kKernelFlashError:
            return "Flash write error ! (H8)";
        case kKernelAddressRange:
            return "out of Write Address ! (H8)";
        case kKernelUnknown:
            return "unknown error ! (H8)";
        case kResponseTimeout:
            return "no Response from H8 !";
        case kTooManyCharacters:
            return "too many character ! from H8";
        case kReceiveError:
            return "COM receive error !";
        case kStopByKey:
            return "Stop by Key !";
        default:
            return "unknown error !";
    }
}

bool reportShowsRecordLine(int32_t code) {
    return code == kUnknownRecord || code == kNotHexCharacter || code == kWrongStartAddress ||
           code == kChecksumError;
}

int32_t kernelAnswerCode(uint8_t firstByte) {
    switch (firstByte) {
        case '>':
            return kNoError;
        case ':':
            return kKernelBadHeader;
        case 'A':
            return kKernelBoundary;
        case 'D':
            return kKernelWriteTwice;
        case 'L':
        case 'S':
            return kKernelNoDelimiter;
        case 'T':
            return kKernelTimeout;
        case 'W':
            return kKernelAddressRange;
        case 'Z':
            return kKernelFlashError;
        default:
            return kKernelUnknown;
    }
}

}  // namespace quill
