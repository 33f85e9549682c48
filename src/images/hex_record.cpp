#include "images/hex_record.h"

#include "flash/error_codes.h"

namespace quill {

namespace {

// The field of `length` characters at `position` (counted from 1). A line that ends early
// yields only the characters present, so a short record reads as fewer digits or none.
std::string_view field(std::string_view line, size_t position, size_t length) {
    if (position > line.size()) return {};
    return line.substr(position - 1, length);
}

uint8_t byteAt(std::string_view line, size_t position, int32_t& errorCode) {
    return static_cast<uint8_t>(hexToValue(field(line, position, 2), errorCode));
}

}  // namespace

int32_t hexDigitValue(std::string_view text) {
    if (text.empty()) return 16;
    auto c = static_cast<unsigned char>(text.front());
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 55;
    return 16;
}

int32_t hexToValue(std::string_view text, int32_t& errorCode) {
    // Unsigned, so that eight digits from H'80000000 up wrap instead of overflowing.
    uint32_t value = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const int32_t digit = hexDigitValue(text.substr(i, 1));
        if (digit > 15) {
            errorCode = kNotHexCharacter;
            return 0;
        }
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return static_cast<int32_t>(value);
}

void readIntelHexLine(std::string_view line, RecordSink& sink, int32_t& errorCode) {
    // The type is compared as text before anything is converted; the address-extension
    // types are let through unread, so they have no effect on placement.
    const std::string_view type = field(line, 8, 2);
    if (type == "01" || type == "02" || type == "03" || type == "04") return;
    if (type != "00" && type != "81") {
        errorCode = kUnknownRecord;
        return;
    }

    // A count that fails to convert is 0 as well, with code 6 already set.
    const int32_t count = hexToValue(field(line, 2, 2), errorCode);
    if (count == 0) return;
    if (!sink.recordStart(count, errorCode)) return;

    const int32_t address = hexToValue(field(line, 4, 4), errorCode);
    sink.recordAddress(address);

    int32_t sum = count + ((address >> 8) & 0xFF) + (address & 0xFF);
    for (int32_t k = 0; k < count; ++k) {
        const uint8_t value = byteAt(line, 10 + 2 * static_cast<size_t>(k), errorCode);
        if (errorCode != 0) return;
        sink.dataByte(k, address + k, value);
        sum += value;
    }

    const int32_t checksum =
        hexToValue(field(line, 10 + 2 * static_cast<size_t>(count), 2), errorCode);
    if ((sum + checksum) % 256 != 0) errorCode = kChecksumError;
}

void readSRecordLine(std::string_view line, RecordSink& sink, int32_t& errorCode) {
    const int32_t count = hexToValue(field(line, 3, 2), errorCode);
    int32_t sum = count;

    int32_t dataLength = 0;
    int32_t address = 0;
    size_t dataStart = 0;
    const char type = line.size() >= 2 ? line[1] : '\0';
    switch (type) {
        case '0':
        case '7':
        case '8':
        case '9':
            // Header and end records are not checked: a wrong checksum there is accepted.
            return;
        case '1':
        case '2':
        case '3': {
            const int32_t addressBytes = type - '0' + 1;
            dataLength = count - addressBytes - 1;
            address = hexToValue(field(line, 5, 2 * static_cast<size_t>(addressBytes)), errorCode);
            dataStart = 5 + 2 * static_cast<size_t>(addressBytes);
            for (int32_t i = 0; i < addressBytes; ++i) {
                sum += byteAt(line, 5 + 2 * static_cast<size_t>(i), errorCode);
            }
            break;
        }
        default:
            errorCode = kUnknownRecord;
            break;
    }
    if (errorCode != 0) return;
    if (dataLength == 0) return;
    // A count too small for its own address would mean a negative amount of data: such a
    // record is corrupt, and is refused as a failed checksum.
    if (dataLength < 0) {
        errorCode = kChecksumError;
        return;
    }

    address &= 0xFFFF;
    if (!sink.recordStart(dataLength, errorCode)) return;
    sink.recordAddress(address);

    for (int32_t k = 0; k < dataLength; ++k) {
        const uint8_t value = byteAt(line, dataStart + 2 * static_cast<size_t>(k), errorCode);
        if (errorCode != 0) return;
        sink.dataByte(k, address + k, value);
        sum += value;
    }

    // The one's complement of the low byte of the sum, so sum + checksum + 1 is 0 mod 256.
    const int32_t checksum =
        hexToValue(field(line, dataStart + 2 * static_cast<size_t>(dataLength), 2), errorCode);
    if ((sum + checksum + 1) % 256 != 0) errorCode = kChecksumError;
}

}  // namespace quill
