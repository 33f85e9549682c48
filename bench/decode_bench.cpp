// Decoding speed of program files: 1 MB of S-records and 1 MB of Intel HEX, generated here,
// through the line decoders, in bytes of file text per second.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "images/hex_record.h"

namespace {

using namespace quill;

constexpr size_t kFileSize = 1 << 20;
constexpr size_t kBytesPerRecord = 32;

std::string hexByte(unsigned v) {
    static const char digits[] = "0123456789ABCDEF";
    return {digits[(v >> 4) & 0xF], digits[v & 0xF]};
}

// S1 records, or Intel HEX data records, of 32 bytes each, addresses wrapping at H'10000.
std::string programFile(bool intel) {
    std::string text;
    uint32_t seed = 12345;
    for (unsigned address = 0; text.size() < kFileSize;
         address = (address + kBytesPerRecord) & 0xFFFF) {
        unsigned sum = (address >> 8) + (address & 0xFF);
        std::string line;
        if (intel) {
            sum += kBytesPerRecord;
            line = ":" + hexByte(kBytesPerRecord) + hexByte(address >> 8) + hexByte(address) + "00";
        } else {
            sum += kBytesPerRecord + 3;
            line = "S1" + hexByte(kBytesPerRecord + 3) + hexByte(address >> 8) + hexByte(address);
        }
        for (size_t k = 0; k < kBytesPerRecord; ++k) {
            seed = seed * 1664525u + 1013904223u;
            const unsigned b = seed >> 24;
            line += hexByte(b);
            sum += b;
        }
        line += intel ? hexByte(0x100 - (sum & 0xFF)) : hexByte(~sum);
        text += line + "\r\n";
    }
    return text;
}

class SummingSink : public RecordSink {
  public:
    void dataByte(int32_t, int32_t address, uint8_t value) override { sum += address + value; }
    uint64_t sum = 0;
};

void decodeFile(benchmark::State& state, bool intel) {
    const std::string file = programFile(intel);
    for (auto _ : state) {
        SummingSink sink;
        int32_t errorCode = 0;
        std::string_view rest = file;
        while (!rest.empty()) {
            const size_t end = rest.find_first_of("\r\n");
            const std::string_view line = rest.substr(0, end);
            if (intel) {
                readIntelHexLine(line, sink, errorCode);
            } else {
                readSRecordLine(line, sink, errorCode);
            }
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
            while (!rest.empty() && (rest.front() == '\r' || rest.front() == '\n'))
                rest.remove_prefix(1);
        }
        if (errorCode != 0) state.SkipWithError("the generated file does not decode");
        benchmark::DoNotOptimize(sink.sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}

void BM_DecodeSRecordFile(benchmark::State& state) {
    decodeFile(state, false);
}
void BM_DecodeIntelHexFile(benchmark::State& state) {
    decodeFile(state, true);
}

BENCHMARK(BM_DecodeSRecordFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeIntelHexFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
