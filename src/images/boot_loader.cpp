#include "flash/error_codes.h"
#include "platform/characters.h"
#include "shell/form1.h"

namespace quill {

namespace {
constexpr int32_t kBootStartAddress = 0xF780;
// Lines up to this length are skipped unread: blank lines, and an S9 end record with a
// 16-bit address, which is exactly 10 characters long.
constexpr size_t kBootShortLine = 10;
}  // namespace

void Form1::clearBootImage() {
    for (int i = 0; i < kBootImageLimit; ++i) bootImage[static_cast<size_t>(i)] = 0;
}

int32_t Form1::loadBootProgram(const std::string& fileName) {
    int32_t result = 1;
    TextFileSlot& file = fileSlot;
    if (!file.open(fileName)) {
        errorCode = kBootFileUnreadable;
        return result;
    }
    bootLength = 0;
    bootStartAddress = 0;

    while (!file.atEnd()) {
        recordLine = file.readLine();
        if (characterCount(recordLine) <= kBootShortLine) continue;
        if (recordLine[0] == ':') {
            readBootHexRecord(recordLine);
        } else if (recordLine[0] == 'S') {
            readBootSRecord(recordLine);
        } else {
            errorCode = kUnknownRecord;
        }
        if (errorCode != 0) {
            file.close();
            return result;
        }
    }

    file.close();
    // A file without any data record leaves the start address at 0, and fails here too.
    if (bootStartAddress != kBootStartAddress) {
        errorCode = kWrongStartAddress;
        return result;
    }
    result = 0;
    return result;
}

}  // namespace quill
