// The emulated H8/300H: one table of instruction cases, each a piece of assembly that ends in
// SLEEP with the registers, flags, memory and states it must leave; random instruction
// sequences run against GDB's H8/300 simulator (scripts/h8-sim-oracle) as the oracle; idle
// loops fast-forwarded; small C programs.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

#include "sim/h8/chip.h"
#include "support/h8_tools.h"

// The C programs, compiled natively here: what they must give on the chip too.
namespace cprograms {
#include "sim/h8_programs.c"
}  // namespace cprograms

namespace quill::sim::h8 {
namespace {

constexpr uint8_t N = kCcrN, Z = kCcrZ, V = kCcrV, C = kCcrC, H = kCcrH;
using enum Cpu::Stop;

// The last `n` words of an image: the table of label addresses our programs end with.
std::vector<uint16_t> tailWords(const std::vector<uint8_t>& image, size_t n) {
    std::vector<uint16_t> words;
    for (size_t at = image.size() - 2 * n; at < image.size(); at += 2)
        words.push_back(uint16_t(image[at] << 8 | image[at + 1]));
    return words;
}

// A chip with `image` in its memory from `origin`, the CPU started at `entry`.
struct Rig {
    FlashMemory flash;
    Chip chip{flash, {}, {}};
    Cpu& cpu = chip.cpu();
    Rig(const std::vector<uint8_t>& image, uint16_t origin, uint16_t entry) {
        std::copy(image.begin(), image.end(), cpu.memory() + origin);
        cpu.invalidate(0, 0xFFFF);
        cpu.reset(entry);
    }
};

struct Case {
    const char* name;
    const char* code;              // assembly; the CPU starts with every register 0 and CCR = I
    std::map<int, uint32_t> regs;  // ER number -> value
    int flags = -1;                // H N Z V C after the code, when checked
    std::map<uint16_t, uint8_t> memory = {};
    Cpu::Stop stop = Sleep;
    int states = -1;   // the states of the code, SLEEP not counted, when checked
    bool nmi = false;  // an NMI once the code sleeps, then on to the next SLEEP
};

// Every program's first lines.
const std::string kHead = "\t.h8300hn\n\t.text\n\t.global _start\n_start:\n";

// The vectors of TRAPA #2, the NMI and JSR @@H'18 lead to the handlers `trap`, `nmi`, `sub`.
const char* const kHandlers =
    "trap:\tmov.b\t#0x55,r0h\n\tstc\tccr,r4l\n\tandc\t#0x7e,ccr\n\trte\n"
    "nmi:\tmov.b\t#0x66,r1h\n\trte\n"
    "sub:\tmov.b\t#9,r3h\n\trts\n";

const Case kCases[] = {
    // data transfer
    {"mov.b imm sets N, clears V", "mov.b #0x80,r0l\norc #2,ccr\nmov.b #0x80,r0l", {{0, 0x80}}, N},
    {"mov.w to E half", "mov.w #0x1234,e1\nmov.w #0,r1", {{1, 0x12340000}}, Z},
    {"mov.l post-increment and pre-decrement",
     "mov.l #0xfa00,er1\nmov.l #0x11223344,er2\nmov.l er2,@-er1\nmov.l @er1+,er3",
     {{1, 0xFA00}, {3, 0x11223344}}, 0, {{0xF9FC, 0x11}, {0xF9FF, 0x44}}},
    {"mov.b @(d:16) negative displacement",
     "mov.w #0xfa10,r1\nmov.b #0x5a,r0l\nmov.b r0l,@(-0x10:16,er1)\nmov.b @0xfa00:16,r2h",
     {{2, 0x5A00}}, 0, {{0xFA00, 0x5A}}},
    {"mov.w @(d:24) and @aa:24",
     "mov.w #0xfa00,r1\nmov.w #0xbeef,r0\nmov.w r0,@(0x20:24,er1)\nmov.w @0xfa20:24,e3",
     {{3, 0xBEEF0000}}, N},
    {"word access at an odd address takes the even one",
     "mov.w #0xabcd,r0\nmov.w #0xfa01,r1\nmov.w r0,@er1\nmov.b @0xfa00:16,r2l", {{2, 0xAB}}, N},
    {"push and pop", "mov.w #0xff00,r7\nmov.w #0x1234,r0\npush.w r0\npop.w e0",
     {{0, 0x12341234}, {7, 0xFF00}}, 0},
    {"eepmov.b",
     "mov.w #0xfa00,r5\nmov.w #0xfb00,r6\nmov.l #0x41424344,er0\nmov.l er0,@er5\n"
     "mov.b #3,r4l\neepmov.b",
     {{4, 0}, {5, 0xFA03}, {6, 0xFB03}}, -1, {{0xFB00, 0x41}, {0xFB02, 0x43}, {0xFB03, 0}}},
    // arithmetic: H, which the simulator does not compute, is held to the manual here
    {"add.b half carry and carry", "mov.b #0x8f,r0l\nadd.b #0x81,r0l", {{0, 0x10}}, H | V | C},
    {"add.w signed overflow", "mov.w #0x7fff,r0\nadd.w #1,r0", {{0, 0x8000}}, H | N | V},
    {"add.l carry out", "mov.l #0xffffffff,er0\nadd.l #1,er0", {{0, 0}}, H | Z | C},
    {"sub.b borrow", "mov.b #0x10,r0l\nmov.b #0x20,r1l\nsub.b r1l,r0l", {{0, 0xF0}}, N | C},
    {"cmp.w leaves the register", "mov.w #5,r1\ncmp.w #5,r1", {{1, 5}}, Z},
    {"adds and subs leave the flags", "mov.l #0xfffffffe,er0\nadds #4,er0\nsubs #1,er0",
     {{0, 1}}, N},
    {"addx keeps Z set only while results are zero",
     "mov.w #0x0100,r0\nmov.w #0xff00,r1\nadd.b r1l,r0l\naddx r1h,r0h", {{0, 0}, {1, 0xFF00}},
     H | Z | C},
    {"subx clears Z on a nonzero result", "mov.b #1,r0l\norc #4,ccr\nsubx #0,r0l", {{0, 1}}, 0},
    {"inc.b overflow", "mov.b #0x7f,r0l\ninc r0l", {{0, 0x80}}, N | V},
    {"dec.w #2 to zero", "mov.w #2,r0\ndec.w #2,r0", {{0, 0}}, Z},
    {"neg.b of H'80", "mov.b #0x80,r0l\nneg.b r0l", {{0, 0x80}}, N | V | C},
    {"daa after a BCD add", "mov.b #0x19,r0l\nadd.b #0x28,r0l\ndaa r0l", {{0, 0x47}}},
    {"das after a BCD subtract", "mov.b #0x42,r0l\nmov.b #0x15,r1l\nsub.b r1l,r0l\ndas r0l",
     {{0, 0x27}}},
    {"mulxu.b", "mov.w #0x00c8,r1\nmov.b #0x03,r0l\nmulxu.b r0l,r1", {{0, 3}, {1, 0x0258}}, 0},
    {"mulxs.w", "mov.w #0xfffe,r0\nmov.l #0x00000003,er1\nmulxs.w r0,er1",
     {{0, 0xFFFE}, {1, 0xFFFFFFFA}}, N},
    {"divxu.b remainder and quotient", "mov.w #1000,r1\nmov.b #7,r0l\ndivxu.b r0l,r1",
     {{0, 7}, {1, 0x068E}}, 0},
    {"divxu.w", "mov.l #100000,er1\nmov.w #300,r0\ndivxu.w r0,er1", {{0, 300}, {1, 0x0064014D}}, 0},
    {"divxs.b negative quotient", "mov.w #-7,r1\nmov.b #2,r0l\ndivxs.b r0l,r1",
     {{0, 2}, {1, 0xFFFD}}, N},
    {"exts.l", "mov.w #0x8001,r0\nexts.l er0", {{0, 0xFFFF8001}}, N},
    {"extu.w", "mov.w #0xff80,r0\nextu.w r0", {{0, 0x0080}}, 0},
    // logic, shifts, rotates
    {"and.l", "mov.l #0xf0f0f0f0,er0\nmov.l #0x0ff00ff0,er1\nand.l er1,er0",
     {{0, 0x00F000F0}, {1, 0x0FF00FF0}}, 0},
    {"xor.w to zero", "mov.w #0x1234,r0\nxor.w #0x1234,r0", {{0, 0}}, Z},
    {"not.b", "mov.b #0x0f,r0l\nnot.b r0l", {{0, 0xF0}}, N},
    {"shal.b overflow", "mov.b #0x40,r0l\nshal.b r0l", {{0, 0x80}}, N | V},
    {"shar.w keeps the sign", "mov.w #0x8001,r0\nshar.w r0", {{0, 0xC000}}, N | C},
    {"shlr.l", "mov.l #0x80000001,er0\nshlr.l er0", {{0, 0x40000000}}, C},
    {"rotxl.b through carry", "mov.b #0x80,r0l\norc #1,ccr\nrotxl.b r0l", {{0, 0x01}}, C},
    {"rotr.w", "mov.w #1,r0\nrotr.w r0", {{0, 0x8000}}, N | C},
    // bit manipulation
    {"bset, bclr, bnot on a register",
     "mov.b #0x0f,r0l\nbset #7,r0l\nbclr #0,r0l\nmov.b #1,r1h\nbnot r1h,r0l",
     {{0, 0x8C}, {1, 0x0100}}, 0},
    {"btst sets Z from the inverted bit", "mov.b #0x04,r0l\nbtst #2,r0l", {{0, 4}}, 0},
    {"bld, band, bor, bxor, bst",
     "mov.b #0x05,r0l\nbld #0,r0l\nband #1,r0l\nbor #2,r0l\nbxor #0,r0l\nbst #7,r0l",
     {{0, 0x05}}, 0},
    {"bild, biand, bist", "mov.b #0x02,r0l\nbild #0,r0l\nbiand #2,r0l\nbist #6,r0l",
     {{0, 0x02}}, C},
    {"bit operations on memory",
     "mov.w #0xfa00,r1\nmov.b #0x81,r0l\nmov.b r0l,@er1\nbclr #7,@er1\nbset #3,@er1\n"
     "btst #0,@er1",
     {{0, 0x81}, {1, 0xFA00}}, N, {{0xFA00, 0x09}}},
    {"bit operations on the I/O page", "bset #5,@0xd0:8\nbld #5,@0xd0:8", {}, C},
    // branches, calls, exceptions
    {"bgt and ble on signed values",
     "mov.b #0xff,r0l\ncmp.b #1,r0l\nble 1f\nmov.b #1,r1l\n1: cmp.b #1,r0l\nbgt 2f\n"
     "mov.b #2,r1h\n2:",
     {{1, 0x0200}}},
    {"bhi and bls on unsigned values",
     "mov.b #0xff,r0l\ncmp.b #1,r0l\nbhi 1f\nmov.b #1,r1l\n1: cmp.b #1,r0l\nbls 2f\n"
     "mov.b #2,r1h\n2:",
     {{1, 0x0200}}},
    {"bsr and rts use a 16-bit return address",
     "mov.w #0xff00,r7\nbsr 1f\nbra 2f\n1: mov.w @er7,r2\nrts\n2:", {{7, 0xFF00}}},
    {"bra d:16", "bra 1f:16\nmov.b #1,r0l\n1:", {{0, 0}}},
    {"jmp @ern", "mov.w #1f,r1\njmp @er1\nmov.b #1,r0l\n1:", {{0, 0}}},
    // The trap sets I; the handler clears the CCR: RTE brings back the one stacked, in both
    // bytes of its word.
    {"jsr @@aa:8, trapa and rte through word vectors in flash",
     "mov.w #0xff00,r7\nldc #1,ccr\njsr @@0x18\ntrapa #2\nstc ccr,r2l",
     {{0, 0x5500}, {2, 0x01}, {3, 0x0900}, {4, 0x81}, {7, 0xFF00}}, C,
     {{0xFEFC, 0x01}, {0xFEFD, 0x01}}},
    {"an NMI wakes the CPU from SLEEP and returns behind it",
     "mov.w #0xff00,r7\nsleep\nmov.b #0x77,r2l", {{1, 0x6600}, {2, 0x77}, {7, 0xFF00}},
     -1, {}, Sleep, -1, true},
    // control
    {"ldc and stc through the stack",
     "mov.w #0xff00,r7\nldc #0x85,ccr\nstc ccr,@-er7\nldc #0,ccr\nldc @er7+,ccr\nstc ccr,r0l",
     {{0, 0x85}, {7, 0xFF00}}, Z | C},
    {"andc, orc, xorc", "ldc #0x0f,ccr\nandc #0x0c,ccr\norc #0x01,ccr\nxorc #0x08,ccr", {}, Z | C},
    {"illegal instruction stops", ".word 0x0001", {}, -1, {}, Illegal},
    {"a jump outside RAM and flash stops", "mov.w #0x9000,r0\njmp @er0", {}, -1, {}, Runaway},
    {"a jump to an odd address stops", "mov.w #0xf781,r0\njmp @er0", {}, -1, {}, OddAddress},
    // time: 2 states per access, fetches and data, and the internal states
    {"states of a register move", "mov.w r0,r1", {}, -1, {}, Sleep, 2},
    {"states of a long move with post-increment", "mov.l @er1+,er0", {}, -1, {}, Sleep, 4 + 4 + 2},
    {"states of a branch", "bra 1f\n1:", {}, -1, {}, Sleep, 4},
    {"states of mulxu.w", "mulxu.w r0,er1", {}, -1, {}, Sleep, 2 + 20},
    {"states of bset on memory", "bset #0,@0xd0:8", {}, -1, {}, Sleep, 4 + 4},
};

TEST(H8Cpu, EachInstructionCaseLeavesWhatTheManualSays) {
    if (!testing::haveProgram("h8300-hms-as"))
        GTEST_SKIP() << "binutils-h8300-hms is not installed";
    testing::ScratchFolder folder;
    // All cases in one program, each from its own label, so that one assembler run does.
    std::string source = kHead + kHandlers;
    std::string table = "\t.word\ttrap,nmi,sub\n";
    for (size_t k = 0; k < std::size(kCases); ++k) {
        const std::string label = "case" + std::to_string(k);
        source += label + ":\n" + kCases[k].code + "\n\tsleep\n\t.align 1\n";
        table += "\t.word\t" + label + "\n";
    }
    std::string error;
    const auto image = testing::buildH8(folder, "cases.s", source + table, Cpu::kRamStart, error);
    ASSERT_FALSE(image.empty()) << error;
    const auto words = tailWords(image, 3 + std::size(kCases));
    for (size_t k = 0; k < std::size(kCases); ++k) {
        const Case& c = kCases[k];
        Rig rig(image, Cpu::kRamStart, words[3 + k]);
        Cpu& cpu = rig.cpu;
        for (auto [vector, handler] : {std::pair{10, words[0]}, {Cpu::kNmiVector, words[1]},
                                       {0x18 / 2, words[2]}}) {
            cpu.memory()[2 * vector] = uint8_t(handler >> 8);
            cpu.memory()[2 * vector + 1] = uint8_t(handler);
        }
        cpu.run(100000);
        if (c.nmi) {
            EXPECT_EQ(cpu.stopped(), Sleep) << c.name;
            cpu.nmi();
            cpu.run(100000);
        }
        EXPECT_EQ(cpu.stopped(), c.stop) << c.name << ": " << cpu.stopText();
        for (auto [r, v] : c.regs) EXPECT_EQ(cpu.er[r], v) << c.name << ": ER" << r;
        if (c.flags >= 0) {
            EXPECT_EQ(cpu.ccr & (H | N | Z | V | C), c.flags)
                << c.name << ": CCR " << std::hex << int(cpu.ccr);
        }
        for (auto [a, v] : c.memory)
            EXPECT_EQ(cpu.read8(a), v) << c.name << std::hex << ": @H'" << a;
        if (c.states >= 0) {  // SLEEP's own fetch not counted
            EXPECT_EQ(int(cpu.states()) - 2, c.states) << c.name;
        }
    }
}

// Idle loops are skipped by arithmetic: waiting for TDRE and TEND, a counted receive poll that
// runs out, and delay loops whose count crosses the sign bit must leave the same registers,
// flags, states and line as when every instruction runs, however the run is cut.
TEST(H8Cpu, SkippedIdleLoopsEndAsIfEveryTurnRan) {
    if (!testing::haveProgram("h8300-hms-as"))
        GTEST_SKIP() << "binutils-h8300-hms is not installed";
    testing::ScratchFolder folder;
    const std::string source = kHead + R"(
	mov.b	#0x41, r0l
	mov.b	r0l, @0xab:8
1:	btst	#7, @0xac:8
	beq	1b
	mov.b	r0l, @0xab:8
2:	btst	#7, @0xac:8
	beq	2b
3:	mov.b	@0xac:8, r2l
	btst	#2, r2l
	beq	3b
	mov.l	#30000, er1
4:	mov.b	@0xac:8, r2l
	and.b	#0x78, r2l
	bne	5f
	dec.l	#1, er1
	bne	4b
5:	mov.w	#0x8010, r3
6:	dec.w	#1, r3
	bne	6b
	mov.b	#0x90, r4h
7:	dec.b	r4h
	bne	7b
	sleep
)";
    std::string error;
    const auto image = testing::buildH8(folder, "idle.s", source, Cpu::kRamStart, error);
    ASSERT_FALSE(image.empty()) << error;
    struct Run {
        FlashMemory flash;
        std::vector<uint64_t> sent;
        Chip chip{flash, {}, {[this](uint8_t, const LineSettings&, uint64_t at) {
                                  sent.push_back(at);
                              }, {}}};
    };
    for (const uint64_t slice : {uint64_t(1) << 40, uint64_t(997)}) {
        Run plain, skipping;
        plain.chip.cpu().setSkipIdle(false);
        for (Run* r : {&plain, &skipping}) {
            r->chip.sci().presetFor(9600);
            r->chip.start(Cpu::kRamStart, image);
            while (r->chip.cpu().stopped() == Running) r->chip.cpu().run(slice);
        }
        const Cpu& a = plain.chip.cpu();
        const Cpu& b = skipping.chip.cpu();
        EXPECT_EQ(b.stopped(), Sleep) << b.stopText();
        EXPECT_GT(b.skippedTurns(), 30000u) << slice;
        EXPECT_EQ(a.states(), b.states()) << slice;
        EXPECT_EQ(a.instructions(), b.instructions()) << slice;
        EXPECT_EQ(a.pc, b.pc);
        EXPECT_EQ(a.ccr, b.ccr);
        for (int r = 0; r < 8; ++r) EXPECT_EQ(a.er[r], b.er[r]) << "ER" << r;
        EXPECT_EQ(plain.sent, skipping.sent);
        EXPECT_EQ(a.er[1], 0u);
    }
}

// C built with h8300-hms-gcc -mh -mn: recursion, bit fields, a jump table, function pointers,
// 32-bit shifts and sums, signed division. Its results in RAM must be the native ones.
TEST(H8Cpu, CProgramsGiveOnTheChipWhatTheyGiveNatively) {
    if (!testing::haveProgram("h8300-hms-gcc")) GTEST_SKIP() << "gcc-h8300-hms is not installed";
    testing::ScratchFolder folder;
    std::string error;
    const auto image = testing::buildH8(
        folder, "programs.c", "#include \"" QUILLMONT_SOURCE_DIR "/tests/sim/h8_programs.c\"\n",
        0x0100, error);
    ASSERT_FALSE(image.empty()) << error;
    Rig rig(image, 0x0100, 0x0100);
    rig.cpu.run(20'000'000);
    ASSERT_EQ(rig.cpu.stopped(), Sleep) << rig.cpu.stopText();
    cprograms::u32 native[RESULTS];
    cprograms::run(native);
    for (int k = 0; k < RESULTS; ++k) {
        const uint16_t at = uint16_t(0xFE00 + 4 * k);  // where the start puts them
        const uint32_t got = uint32_t(rig.cpu.read16(at)) << 16 | rig.cpu.read16(uint16_t(at + 2));
        EXPECT_EQ(got, native[k]) << "result " << k;
    }
}

// The differential run: GDB's simulator runs the H8/300H in advanced mode, so the sequences keep
// to what both modes do alike: no calls, addresses below H'10000 reached through registers or
// 24-bit absolutes. QUILLMONT_H8_SEQUENCES sets how many (default 300), QUILLMONT_H8_SEED the
// first seed; scripts/h8-oracle runs many more.

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

// One program of `count` sequences: each refills the data area, sets the registers and CCR,
// runs, and has its result written out through the simulator's write call (fd 1, buffer,
// length). It ends with the addresses of each sequence's set-up, start and end.
std::string makeProgram(uint32_t seed, int count, bool withLoops) {
    Generator g(seed);
    std::string s = kHead, table;
    for (int k = 0; k < count; ++k) {
        const std::string n = std::to_string(k);
        table += "\t.word\tseq" + n + ",start" + n + ",done" + n + "\n";
        s += "seq" + n + ":\n\tmov.l\t#template,er5\n\tmov.l\t#" + std::to_string(kData) +
             ",er6\n\tmov.w\t#" + std::to_string(kDataSize / 2) +
             ",r4\n9:\tmov.w\t@er5+,r0\n\tmov.w\tr0,@er6\n\tadds\t#2,er6\n\tdec.w\t#1,"
             "r4\n\tbne\t9b\n";
        for (int r = 0; r < 5; ++r)
            s += "\tmov.l\t#" + std::to_string(g.any()) + ",er" + std::to_string(r) + "\n";
        for (const char* r : {"er5", "er6"})
            s += "\tmov.l\t#" + std::to_string(kData + 0x80 + 2 * g.pick(0x80)) + "," + r + "\n";
        s += "\tmov.l\t#0xff00,er7\n\tldc\t#" + std::to_string(g.pick(0x80)) + ",ccr\n";
        s += "start" + n + ":\n";
        const bool loop = withLoops && k < int(std::size(kLoops));
        s += loop ? "\t" + std::string(kLoops[k]) + "\n" : g.sequence(10 + g.pick(30));
        s += "done" + n + ":\n\tstc\tccr,@" + std::to_string(kDump + 32) + ":24\n";
        for (int r = 0; r < 8; ++r)
            s += "\tmov.l\ter" + std::to_string(r) + ",@" + std::to_string(kDump + 4 * r) + ":24\n";
        s += "\tmov.l\t#1,er0\n\tmov.l\t#" + std::to_string(kData) + ",er1\n\tmov.l\t#" +
             std::to_string(kDumpSize) + ",er2\n\tjsr\t@@0xc7\n";
    }
    s += "\tsleep\n\t.align 2\ntemplate:\n";
    for (int k = 0; k < kDataSize; ++k) s += "\t.byte\t" + std::to_string(g.any() & 0xFF) + "\n";
    return s + table;
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
    int failures = 0;
    for (int done = 0, program = 0; done < total; ++program) {
        const int count = std::min(kPerProgram, total - done);
        const std::string source = makeProgram(seed0 + uint32_t(program), count, program == 0);
        testing::ScratchFolder folder;
        std::string error;
        const auto image = testing::buildH8(folder, "seq.s", source, kCode, error);
        ASSERT_FALSE(image.empty()) << error;
        ASSERT_LE(kCode + image.size(), size_t(Cpu::kFlashEnd)) << "it does not fit the flash";
        const std::string base = folder.path("seq");
        const auto sim =
            testing::runCommand("h8300-hms-objcopy -O srec " + base + ".coff " + base +
                                ".srec && timeout 60 " + run + " --architecture h8300h " + base +
                                ".srec 2>/dev/null");
        ASSERT_EQ(sim.out.size(), size_t(count) * kDumpSize) << sim.out;
        const auto labels = tailWords(image, 3 * size_t(count));
        for (int k = 0; k < count; ++k, ++done) {
            // From the sequence's own set-up (the refill of the data area) to its end.
            Rig rig(image, kCode, labels[3 * k]);
            Cpu& cpu = rig.cpu;
            for (int steps = 0; cpu.pc != labels[3 * k + 2] && cpu.stopped() == Running &&
                                ++steps < 100000;)
                cpu.step();
            auto simByte = [&](int at) { return uint8_t(sim.out[size_t(k * kDumpSize + at)]); };
            std::string diff;
            char buf[96];
            for (int r = 0; r < 8; ++r) {
                const int at = kDump - kData + 4 * r;
                const uint32_t v = uint32_t(simByte(at)) << 24 | simByte(at + 1) << 16 |
                                   simByte(at + 2) << 8 | simByte(at + 3);
                if (v == cpu.er[r]) continue;
                std::snprintf(buf, sizeof buf, " ER%d sim %08X ours %08X;", r, v, cpu.er[r]);
                diff += buf;
            }
            // H is left out: the simulator does not compute it for additions and subtractions
            // (the case table holds it to the manual).
            const uint8_t ccr = simByte(kDump - kData + 32) & ~kCcrH;
            if (ccr != (cpu.ccr & ~kCcrH)) {
                std::snprintf(buf, sizeof buf, " CCR sim %02X ours %02X;", ccr, cpu.ccr);
                diff += buf;
            }
            for (int a = 0; a < kDataSize; ++a) {
                if (simByte(a) == cpu.memory()[kData + a]) continue;
                std::snprintf(buf, sizeof buf, " @H'%04X sim %02X ours %02X;", kData + a,
                              simByte(a), cpu.memory()[kData + a]);
                diff += buf;
                break;
            }
            if (diff.empty() || ++failures > 10) continue;
            // the sequence's text, for the report
            const std::string from = "start" + std::to_string(k) + ":\n";
            const auto a = source.find(from) + from.size();
            ADD_FAILURE() << "sequence " << done << " (seed " << seed0 + uint32_t(program) << ", "
                          << k << "):" << diff << "\n"
                          << source.substr(a, source.find("done" + std::to_string(k) + ":") - a);
        }
    }
    std::printf("compared %d sequences with GDB's simulator, %d differ\n", total, failures);
}

}  // namespace
}  // namespace quill::sim::h8
