// The emulated CPU against GDB's H8/300 simulator, run as a program: random straight-line
// instruction sequences (and a few hand-written loops) run on both, and the registers, CCR and
// a data area must agree after each. The simulator runs the H8/300H in advanced mode, so the
// sequences keep to what both modes do alike: no calls, addresses below H'10000 reached
// through registers or 24-bit absolutes.
//
// QUILLMONT_H8_SEQUENCES sets how many sequences (default 300), QUILLMONT_H8_SEED the first
// seed; scripts/h8-oracle runs many more.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include "sim/h8/chip.h"
#include "support/h8_tools.h"

namespace quill::sim::h8 {
namespace {

constexpr uint16_t kCode = 0x1000;
constexpr uint16_t kData = 0xFA00;  // 512 bytes, refilled from the template before each run
constexpr uint16_t kDump = 0xFC00;  // ER0-ER7, then the CCR word
constexpr int kDataSize = 512, kDumpSize = 0x244;
constexpr int kPerProgram = 64;  // sequences per program: they fit below H'8000

class Generator {
  public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    std::string sequence(int length) {
        stacked_ = 0;
        std::string s;
        for (int k = 0; k < length; ++k) s += "\t" + instruction() + "\n";
        return s;
    }
    uint32_t any() { return rng_(); }
    int pick(int n) { return int(rng_() % uint32_t(n)); }

