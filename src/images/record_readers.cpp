#include "flash/error_codes.h"
#include "images/hex_record.h"
#include "shell/form1.h"

namespace quill {

namespace {

// The boot program is laid down record after record from index 0, whatever the record
// addresses say: only the first nonzero address counts, as the start address.
class BootImageSink : public RecordSink {
  public:
    explicit BootImageSink(Form1State& state) : s_(state) {}

    bool recordStart(int32_t dataLength, int32_t& errorCode) override {
        recordBase_ = s_.bootLength;
        s_.bootLength = s_.bootLength + dataLength;
        if (s_.bootLength > Form1State::kBootImageLimit) {
            errorCode = kBootProgramTooLong;
            return false;
        }
        return true;
    }

    void recordAddress(int32_t address) override {
        if (s_.bootStartAddress == 0) s_.bootStartAddress = address;
    }

    void dataByte(int32_t index, int32_t, uint8_t value) override {
        s_.bootImage[static_cast<size_t>(recordBase_ + index)] = value;
    }

  private:
    Form1State& s_;
    int32_t recordBase_ = 0;
};

// Every byte becomes one ring entry with its own address; keeping the ring from overrunning
// is the filler's duty, not the sink's.
class UserBufferSink : public RecordSink {
  public:
    explicit UserBufferSink(Form1State& state) : s_(state) {}

    void dataByte(int32_t, int32_t address, uint8_t value) override {
        s_.UBdata[static_cast<size_t>(s_.UBwp)] = value;
        s_.UBaddr[static_cast<size_t>(s_.UBwp)] = address;
        s_.UBwp = s_.UBwp + 1;
        if (s_.UBwp > Form1State::kUserBufferRing - 1) s_.UBwp = 0;
    }

  private:
    Form1State& s_;
};

}  // namespace

void Form1::readBootHexRecord(std::string line) {
    BootImageSink sink(*this);
    readIntelHexLine(line, sink, errorCode);
}

void Form1::readBootSRecord(std::string line) {
    BootImageSink sink(*this);
    readSRecordLine(line, sink, errorCode);
}

void Form1::readUserHexRecord(std::string line) {
    UserBufferSink sink(*this);
    readIntelHexLine(line, sink, errorCode);
}

void Form1::readUserSRecord(std::string line) {
    UserBufferSink sink(*this);
    readSRecordLine(line, sink, errorCode);
}

}  // namespace quill
