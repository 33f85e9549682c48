#pragma once

// Program files for tests: S-records and Intel HEX written from bytes, in a scratch folder
// that goes away with the test.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quill::testing {

inline std::string hexByte(unsigned v) {
    static const char d[] = "0123456789ABCDEF";
    return {d[(v >> 4) & 0xF], d[v & 0xF]};
}

struct Segment {
    uint16_t address = 0;
    std::vector<uint8_t> bytes;
};

// Data records of `perRecord` bytes for each segment in turn: S1 records (one's complement
// sum) between an S0 header and an S9 end, or Intel HEX records (two's complement sum) before
// the end record.
inline std::string dataRecords(bool intel, const std::vector<Segment>& segments, size_t perRecord) {
    std::string out = intel ? "" : "S00600004844521B\r\n";
    for (const auto& [address, data] : segments) {
        for (size_t i = 0; i < data.size(); i += perRecord) {
            const size_t n = std::min(perRecord, data.size() - i);
            const unsigned a = unsigned(address + i) & 0xFFFF, count = unsigned(intel ? n : n + 3);
            unsigned sum = count + (a >> 8) + (a & 0xFF);
            std::string line = (intel ? ":" : "S1") + hexByte(count) + hexByte(a >> 8) + hexByte(a);
            if (intel) line += "00";
            for (size_t k = 0; k < n; ++k) {
                line += hexByte(data[i + k]);
                sum += data[i + k];
            }
            out += line + hexByte(intel ? 0x100 - (sum & 0xFF) : ~sum) + "\r\n";
        }
    }
    return out + (intel ? ":00000001FF\r\n" : "S9030000FC\r\n");
}

inline std::string sRecords(uint16_t address, const std::vector<uint8_t>& data,
                            size_t perRecord = 16) {
    return dataRecords(false, {{address, data}}, perRecord);
}

inline std::string intelHex(uint16_t address, const std::vector<uint8_t>& data,
                            size_t perRecord = 16) {
    return dataRecords(true, {{address, data}}, perRecord);
}

// Bytes that differ from their neighbours, so that a misplaced byte shows.
inline std::vector<uint8_t> patternBytes(size_t n, unsigned seed = 1) {
    std::vector<uint8_t> out(n);
    unsigned x = seed * 2654435761u;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    return out;
}

class ScratchFolder {
  public:
    ScratchFolder() {
        static int count = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("quill_test_" + std::to_string(::getpid()) + "_" + std::to_string(count++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string write(const std::string& name, const std::string& content) const {
        const auto p = path_ / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    std::string path(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

}  // namespace quill::testing