  private:
    std::string hex(uint32_t v) {
        char b[16];
        std::snprintf(b, sizeof b, "0x%x", v);
        return b;
    }
    // Data registers: ER0-ER4 and their halves; ER5 and ER6 point into the data area.
    std::string reg(int size) {
        const int n = pick(5);
        if (size == 4) return "er" + std::to_string(n);
        if (size == 2) return (pick(2) ? "r" : "e") + std::to_string(n);
        return "r" + std::to_string(n) + (pick(2) ? "h" : "l");
    }
    std::string pointer() { return pick(2) ? "er5" : "er6"; }
    const char* suffix(int size) { return size == 1 ? ".b" : size == 2 ? ".w" : ".l"; }
    uint32_t imm(int size) {
        const uint32_t v = pick(4) == 0 ? uint32_t(pick(3)) - 1 : any();
        return size == 1 ? v & 0xFF : size == 2 ? v & 0xFFFF : v;
    }
    // `load`: the operand is read (post-increment exists only for reads, pre-decrement only
    // for writes).
    std::string memory(int size, bool load) {
        // The data area, kept away from its ends: the pointers wander by at most a few bytes.
        const int align = size == 1 ? 1 : 2;
        switch (pick(5)) {
            case 0:
                return "@" + pointer();
            case 1:
                return "@(" + std::to_string((pick(64) - 32) * align) + ":16," + pointer() + ")";
            case 2:
                return "@(" + std::to_string((pick(64) - 32) * align) + ":24," + pointer() + ")";
            case 3:
                return "@" + hex(kData + 0x80 + uint32_t(pick(0x80)) * 2) + ":24";
            default:
                // bytes would leave the pointers odd, where words differ (the simulator reads
                // across the pair, the chip takes the even address)
                if (size == 1) return "@" + pointer();
                return load ? "@" + pointer() + "+" : "@-" + pointer();
        }
    }
    std::string instruction() {
        const int size = 1 << pick(3);
        const std::string x = suffix(size);
        switch (pick(22)) {
            case 0:
                return "mov" + x + "\t" + reg(size) + "," + reg(size);
            case 1:
                return "mov" + x + "\t#" + hex(imm(size)) + "," + reg(size);
            case 2:
                return pick(2) ? "mov" + x + "\t" + memory(size, true) + "," + reg(size)
                               : "mov" + x + "\t" + reg(size) + "," + memory(size, false);
            case 3: {
                static const char* ops[] = {"add", "sub", "cmp", "and", "or", "xor"};
                return std::string(ops[pick(6)]) + x + "\t" + reg(size) + "," + reg(size);
            }
            case 4: {
                // no SUB.B #xx on this CPU
                static const char* ops[] = {"add", "cmp", "and", "or", "xor", "sub"};
                const int n = pick(size == 1 ? 5 : 6);
                return std::string(ops[n]) + x + "\t#" + hex(imm(size)) + "," + reg(size);
            }
            case 5:
                // Z set first, as a multi-byte sum does: the simulator sets Z on a zero result
                // where the chip leaves it unchanged.
                return std::string("orc\t#4,ccr\n\t") + (pick(2) ? "addx" : "subx") + "\t" +
                       (pick(2) ? reg(1) : "#" + hex(imm(1))) + "," + reg(1);
            case 6:
                return std::string(pick(2) ? "adds" : "subs") + "\t#" + "124"[pick(3)] + "," +
                       reg(4);
            case 7: {
                // V cleared after: the simulator gets INC's and DEC's overflow wrong (the case
                // table holds it to the manual).
                const std::string op = pick(2) ? "inc" : "dec";
                if (size == 1) return op + ".b\t" + reg(1) + "\n\tandc\t#0xfd,ccr";
                return op + x + "\t#" + "12"[pick(2)] + "," + reg(size) + "\n\tandc\t#0xfd,ccr";
            }
            case 8:
                return std::string(pick(2) ? "neg" : "not") + x + "\t" + reg(size);
            case 9:
                if (size == 1) return "nop";
                return std::string(pick(2) ? "exts" : "extu") + x + "\t" + reg(size);
            case 10: {
                static const char* ops[] = {"shal", "shar", "shll",  "shlr",
                                            "rotl", "rotr", "rotxl", "rotxr"};
                return std::string(ops[pick(8)]) + x + "\t" + reg(size);
            }
            case 11: {
                if (size == 4) return "nop";
                const std::string wide = size == 1 ? reg(2) : reg(4);
                return std::string(pick(2) ? "mulxu" : "mulxs") + x + "\t" + reg(size) + "," + wide;
            }
            case 12:
                return division();
            case 13:  // DAA and DAS go by H, which the simulator leaves alone: the case table has
                      // them
                return "nop";
            case 14: {
                static const char* ops[] = {"bset", "bclr", "bnot", "btst", "bld",
                                            "bild", "bst",  "bist", "band", "biand",
                                            "bor",  "bior", "bxor", "bixor"};
                const int op = pick(14);
                const std::string bit = op < 4 && pick(2) ? reg(1) : "#" + std::to_string(pick(8));
                return std::string(ops[op]) + "\t" + bit + "," +
                       (pick(2) ? reg(1) : "@" + pointer());
            }
            case 15: {
                static const char* ops[] = {"andc", "orc", "xorc", "ldc"};
                return std::string(ops[pick(4)]) + "\t#" + hex(imm(1) & 0x7F) + ",ccr";
            }
            case 16:  // STC would carry H, which the simulator does not compute, into the data
                return "ldc\t" + reg(1) + ",ccr";
            case 17: {
                static const char* conds[] = {"bra", "brn", "bhi", "bls", "bcc", "bcs",
                                              "bne", "beq", "bvc", "bvs", "bpl", "bmi",
                                              "bge", "blt", "bgt", "ble"};
                return std::string(conds[pick(16)]) + "\t1f" + (pick(2) ? ":16" : "") +
                       "\n\tmov.b\t#" + hex(imm(1)) + "," + reg(1) + "\n1:";
            }
            case 18: {
                const int bytes = size == 4 ? 4 : 2;
                const std::string operand = size == 4 ? ".l\t" + reg(4) : ".w\t" + reg(2);
                const bool pop = pick(2) && stacked_ >= bytes;
                stacked_ += pop ? -bytes : bytes;
                return (pop ? "pop" : "push") + operand;
            }
            case 19:
                return "mov.w\t" + reg(2) + ",@" + hex(kData + 0x100 + uint32_t(pick(64)) * 2) +
                       ":24";
            case 20:
                return "ldc\t@" + hex(kData + 0x100 + uint32_t(pick(64)) * 2) + ":24,ccr";
            default:
                return "mov" + x + "\t" + reg(size) + "," + reg(size);
        }
    }
    // A division whose quotient fits: the dividend set below 256 (65536) times the divisor.
    std::string division() {
        const bool word = pick(2);
        const bool sign = pick(2);
        const int n = pick(4);
        const int d = (n + 1 + pick(3)) % 5;
        if (d == n) return "nop";
        const std::string dividend = word ? "er" + std::to_string(n) : "r" + std::to_string(n);
        const std::string divisor = word ? "r" + std::to_string(d) : "r" + std::to_string(d) + "l";
        uint32_t dv = 1 + any() % (word ? 0x7FFF : 0x7F);
        uint32_t q = any() % (word ? 0x7FFF : 0x7F), r = any() % dv;
        uint32_t num = q * dv + r;
        if (sign && pick(2)) num = uint32_t(-int32_t(num));
        if (sign && pick(2)) dv = uint32_t(-int32_t(dv));
        std::string s = std::string("mov.") +
                        (word ? "l\t#" + hex(num) : "w\t#" + hex(num & 0xFFFF)) + "," + dividend;
        s += "\n\tmov." + std::string(word ? "w\t#" + hex(dv & 0xFFFF) : "b\t#" + hex(dv & 0xFF)) +
             "," + divisor;
        s += "\n\t" + std::string(sign ? "divxs" : "divxu") + (word ? ".w\t" : ".b\t") + divisor +
             "," + dividend;
        return s;
    }

