// The emulated H8/300H, instruction by instruction: one table of cases, each a piece of
// assembly that ends in SLEEP, with the registers, flags, memory and states it must leave.

#include <gtest/gtest.h>

#include <map>

#include "sim/h8/chip.h"
#include "support/h8_tools.h"

// The C programs, compiled natively here: what they must give on the chip too.
namespace cprograms {
#include "sim/h8_programs.c"
}  // namespace cprograms

namespace quill::sim::h8 {
namespace {

constexpr uint8_t N = kCcrN, Z = kCcrZ, V = kCcrV, C = kCcrC, H = kCcrH;

struct Case {
    const char* name;
    const char* code;              // assembly; the CPU starts with every register 0 and CCR = I
    std::map<int, uint32_t> regs;  // ER number -> value
    int flags = -1;                // H N Z V C after the code, when checked
    std::map<uint16_t, uint8_t> memory = {};
    Cpu::Stop stop = Cpu::Stop::Sleep;
    int states = -1;  // the states of the code, SLEEP not counted, when checked
};

const Case kCases[] = {
    // data transfer
    {"mov.b imm sets N, clears V", "mov.b #0x80,r0l\norc #2,ccr\nmov.b #0x80,r0l", {{0, 0x80}}, N},
    {"mov.w to E half", "mov.w #0x1234,e1\nmov.w #0,r1", {{1, 0x12340000}}, Z},
    {"mov.l post-increment and pre-decrement",
     "mov.l #0xfa00,er1\nmov.l #0x11223344,er2\nmov.l er2,@-er1\nmov.l @er1+,er3",
     {{1, 0xFA00}, {3, 0x11223344}},
     0,
     {{0xF9FC, 0x11}, {0xF9FF, 0x44}}},
    {"mov.b @(d:16) negative displacement",
     "mov.w #0xfa10,r1\nmov.b #0x5a,r0l\nmov.b r0l,@(-0x10:16,er1)\nmov.b @0xfa00:16,r2h",
     {{2, 0x5A00}},
     0,
     {{0xFA00, 0x5A}}},
    {"mov.w @(d:24) and @aa:24",
     "mov.w #0xfa00,r1\nmov.w #0xbeef,r0\nmov.w r0,@(0x20:24,er1)\nmov.w @0xfa20:24,e3",
     {{3, 0xBEEF0000}},
     N},
    {"word access at an odd address takes the even one",
     "mov.w #0xabcd,r0\nmov.w #0xfa01,r1\nmov.w r0,@er1\nmov.b @0xfa00:16,r2l",
     {{2, 0xAB}},
     N},
    {"push and pop",
     "mov.w #0xff00,r7\nmov.w #0x1234,r0\npush.w r0\npop.w e0",
     {{0, 0x12341234}, {7, 0xFF00}},
     0},
    {"eepmov.b",
     "mov.w #0xfa00,r5\nmov.w #0xfb00,r6\nmov.l #0x41424344,er0\nmov.l er0,@er5\nmov.b "
     "#3,r4l\neepmov.b",
     {{4, 0}, {5, 0xFA03}, {6, 0xFB03}},
     -1,
     {{0xFB00, 0x41}, {0xFB02, 0x43}, {0xFB03, 0}}},
    // arithmetic
    {"add.b half carry and carry", "mov.b #0x8f,r0l\nadd.b #0x81,r0l", {{0, 0x10}}, H | V | C},
    {"add.w signed overflow", "mov.w #0x7fff,r0\nadd.w #1,r0", {{0, 0x8000}}, H | N | V},
    {"add.l carry out", "mov.l #0xffffffff,er0\nadd.l #1,er0", {{0, 0}}, H | Z | C},
    {"sub.b borrow", "mov.b #0x10,r0l\nmov.b #0x20,r1l\nsub.b r1l,r0l", {{0, 0xF0}}, N | C},
    {"cmp.w leaves the register", "mov.w #5,r1\ncmp.w #5,r1", {{1, 5}}, Z},
    {"addx keeps Z set only while results are zero",
     "mov.w #0x0100,r0\nmov.w #0xff00,r1\nadd.b r1l,r0l\naddx r1h,r0h",
     {{0, 0}, {1, 0xFF00}},
     H | Z | C},
    {"subx clears Z on a nonzero result", "mov.b #1,r0l\norc #4,ccr\nsubx #0,r0l", {{0, 1}}, 0},
    {"inc.b overflow", "mov.b #0x7f,r0l\ninc r0l", {{0, 0x80}}, N | V},
    {"dec.w #2 to zero", "mov.w #2,r0\ndec.w #2,r0", {{0, 0}}, Z},
    {"adds and subs leave the flags",
     "mov.l #0xfffffffe,er0\nadds #4,er0\nsubs #1,er0",
     {{0, 1}},
     N},
    {"neg.b of H'80", "mov.b #0x80,r0l\nneg.b r0l", {{0, 0x80}}, N | V | C},
    {"daa after a BCD add", "mov.b #0x19,r0l\nadd.b #0x28,r0l\ndaa r0l", {{0, 0x47}}, -1},
    {"das after a BCD subtract",
     "mov.b #0x42,r0l\nmov.b #0x15,r1l\nsub.b r1l,r0l\ndas r0l",
     {{0, 0x27}},
     -1},
    {"mulxu.b", "mov.w #0x00c8,r1\nmov.b #0x03,r0l\nmulxu.b r0l,r1", {{0, 3}, {1, 0x0258}}, 0},
    {"mulxs.w",
     "mov.w #0xfffe,r0\nmov.l #0x00000003,er1\nmulxs.w r0,er1",
     {{0, 0xFFFE}, {1, 0xFFFFFFFA}},
     N},
    {"divxu.b remainder and quotient",
     "mov.w #1000,r1\nmov.b #7,r0l\ndivxu.b r0l,r1",
     {{0, 7}, {1, 0x068E}},
     0},
    {"divxu.w", "mov.l #100000,er1\nmov.w #300,r0\ndivxu.w r0,er1", {{0, 300}, {1, 0x0064014D}}, 0},
    {"divxs.b negative quotient",
     "mov.w #-7,r1\nmov.b #2,r0l\ndivxs.b r0l,r1",
     {{0, 2}, {1, 0xFFFD}},
     N},
    {"exts.l", "mov.w #0x8001,r0\nexts.l er0", {{0, 0xFFFF8001}}, N},
    {"extu.w", "mov.w #0xff80,r0\nextu.w r0", {{0, 0x0080}}, 0},
    // logic, shifts, rotates
    {"and.l",
     "mov.l #0xf0f0f0f0,er0\nmov.l #0x0ff00ff0,er1\nand.l er1,er0",
     {{0, 0x00F000F0}, {1, 0x0FF00FF0}},
     0},
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
     {{0, 0x8C}, {1, 0x0100}},
     0},
    {"btst sets Z from the inverted bit", "mov.b #0x04,r0l\nbtst #2,r0l", {{0, 4}}, 0},
    {"bld, band, bor, bxor, bst",
     "mov.b #0x05,r0l\nbld #0,r0l\nband #1,r0l\nbor #2,r0l\nbxor #0,r0l\nbst #7,r0l",
     {{0, 0x05}},
     0},
    {"bild, biand, bist",
     "mov.b #0x02,r0l\nbild #0,r0l\nbiand #2,r0l\nbist #6,r0l",
     {{0, 0x02}},
     C},
    {"bit operations on memory",
     "mov.w #0xfa00,r1\nmov.b #0x81,r0l\nmov.b r0l,@er1\nbclr #7,@er1\nbset #3,@er1\nbtst #0,@er1",
     {{0, 0x81}, {1, 0xFA00}},
     N,
     {{0xFA00, 0x09}}},
    {"bit operations on the I/O page", "bset #5,@0xd0:8\nbld #5,@0xd0:8", {}, C, {}},
    // branches, calls
    {"bgt and ble on signed values",
     "mov.b #0xff,r0l\ncmp.b #1,r0l\nble 1f\nmov.b #1,r1l\n1: cmp.b #1,r0l\nbgt 2f\nmov.b "
     "#2,r1h\n2:",
     {{1, 0x0200}},
     -1},
    {"bhi and bls on unsigned values",
     "mov.b #0xff,r0l\ncmp.b #1,r0l\nbhi 1f\nmov.b #1,r1l\n1: cmp.b #1,r0l\nbls 2f\nmov.b "
     "#2,r1h\n2:",
     {{1, 0x0200}},
     -1},
    {"bsr and rts use a 16-bit return address",
     "mov.w #0xff00,r7\nbsr 1f\nbra 2f\n1: mov.w @er7,r2\nrts\n2:",
     {{7, 0xFF00}},
     -1},
    {"bra d:16", "bra 1f:16\nmov.b #1,r0l\n1:", {{0, 0}}, -1},
    {"jmp @ern", "mov.w #1f,r1\njmp @er1\nmov.b #1,r0l\n1:", {{0, 0}}, -1},
    // control
    {"ldc and stc through the stack",
     "mov.w #0xff00,r7\nldc #0x85,ccr\nstc ccr,@-er7\nldc #0,ccr\nldc @er7+,ccr\nstc ccr,r0l",
     {{0, 0x85}, {7, 0xFF00}},
     Z | C},
    {"andc, orc, xorc", "ldc #0x0f,ccr\nandc #0x0c,ccr\norc #0x01,ccr\nxorc #0x08,ccr", {}, Z | C},
    {"illegal instruction stops", ".word 0x0001", {}, -1, {}, Cpu::Stop::Illegal},
    {"a jump outside RAM and flash stops",
     "mov.w #0x9000,r0\njmp @er0",
     {},
     -1,
     {},
     Cpu::Stop::Runaway},
    {"a jump to an odd address stops",
     "mov.w #0xf781,r0\njmp @er0",
     {},
     -1,
     {},
     Cpu::Stop::OddAddress},
    // time: 2 states per access, fetches and data, and the internal states
    {"states of a register move", "mov.w r0,r1", {}, -1, {}, Cpu::Stop::Sleep, 2},
    {"states of a long move with post-increment",
     "mov.l @er1+,er0",
     {},
     -1,
     {},
     Cpu::Stop::Sleep,
     4 + 4 + 2},
    {"states of a branch", "bra 1f\n1:", {}, -1, {}, Cpu::Stop::Sleep, 4},
    {"states of mulxu.w", "mulxu.w r0,er1", {}, -1, {}, Cpu::Stop::Sleep, 2 + 20},
    {"states of bset on memory", "bset #0,@0xd0:8", {}, -1, {}, Cpu::Stop::Sleep, 4 + 4},
};

struct Rig {
    FlashMemory flash;
    Chip chip{flash, {}, {}};
};

TEST(H8Cpu, EachInstructionCaseLeavesWhatTheManualSays) {
    if (!testing::haveProgram("h8300-hms-as"))
        GTEST_SKIP() << "binutils-h8300-hms is not installed";
    testing::ScratchFolder folder;
    // All cases in one program, each from its own label, so that one assembler run does.
    std::string source = "\t.h8300hn\n\t.text\n\t.global _start\n_start:\n";
    int k = 0;
    for (const auto& c : kCases) {
        source += "case" + std::to_string(k) + ":\n" + c.code + "\n\tsleep\n";
        source += "\t.align 1\n";
        ++k;
    }
    source += "\t.global ends\nends:\n";
    for (k = 0; k < int(std::size(kCases)); ++k)
        source += "\t.word case" + std::to_string(k) + "\n";
    std::string error;
    const auto image = testing::buildH8(folder, "cases.s", source, Cpu::kRamStart, error);
    ASSERT_FALSE(image.empty()) << error;
    // The table of case addresses sits at the end of the image.
    const size_t table = image.size() - 2 * std::size(kCases);
    for (k = 0; k < int(std::size(kCases)); ++k) {
        const Case& c = kCases[k];
        Rig rig;
        Cpu& cpu = rig.chip.cpu();
        rig.chip.start(Cpu::kRamStart, image);
        cpu.pc = uint16_t(image[table + 2 * k] << 8 | image[table + 2 * k + 1]);
        const uint64_t before = cpu.states();
        cpu.run(100000);
        EXPECT_EQ(cpu.stopped(), c.stop) << c.name << ": " << cpu.stopText();
        for (auto [r, v] : c.regs) EXPECT_EQ(cpu.er[r], v) << c.name << ": ER" << r;
        if (c.flags >= 0) {
            EXPECT_EQ(cpu.ccr & (H | N | Z | V | C), c.flags)
                << c.name << ": CCR " << std::hex << int(cpu.ccr);
        }
        for (auto [a, v] : c.memory)
            EXPECT_EQ(cpu.read8(a), v) << c.name << std::hex << ": @H'" << a;
        if (c.states >= 0) {  // SLEEP's own fetch not counted
            EXPECT_EQ(int(cpu.states() - before) - 2, c.states) << c.name;
        }
    }
}

// JSR @@aa:8, TRAPA and the NMI go through word vectors in flash; TRAPA and NMI put PC and
// CCR on the stack, and RTE returns with both.
TEST(H8Cpu, TrapAndNmiVectorThroughFlashAndReturn) {
    Rig rig;
    Cpu& cpu = rig.chip.cpu();
    uint8_t* mem = cpu.memory();
    // vectors: TRAPA #2 (vector 10) -> H'F800, NMI (vector 7) -> H'F810, H'18 -> H'F820
    mem[20] = 0xF8, mem[21] = 0x00, mem[14] = 0xF8, mem[15] = 0x10;
    mem[0x18] = 0xF8, mem[0x19] = 0x20;
    const std::vector<uint8_t> main = {0x79, 0x07, 0xFF, 0x00,  // mov.w #0xff00,r7
                                       0x5F, 0x18,              // jsr @@0x18
                                       0x57, 0x20,              // trapa #2
                                       0x01, 0x80};             // sleep
    rig.chip.start(0xF780, main);
    const uint8_t handler[] = {0xF0, 0x55, 0x56, 0x70};  // mov.b #0x55,r0h; rte
    std::copy(std::begin(handler), std::end(handler), mem + 0xF800);
    const uint8_t nmi[] = {0xF1, 0x66, 0x56, 0x70};  // mov.b #0x66,r1h; rte
    std::copy(std::begin(nmi), std::end(nmi), mem + 0xF810);
    const uint8_t sub[] = {0xF3, 0x09, 0x54, 0x70};  // mov.b #9,r3h; rts
    std::copy(std::begin(sub), std::end(sub), mem + 0xF820);
    cpu.invalidate(0xF780, 0xFF7F);
    cpu.ccr = 0x01;  // C set, I clear: both must come back
    cpu.run(1000);
    EXPECT_EQ(cpu.stopped(), Cpu::Stop::Sleep) << cpu.stopText();
    EXPECT_EQ(cpu.er[0], 0x5500u);
    EXPECT_EQ(cpu.er[3], 0x0900u);
    EXPECT_EQ(cpu.read16(0xFEFE), 0xF788);  // the PC after the TRAPA
    EXPECT_EQ(cpu.read16(0xFEFC), 0x0101);  // the CCR in both bytes of its word
    EXPECT_EQ(cpu.ccr & (kCcrI | kCcrC), kCcrC);
    EXPECT_EQ(cpu.er[7], 0xFF00u);
    cpu.nmi();
    cpu.run(1000);
    EXPECT_EQ(cpu.er[1], 0x6600u);
    EXPECT_EQ(cpu.stopped(), Cpu::Stop::Running);  // back after the SLEEP, where it fell through
}

// Idle loops are skipped by arithmetic: waiting for TDRE and TEND, a counted receive poll that
// runs out, and delay loops whose count crosses the sign bit must leave the same registers,
// flags, states and line as when every instruction runs, however the run is cut.
TEST(H8Cpu, SkippedIdleLoopsEndAsIfEveryTurnRan) {
    if (!testing::haveProgram("h8300-hms-as"))
        GTEST_SKIP() << "binutils-h8300-hms is not installed";
    testing::ScratchFolder folder;
    const std::string source = R"(	.h8300hn
	.text
	.global _start
_start:
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
        for (Run* r : {&plain, &skipping}) {
            r->chip.sci().presetFor(9600);
            r->chip.start(Cpu::kRamStart, image);
        }
        plain.chip.cpu().setSkipIdle(false);
        for (Run* r : {&plain, &skipping}) {
            while (r->chip.cpu().stopped() == Cpu::Stop::Running)
                r->chip.cpu().run(slice);
        }
        const Cpu& a = plain.chip.cpu();
        const Cpu& b = skipping.chip.cpu();
        EXPECT_EQ(b.stopped(), Cpu::Stop::Sleep) << b.stopText();
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
    const std::string object = folder.path("programs.o");
    const auto cc = testing::runCommand("h8300-hms-gcc -std=gnu99 -mh -mn -O2 -c -o " + object +
                                        " " QUILLMONT_SOURCE_DIR "/tests/sim/h8_programs.c");
    ASSERT_EQ(cc.status, 0) << cc.out;
    // Stack at the top of RAM, the results from H'FE00.
    const char* start =
        "\t.h8300hn\n\t.text\n\t.global _start\n_start:\tmov.l\t#0xff7e,er7\n"
        "\tmov.l\t#0xfe00,er0\n\tjsr\t@_run\n\tsleep\n";
    std::string error;
    const auto image = testing::buildH8(folder, "start.s", start, 0x0100, error, object);
    ASSERT_FALSE(image.empty()) << error;
    // The linker puts the C's constant tables first: _start is where the symbols say.
    const auto nm = testing::runCommand("h8300-hms-nm " + folder.path("start.coff"));
    const auto at = nm.out.find(" T _start");
    ASSERT_NE(at, std::string::npos) << nm.out;
    const auto entry = uint16_t(std::stoul(nm.out.substr(at - 16, 16), nullptr, 16));
    Rig rig;
    Cpu& cpu = rig.chip.cpu();
    std::copy(image.begin(), image.end(), cpu.memory() + 0x0100);
    cpu.invalidate(0, Cpu::kFlashEnd - 1);
    cpu.reset(entry);
    cpu.run(20'000'000);
    ASSERT_EQ(cpu.stopped(), Cpu::Stop::Sleep) << cpu.stopText();
    cprograms::u32 native[RESULTS];
    cprograms::run(native);
    for (int k = 0; k < RESULTS; ++k) {
        const uint16_t at = uint16_t(0xFE00 + 4 * k);
        const uint32_t got = uint32_t(cpu.read16(at)) << 16 | cpu.read16(uint16_t(at + 2));
        EXPECT_EQ(got, native[k]) << "result " << k;
    }
}

}  // namespace
}  // namespace quill::sim::h8
