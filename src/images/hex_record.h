#pragma once

// Decoding of one Intel HEX or Motorola S-record line. Faults are reported through the
// error code the caller passes in, which the decoders set but never clear.

#include <cstdint>
#include <string_view>

namespace quill {

// 0..15 for a hexadecimal digit in the first character of the text (either case), 16 for
// anything else, an empty text included.
int32_t hexDigitValue(std::string_view text);

// The value of a run of hexadecimal digits; 0 with errorCode 6 at the first non-digit. Eight
// digits of H'80000000 or more wrap into the negative range: only the low 32 bits are kept.
int32_t hexToValue(std::string_view text, int32_t& errorCode);

// Where the data bytes of a record go.
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    // First record-start step, once per data record that has data: false ends the record
    // before any byte of it is stored (the sink has set errorCode).
    virtual bool recordStart(int32_t dataLength, int32_t& errorCode) {
        (void)dataLength;
        (void)errorCode;
        return true;
    }
    // Second record-start step: the record's 16-bit address.
    virtual void recordAddress(int32_t address) { (void)address; }
    // Data byte `index` of the record, which belongs at `address`.
    virtual void dataByte(int32_t index, int32_t address, uint8_t value) = 0;
};

// One line starting with ":". Types 00 and 81 carry data; 01 to 04 are ignored unread.
void readIntelHexLine(std::string_view line, RecordSink& sink, int32_t& errorCode);

// One line starting with "S". S1 to S3 carry data, placed at the low 16 bits of their
// address; S0 and S7 to S9 are ignored after the byte count.
void readSRecordLine(std::string_view line, RecordSink& sink, int32_t& errorCode);

}  // namespace quill
