#include "storm/storm.h"

#include <algorithm>
#include <random>
#include <set>

#include "platform/line_settings.h"
#include "platform/scheduler.h"
#include "shell/number_forms.h"
#include "sim/block_record.h"

namespace quill::storm {

namespace {

constexpr int kFlashSize = 0x8000;
constexpr int kMaxBoot = 1904;
constexpr int64_t kRecordChars = int64_t(sim::kRecordSize);

class Dice {
  public:
    explicit Dice(uint64_t seed) : rng_(seed) {}
    // From lo to hi, both included.
    int64_t between(int64_t lo, int64_t hi) {
        return std::uniform_int_distribution<int64_t>(lo, hi)(rng_);
    }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    uint8_t byte() { return uint8_t(between(0, 255)); }
    std::vector<uint8_t> bytes(size_t n) {
        std::vector<uint8_t> out(n);
        for (auto& b : out) b = byte();
        return out;
    }
    template <class T>
    const T& pick(const std::vector<T>& from) {
        return from[size_t(between(0, int64_t(from.size()) - 1))];
    }

  private:
    std::mt19937_64 rng_;
};

size_t recordLength(Dice& d, size_t longest) {
    if (d.chance(0.1)) return size_t(d.between(1, int64_t(longest)));
    return d.pick(std::vector<size_t>{8, 16, 16, 32, 32, 64});
}

std::vector<Segment> userProgram(Dice& d) {
    if (d.chance(0.02)) return {{0, d.bytes(kFlashSize)}};
    const int64_t size = d.chance(0.4)    ? d.between(1, 300)
                         : d.chance(0.67) ? d.between(1, 4096)
                         : d.chance(0.75) ? d.between(1, 12288)
                                          : d.between(1, kFlashSize);
    const int count = int(d.between(1, std::min<int64_t>(6, size)));
    std::vector<int64_t> lengths(size_t(count), size / count);
    lengths.back() += size % count;
    std::vector<int64_t> gaps(size_t(count), 0);
    int64_t total = size;
    for (int i = 1; i < count; ++i) {
        gaps[size_t(i)] = d.chance(0.2) ? d.between(1, 127) : d.between(0, 3000);
        total += gaps[size_t(i)];
    }
    if (total > kFlashSize) {
        std::fill(gaps.begin(), gaps.end(), 0);
        total = size;
    }
    int64_t at = d.between(0, kFlashSize - total);
    std::vector<Segment> out;
    for (int i = 0; i < count; ++i) {
        at += gaps[size_t(i)];
        out.push_back({uint16_t(at), d.bytes(size_t(lengths[size_t(i)]))});
        at += lengths[size_t(i)];
    }
    return out;
}

// A healthy board, with a fault or an odd setting now and then.
std::string boardOptions(Dice& d, size_t bootLength, int blocks) {
    // Random boot programs cannot run on a chip: the board's stand-in kernel takes the blocks.
    std::string o = "kernel=model";
    const auto add = [&o](const std::string& item) { o += "," + item; };
    add("erase-time=" +
        std::to_string(d.chance(0.03) ? d.between(25000, 35000) : d.between(1, 3000)));
    add("program-time=" + std::to_string(d.chance(0.04) ? d.between(150, 400) : d.between(1, 20)));
    std::vector<int> speeds;
    for (int s : {19200, 9600, 4800, 2400})
        if (d.chance(s >= 9600 ? 0.7 : 0.2)) speeds.push_back(s);
    if (speeds.empty()) speeds.push_back(d.pick(std::vector<int>{19200, 9600, 4800}));
    std::string list = "speeds=";
    for (size_t i = 0; i < speeds.size(); ++i) list += (i ? "," : "") + std::to_string(speeds[i]);
    add(list);
    add("match-count=" + std::to_string(d.chance(0.03) ? d.between(15, 25) : d.between(1, 5)));
    if (d.chance(0.01)) add("unpowered");
    if (d.chance(0.01)) add("match-silent");
    if (d.chance(0.02)) add("match-byte=" + hexByteForm(d.byte()));
    if (d.chance(0.03))
        add("erase=" +
            d.pick(std::vector<std::string>{"ff", "silent", "double", hexByteForm(d.byte())}));
    if (d.chance(0.02)) add(d.chance(0.5) ? "length-echo=wrong" : "length-echo=short");
    if (d.chance(0.03))
        add("image-echo=" + std::to_string(d.between(0, int64_t(bootLength) - 1)) +
            (d.chance(0.5) ? ":wrong" : ":silent"));
    if (d.chance(0.02)) add(d.chance(0.5) ? "start=silent" : "start=" + hexByteForm(d.byte()));
    if (d.chance(0.02)) add(d.chance(0.5) ? "prompt=silent" : "prompt=late");
    if (d.chance(0.04)) {
        // A kernel that claims acceptance without writing would be a lying board, not a fault.
        char c = d.pick(std::vector<char>{':', 'A', 'D', 'L', 'S', 'T', 'W', 'Z', '?', 'x'});
        add("block=" + std::to_string(d.between(0, blocks - 1)) + ":" + c);
    }
    if (d.chance(0.03)) add("block-silent=" + std::to_string(d.between(0, blocks - 1)));
    if (d.chance(0.02)) add("chatter");
    if (d.chance(0.03))
        add(d.chance(0.3) ? "line-error=erase"
                          : "line-error=block:" + std::to_string(d.between(0, blocks - 1)));
    if (d.chance(0.03)) add("power-off=block:" + std::to_string(d.between(0, blocks - 1)));
    if (d.chance(0.03)) {
        std::string a = hexByteForm(uint8_t(d.between(0, 0x7F))) + hexByteForm(d.byte());
        add("stuck=" + a + ":" + hexByteForm(d.byte()));
    }
    if (d.chance(0.02)) add("user-line=" + std::to_string(d.pick(speeds)));
    return o;
}

// Each of the five kinds, as likely as the others, in their declared order.
CableFault cableFault(Dice& d, CableFault::Direction direction, int64_t index) {
    using K = CableFault::Kind;
    CableFault f;
    f.direction = direction;
    f.index = index;
    f.kind = K(d.between(0, 4));
    if (f.kind == K::FlipBit) f.bit = int(d.between(0, 7));
    if (f.kind == K::Noise) f.noise = d.bytes(size_t(d.between(1, 8)));
    if (f.kind == K::LineError)
        f.error = d.pick(std::vector<CommEvent>{CommEvent::FramingError, CommEvent::ParityError,
                                                CommEvent::Overrun, CommEvent::BreakReceived});
    return f;
}

}  // namespace

std::vector<int> Schedule::blocks() const {
    std::set<int> seen;
    for (const auto& s : user)
        for (size_t i = 0; i < s.bytes.size(); ++i)
            seen.insert(int((s.address + i) / sim::kBlockSize));
    return {seen.begin(), seen.end()};
}

std::vector<uint8_t> Schedule::image() const {
    std::vector<uint8_t> flash(kFlashSize, 0xFF);
    for (const auto& s : user) std::copy(s.bytes.begin(), s.bytes.end(), flash.begin() + s.address);
    return flash;
}

Schedule drawSchedule(uint64_t seed) {
    Dice d(seed);
    Schedule s;
    s.seed = seed;
    s.boot = d.bytes(size_t(d.chance(0.1) ? d.between(1, 16) : d.between(1, kMaxBoot)));
    s.bootIntelHex = d.chance(0.3);
    s.bootRecordLength = recordLength(d, s.bootIntelHex ? 255 : 252);
    s.user = userProgram(d);
    s.userIntelHex = d.chance(0.4);
    s.userRecordLength = recordLength(d, s.userIntelHex ? 255 : 252);
    const int blocks = int(s.blocks().size());
    s.boardOptions = boardOptions(d, s.boot.size(), blocks);

    // Roughly how many characters each way and how long a sound write takes, so that faults
    // and moments fall inside it.
    const int64_t boot = int64_t(s.boot.size());
    const int64_t toBoard = 20 + boot + 1 + kRecordChars * blocks;
    const int64_t toHost = 20 + boot + 15 + blocks + 1;
    const int64_t charNs = LineSettings{9600, 'N', 8, 1}.charTimeNs();
    const int64_t writeNs =
        3 * kNsPerSecond + 2 * boot * charNs + blocks * (kRecordChars * charNs + 20 * kNsPerMs);

    const int faults = d.chance(0.5) ? 0 : d.chance(0.6) ? 1 : int(d.between(2, 3));
    for (int i = 0; i < faults; ++i) {
        const auto direction =
            d.chance(0.5) ? CableFault::Direction::ToBoard : CableFault::Direction::ToHost;
        // As often in the boot-mode transfer as in the kernel's, however long each is.
        const int64_t bootChars = 20 + boot + 1;
        const int64_t all = direction == CableFault::Direction::ToBoard ? toBoard : toHost;
        const int64_t index =
            d.chance(0.5) ? d.between(0, bootChars - 1) : d.between(bootChars, all - 1);
        // At most one fault per record, echo or answer: two could cancel out, as two bit
        // flips can in a 16-bit sum.
        const bool crowded = std::any_of(s.cable.begin(), s.cable.end(), [&](const auto& f) {
            return f.direction == direction && std::llabs(f.index - index) <= kRecordChars + 1;
        });
        if (!crowded) s.cable.push_back(cableFault(d, direction, index));
    }
    // The braces draw the three in their order.
    auto outage = [&](double p) {
        return Outage{d.chance(p), d.between(0, writeNs), d.between(kNsPerMs, 2 * kNsPerSecond)};
    };
    s.power = outage(0.06);
    s.portLoss = outage(0.04);
    s.stopKey = d.chance(0.05);
    s.stopKeyAtNs = d.between(0, writeNs);
    return s;
}

std::string Schedule::words() const {
    auto ms = [](int64_t ns) { return std::to_string(ns / kNsPerMs) + " ms"; };
    std::string w = "seed " + std::to_string(seed) + "\n";
    w += "  boot program: " + std::to_string(boot.size()) + " bytes as " +
         (bootIntelHex ? "Intel HEX" : "S-records") + " of " + std::to_string(bootRecordLength) +
         "\n";
    size_t total = 0;
    for (const auto& seg : user) total += seg.bytes.size();
    w += "  user program: " + std::to_string(total) + " bytes in " +
         std::to_string(blocks().size()) + " blocks as " +
         (userIntelHex ? "Intel HEX" : "S-records") + " of " + std::to_string(userRecordLength) +
         ":";
    for (const auto& seg : user)
        w += " H'" + hexForm(0x10000 + seg.address).substr(1) + "+" +
             std::to_string(seg.bytes.size());
    w += "\n  board: " + boardOptions + "\n";
    for (const auto& f : cable) w += "  cable: " + f.words() + "\n";
    if (power.happens) w += "  power off at " + ms(power.atNs) + " for " + ms(power.lastsNs) + "\n";
    if (portLoss.happens)
        w += "  port lost at " + ms(portLoss.atNs) + " for " + ms(portLoss.lastsNs) + "\n";
    if (stopKey) w += "  stop key at the first response wait from " + ms(stopKeyAtNs) + "\n";
    return w;
}

}  // namespace quill::storm
