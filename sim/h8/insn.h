#pragma once

#include <cstdint>
#include <string>

namespace quill::sim::h8 {

// What an H8/300H instruction does, apart from its operand size and its operands.
enum class Op : uint8_t {
    Illegal,
    Nop,
    Mov,
    Movfpe,  // MOV.B with the E clock: on this chip a plain byte read
    Movtpe,
    Add,
    Addx,
    Adds,
    Inc,
    Sub,
    Subx,
    Subs,
    Dec,
    Cmp,
    Neg,
    Daa,
    Das,
    Mulxu,
    Mulxs,
    Divxu,
    Divxs,
    Exts,
    Extu,
    And,
    Or,
    Xor,
    Not,
    Shal,
    Shar,
    Shll,
    Shlr,
    Rotl,
    Rotr,
    Rotxl,
    Rotxr,
    Bset,
    Bclr,
    Bnot,
    Btst,
    Bld,
    Bild,
    Bst,
    Bist,
    Band,
    Biand,
    Bor,
    Bior,
    Bxor,
    Bixor,
    Bcc,
    Jmp,
    Bsr,
    Jsr,
    Rts,
    Rte,
    Trapa,
    Sleep,
    Ldc,
    Stc,
    Andc,
    Orc,
    Xorc,
    Eepmov,
};

// Where an operand is. Memory addresses are 16 bits wide in normal mode: the upper bits of
// an absolute address, a displacement sum or an address register are ignored.
enum class Mode : uint8_t {
    None,
    Reg,      // register: byte 0-7 RnH, 8-15 RnL; word 0-7 Rn, 8-15 En; long 0-7 ERn
    Imm,      // #value
    Ind,      // @ERn
    PostInc,  // @ERn+
    PreDec,   // @-ERn
    Disp16,   // @(d:16,ERn), value sign-extended
    Disp24,   // @(d:24,ERn)
    Abs8,     // @aa:8, in the I/O page H'FF00-H'FFFF
    Abs16,    // @aa:16, sign-extended
    Abs24,    // @aa:24
    MemInd,   // @@aa:8: the branch address is the word at aa
    PcRel8,   // branch displacement, value sign-extended
    PcRel16,
    Ccr,
};

struct Operand {
    Mode mode = Mode::None;
    uint8_t reg = 0;
    uint32_t value = 0;
};

// One decoded instruction. `size` is the operand size in bytes (1, 2 or 4; 0 when the
// instruction has none); `length` its length in bytes; `states` its execution time on
// on-chip memory, in states, apart from what depends on data (EEPMOV's count).
struct Insn {
    Op op = Op::Illegal;
    uint8_t size = 0;
    uint8_t length = 2;
    uint8_t states = 0;
    uint8_t cond = 0;  // Bcc: the condition field (0 BRA ... 15 BLE)
    Operand src;
    Operand dst;
};

// Decodes the instruction at `code` (at least kMaxLength bytes readable). An encoding the
// H8/300H does not have gives Op::Illegal with length 2.
Insn decode(const uint8_t* code);
inline constexpr int kMaxLength = 10;

// The instruction as h8300-hms-objdump -m h8300hn writes it ("mov.w\tr1,@(0x2:16,er2)"),
// `pc` being its address (for branch targets).
std::string disassemble(const Insn& insn, uint32_t pc);

const char* opName(Op op);

}  // namespace quill::sim::h8