    std::mt19937 rng_;
    int stacked_ = 0;  // bytes pushed in this sequence: a POP takes only those
};

// Hand-written loops: a multiplication table, a block move, a bit count, a string compare.
const char* const kLoops[] = {
    "mov.w\t#10,r4\n1:\tmov.w\tr4,r1\n\tmulxu.b\tr4l,r1\n\tadd.w\tr1,r0\n\tdec.w\t#1,r4\n\tbne\t1b",
    "mov.b\t#40,r4l\n\tmov.l\t#0xfa10,er5\n\tmov.l\t#0xfa90,er6\n\teepmov.b",
    "mov.w\t#0x1234,r0\n\tmov.w\t#80,r4\n\tmov.l\t#0xfb00,er6\n\teepmov.w",
    "mov.l\t#0xdeadbeef,er1\n\tsub.l\ter0,er0\n\tmov.b\t#32,r2l\n1:\tshlr.l\ter1\n\tbcc\t2f\n\tinc."
    "w\t#1,r0\n2:\tdec.b\tr2l\n\tbne\t1b",
    "mov.l\t#0xfa00,er5\n\tmov.l\t#0xfa40,er6\n\tmov.w\t#64,r3\n1:\tmov.b\t@er5+,r0l\n\tmov.b\t@"
    "er6+,r0h\n\tcmp.b\tr0l,r0h\n\tbne\t2f\n\tdec.w\t#1,r3\n\tbne\t1b\n2:",
    "mov.l\t#100000,er1\n\tmov.w\t#7,r2\n\tdivxu.w\tr2,er1\n\tmov.w\t#-300,r3\n\tmov.l\t#-100000,"
    "er4\n\tdivxs.w\tr3,er4",
    "mov.w\t#0xfa20,r6\n\tmov.b\t#8,r2l\n1:\tbset\tr2l,@er6\n\tbnot\t#0,@er6\n\tbld\t#7,@"
    "er6\n\tbst\t#1,@er6\n\tdec.b\tr2l\n\tbne\t1b",
};

struct Program {
    std::string source;
    int count = 0;
};

// One program: each sequence refills the data area, sets the registers and CCR, runs, and
// has its result written out through the simulator's write call (fd 1, buffer, length).
Program makeProgram(uint32_t seed, int count, bool withLoops) {
    Generator g(seed);
    std::string s = "\t.h8300hn\n\t.text\n\t.global _start\n_start:\n";
    Program p;
    for (int k = 0; k < count; ++k) {
        s += "seq" + std::to_string(k) + ":\n";
        s += "\tmov.l\t#template,er5\n\tmov.l\t#" + std::to_string(kData) + ",er6\n\tmov.w\t#" +
             std::to_string(kDataSize / 2) +
             ",r4\n9:\tmov.w\t@er5+,r0\n\tmov.w\tr0,@er6\n\tadds\t#2,er6\n\tdec.w\t#1,"
             "r4\n\tbne\t9b\n";
        for (int r = 0; r < 5; ++r)
            s += "\tmov.l\t#" + std::to_string(g.any()) + ",er" + std::to_string(r) + "\n";
        s += "\tmov.l\t#" + std::to_string(kData + 0x80 + 2 * g.pick(0x80)) + ",er5\n";
        s += "\tmov.l\t#" + std::to_string(kData + 0x80 + 2 * g.pick(0x80)) + ",er6\n";
        s += "\tmov.l\t#0xff00,er7\n\tldc\t#" + std::to_string(g.pick(0x80)) + ",ccr\n";
        s += "start" + std::to_string(k) + ":\n";
        if (withLoops && k < int(std::size(kLoops))) {
            s += "\t" + std::string(kLoops[k]) + "\n";
        } else {
            s += g.sequence(10 + g.pick(30));
        }
        s += "done" + std::to_string(k) + ":\n";
        s += "\tstc\tccr,@" + std::to_string(kDump + 32) + ":24\n";
        for (int r = 0; r < 8; ++r)
            s += "\tmov.l\ter" + std::to_string(r) + ",@" + std::to_string(kDump + 4 * r) + ":24\n";
        s += "\tmov.l\t#1,er0\n\tmov.l\t#" + std::to_string(kData) + ",er1\n\tmov.l\t#" +
             std::to_string(kDumpSize) + ",er2\n\tjsr\t@@0xc7\n";
    }
    s += "\tsleep\n\t.align 2\ntemplate:\n";
    for (int k = 0; k < kDataSize; ++k) s += "\t.byte\t" + std::to_string(g.any() & 0xFF) + "\n";
    s += "\t.global table\ntable:\n";
    for (int k = 0; k < count; ++k) {
        const std::string n = std::to_string(k);
        s += "\t.word\tseq" + n + ",start" + n + ",done" + n + "\n";
    }
    p.source = s;
    p.count = count;
    return p;
}

int envInt(const char* name, int otherwise) {
    const char* v = std::getenv(name);
    return v ? std::atoi(v) : otherwise;
}

TEST(H8Oracle, RandomSequencesAgreeWithGdbsSimulator) {
    const testing::Ran oracle = testing::runCommand(QUILLMONT_SOURCE_DIR "/scripts/h8-sim-oracle");
    if (oracle.status != 0)
        GTEST_SKIP() << "GDB's H8/300 simulator cannot be built here: " << oracle.out;
    const std::string run = oracle.out.substr(0, oracle.out.find('\n'));
    const int total = envInt("QUILLMONT_H8_SEQUENCES", 300);
    const uint32_t seed0 = uint32_t(envInt("QUILLMONT_H8_SEED", 1));
    int compared = 0, failures = 0;
    for (int done = 0, program = 0; done < total; ++program) {
        const int count = std::min(kPerProgram, total - done);
        const Program p = makeProgram(seed0 + uint32_t(program), count, program == 0);
        testing::ScratchFolder folder;
        std::string error;
        const auto image = testing::buildH8(folder, "seq.s", p.source, kCode, error);
        ASSERT_FALSE(image.empty()) << error;
        ASSERT_LE(kCode + image.size(), size_t(Cpu::kFlashEnd))
            << "the program does not fit the flash";
        const std::string base = folder.path("seq");
        ASSERT_EQ(
            testing::runCommand("h8300-hms-objcopy -O srec " + base + ".coff " + base + ".srec")
                .status,
            0);
        const auto sim = testing::runCommand("timeout 60 " + run + " --architecture h8300h " +
                                             base + ".srec 2>/dev/null");
        ASSERT_EQ(sim.out.size(), size_t(count) * kDumpSize) << sim.out;
        // The table of set-up, start and done addresses is the image's tail.
        const size_t table = image.size() - size_t(6 * count);
        auto word = [&](size_t at) { return uint16_t(image[at] << 8 | image[at + 1]); };
        for (int k = 0; k < count; ++k, ++done) {
            FlashMemory flash;
            Chip chip(flash, {}, {});
            Cpu& cpu = chip.cpu();
            std::copy(image.begin(), image.end(), cpu.memory() + kCode);
            cpu.invalidate(0, Cpu::kFlashEnd - 1);
            // From the sequence's own set-up (the refill of the data area) to its end.
            cpu.reset(word(table + 6 * size_t(k)));
            const uint16_t end = word(table + 6 * size_t(k) + 4);
            int steps = 0;
            while (cpu.pc != end && cpu.stopped() == Cpu::Stop::Running && ++steps < 100000)
                cpu.step();
            const std::string dump = sim.out.substr(size_t(k) * kDumpSize, kDumpSize);
            auto simByte = [&](int offset) { return uint8_t(dump[size_t(offset)]); };
            std::string diff;
            char buf[96];
            for (int r = 0; r < 8; ++r) {
                const int at = kDump - kData + 4 * r;
                const uint32_t v = uint32_t(simByte(at)) << 24 | simByte(at + 1) << 16 |
                                   simByte(at + 2) << 8 | simByte(at + 3);
                if (v != cpu.er[r])
                    std::snprintf(buf, sizeof buf, " ER%d sim %08X ours %08X;", r, v, cpu.er[r]),
                        diff += buf;
            }
            // H is left out: the simulator does not compute it for additions and subtractions
            // (the case table holds it to the manual).
            const uint8_t ccr = simByte(kDump - kData + 32) & ~kCcrH;
            if (ccr != (cpu.ccr & ~kCcrH))
                std::snprintf(buf, sizeof buf, " CCR sim %02X ours %02X;", ccr, cpu.ccr),
                    diff += buf;
            for (int a = 0; a < kDataSize; ++a)
                if (simByte(a) != cpu.memory()[kData + a]) {
                    std::snprintf(buf, sizeof buf, " @H'%04X sim %02X ours %02X;", kData + a,
                                  simByte(a), cpu.memory()[kData + a]);
                    diff += buf;
                    break;
                }
            ++compared;
            if (!diff.empty() && ++failures <= 10) {
                // the sequence's text, for the report
                const std::string from = "start" + std::to_string(k) + ":\n",
                                  to = "done" + std::to_string(k) + ":\n";
                const auto a = p.source.find(from), b = p.source.find(to);
                ADD_FAILURE() << "sequence " << done << " (seed " << seed0 + uint32_t(program)
                              << ", " << k << "):" << diff << "\n"
                              << p.source.substr(a + from.size(), b - a - from.size());
            }
        }
    }
    RecordProperty("compared", compared);
    std::printf("compared %d sequences with GDB's simulator, %d differ\n", compared, failures);
}

}  // namespace
}  // namespace quill::sim::h8
