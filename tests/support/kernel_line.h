#pragma once

// The host's end of the cable driven by hand, for what the write never sends: it takes the
// board through boot mode to a running kernel, then sends any bytes and times the answer.

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "images/hex_record.h"
#include "platform/virtual/virtual_scheduler.h"
#include "platform/virtual/virtual_serial_port.h"
#include "sim/board.h"

namespace quill::testing {

// The data bytes of a program file of S-records or Intel HEX records from `origin` on, H'FF
// where it has none: `size` bytes, or up to its last byte when that is further.
inline std::vector<uint8_t> fileImage(const std::string& path, uint16_t origin, size_t size = 0) {
    struct Sink : RecordSink {
        uint16_t origin;
        std::vector<uint8_t> image;
        void dataByte(int32_t, int32_t address, uint8_t value) override {
            if (address < origin) throw std::runtime_error("a byte below the image");
            image.resize(std::max(image.size(), size_t(address - origin + 1)), 0xFF);
            image[size_t(address - origin)] = value;
        }
    } sink;
    sink.origin = origin;
    sink.image.assign(size, 0xFF);
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    for (std::string line; std::getline(in, line);) {
        int32_t error = 0;
        if (line.starts_with(':')) readIntelHexLine(line, sink, error);
        if (line.starts_with('S')) readSRecordLine(line, sink, error);
        if (error != 0) throw std::runtime_error(path + ": bad record " + line);
    }
    return sink.image;
}

// A block record as the write sends it, with data byte i = fill + i * step; its form can then
// be spoiled byte by byte, and sign() makes the checksum sound again.
struct CraftedRecord {
    std::array<uint8_t, 137> bytes{};

    CraftedRecord(uint16_t address, uint8_t fill, int step = 0) {
        bytes[0] = 'A';
        bytes[4] = uint8_t(address >> 8);
        bytes[5] = uint8_t(address);
        for (int i = 0; i < 128; ++i) bytes[size_t(6 + i)] = uint8_t(fill + i * step);
        bytes[136] = 0x0D;
        sign();
    }
    // Worked out here rather than with the program's own code, so that a wrong sum there
    // shows.
    CraftedRecord& sign() {
        unsigned sum = 0;
        for (size_t i = 0; i < 134; ++i) sum += bytes[i];
        bytes[134] = uint8_t((0x10000 - sum) >> 8);
        bytes[135] = uint8_t(0x10000 - sum);
        return *this;
    }
    std::vector<uint8_t> cut(size_t length) const {
        return {bytes.begin(), bytes.begin() + long(length)};
    }
    std::vector<uint8_t> whole() const { return {bytes.begin(), bytes.end()}; }
};

class KernelLine {
  public:
    // `options` as QUILLMONT_SIM takes them; `speed` one the board's boot ROM matches.
    KernelLine(const std::string& options, int speed) : speed_(speed) {
        auto parsed = sim::parseBoardOptions(options);
        if (!parsed.ok()) throw std::invalid_argument(parsed.error);
        port_.setSettings(std::to_string(speed) + ",N,8,1");
        board_ = std::make_unique<sim::Board>(clock_, port_, parsed.options);
        port_.setRts(true);
        port_.setDtr(true);
        port_.open();
    }

    // A reset with the mode pin low (boot mode) or high (the user program), lines held as a
    // writer holds them.
    void reset(bool userMode) {
        port_.readAll();
        port_.setDtr(false);
        run(3);
        port_.setRts(userMode);
        run(100);
        port_.setDtr(true);
        run(300);
    }

    // The writer's search: up to 21 probes, 5 ms apart; the try that got exactly one byte
    // back and that byte, or -1.
    std::pair<int, int> tryMatch(const std::string& line, uint8_t probe = 0x00) {
        port_.setSettings(line);
        run(10);
        for (int k = 0; k < 21; ++k) {
            auto got = within({probe}, 5);
            if (got.size() == 1) return {k, uint8_t(got[0])};
        }
        return {-1, -1};
    }

    // Boot mode, the bit-rate match, the erase and the image, then the wake-up CR: what the
    // kernel sent up to its prompt, or a text that says which step went wrong.
    std::string start(const std::vector<uint8_t>& image) {
        reset(false);
        if (tryMatch(std::to_string(speed_) + ",N,8,1").second != 0) return "no bit-rate match";
        if (within({0x55}, board_->options().eraseTimeMs + 50) != "\xAA") return "no erase";
        const auto n = image.size();
        if (within({uint8_t(n >> 8), uint8_t(n)}, 20).size() != 2) return "no length echo";
        const std::string echo = within(image, int(n * 2 * 11'000 / speed_) + 50);
        if (echo != std::string(image.begin(), image.end()) + "\xAA") return "no image echo";
        // Everything the kernel says within the 100 ms the write gives it.
        return within({0x0D}, 100);
    }

    // What came back within `waitMs` of sending `bytes`; anything older is dropped.
    std::string within(const std::vector<uint8_t>& bytes, int waitMs) {
        port_.readAll();
        sent_ = port_.traffic().size();
        sentNs_ = clock_.nowNs();
        port_.write(bytes);
        run(waitMs);
        const auto in = port_.readAll();
        return {in.begin(), in.end()};
    }

    // From the last send to the end of the first character of its answer.
    int64_t answerDelayNs() const {
        const auto& t = port_.traffic();
        for (size_t k = sent_; k < t.size(); ++k)
            if (t[k].toHost) return t[k].endNs - sentNs_;
        return -1;
    }
    sim::Board& board() { return *board_; }
    VirtualSerialPort& port() { return port_; }
    VirtualScheduler& clock() { return clock_; }

  private:
    void run(int ms) { clock_.runFor(int64_t(ms) * kNsPerMs); }

    VirtualScheduler clock_;
    VirtualSerialPort port_{clock_, "kernel line"};
    std::unique_ptr<sim::Board> board_;
    int speed_;
    size_t sent_ = 0;  // the port's traffic before the last send
    int64_t sentNs_ = 0;
};

}  // namespace quill::testing
