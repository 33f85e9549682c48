// Decoding from the H8/300H encodings. An instruction is one to five 16-bit words: the first
// byte picks the group, nibbles of the second pick the operation and registers, and the
// prefixes H'01xx (long moves, CCR in memory, signed multiply and divide, long logic) and
// H'78 (24-bit displacement) lead into a second opcode word.

#include "sim/h8/insn.h"
#include "sim/h8/timing.h"

namespace quill::sim::h8 {

namespace {

uint16_t word(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

uint32_t longword(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

Operand reg(int r) {
    return {Mode::Reg, uint8_t(r), 0};
}
Operand imm(uint32_t v) {
    return {Mode::Imm, 0, v};
}
Operand mem(Mode m, int r, uint32_t v = 0) {
    return {m, uint8_t(r), v};
}

bool isMemory(Mode m) {
    return m == Mode::Ind || m == Mode::PostInc || m == Mode::PreDec || m == Mode::Disp16 ||
           m == Mode::Disp24 || m == Mode::Abs8 || m == Mode::Abs16 || m == Mode::Abs24;
}

// Data accesses of one memory operand of `size` bytes: a long is two word accesses.
int accesses(int size) {
    return size == 4 ? 2 : 1;
}

// The time of an instruction whose data accesses are as plain as its operands say.
void time(Insn& i, int extraAccesses = 0, int internal = 0) {
    int n = i.length / 2 + extraAccesses;
    for (const Operand* o : {&i.src, &i.dst}) {
        if (isMemory(o->mode)) n += accesses(i.size);
        if (o->mode == Mode::PostInc || o->mode == Mode::PreDec) internal += kStatesPostIncrement;
    }
    i.states = uint8_t(n * kStatesPerAccess + internal);
}

Insn make(Op op, int size, int length, Operand src, Operand dst) {
    Insn i;
    i.op = op;
    i.size = uint8_t(size);
    i.length = uint8_t(length);
    i.src = src;
    i.dst = dst;
    time(i);
    return i;
}

Insn illegal() {
    Insn i;
    i.states = kStatesPerAccess;
    return i;
}

// A register-to-register or register-only operation: no memory operand.
Insn regOp(Op op, int size, Operand src, Operand dst) {
    return make(op, size, 2, src, dst);
}

// H'01 00 (MOV.L) and H'01 40 (LDC/STC) share the memory forms of MOV.W after the prefix.
Insn prefixedMove(const uint8_t* p, bool ccr) {
    const uint8_t b2 = p[2], b3 = p[3];
    const int hi = b3 >> 4, lo = b3 & 15;
    const bool store = hi & 8;
    const int ern = hi & 7;
    if (!ccr && (lo & 8)) return illegal();
    if (ccr && lo != 0) return illegal();
    const Op op = ccr ? (store ? Op::Stc : Op::Ldc) : Op::Mov;
    const int size = ccr ? 2 : 4;
    const Operand r = ccr ? Operand{Mode::Ccr, 0, 0} : reg(lo);
    auto form = [&](Operand m, int length) {
        return store ? make(op, size, length, r, m) : make(op, size, length, m, r);
    };
    switch (b2) {
        case 0x69:
            return form(mem(Mode::Ind, ern), 4);
        case 0x6D:
            return form(mem(store ? Mode::PreDec : Mode::PostInc, ern), 4);
        case 0x6F:
            return form(mem(Mode::Disp16, ern, word(p + 4)), 6);
        case 0x6B:
            if (hi == 0 || hi == 8) return form(mem(Mode::Abs16, 0, word(p + 4)), 6);
            if (hi == 2 || hi == 0xA) return form(mem(Mode::Abs24, 0, longword(p + 4)), 8);
            return illegal();
        case 0x78: {
            // 01 0x 78 [s ERn]0 6B [2|A] r 00 dd dd dd: a MOV.L store also marks the
            // address register with bit 7 (s), LDC/STC do not.
            if ((b3 & 0x0F) != 0 || p[4] != 0x6B) return illegal();
            const int h5 = p[5] >> 4, l5 = p[5] & 15;
            if ((h5 != 2 && h5 != 0xA) || (ccr ? l5 != 0 : (l5 & 8))) return illegal();
            if ((b3 & 0x80) != (!ccr && h5 == 0xA ? 0x80 : 0)) return illegal();
            const Operand m = mem(Mode::Disp24, (b3 >> 4) & 7, longword(p + 6));
            const Operand rr = ccr ? Operand{Mode::Ccr, 0, 0} : reg(l5);
            const Op o = ccr ? (h5 == 0xA ? Op::Stc : Op::Ldc) : Op::Mov;
            return h5 == 0xA ? make(o, size, 10, rr, m) : make(o, size, 10, m, rr);
        }
        default:
            return illegal();
    }
}

Insn prefix01(const uint8_t* p) {
    const uint8_t b1 = p[1], b2 = p[2], b3 = p[3];
    switch (b1) {
        case 0x00:
            return prefixedMove(p, false);
        case 0x40:
            return prefixedMove(p, true);
        case 0x80: {
            Insn i = make(Op::Sleep, 0, 2, {}, {});
            return i;
        }
        case 0xC0:
        case 0xD0: {
            const bool mul = b1 == 0xC0;
            if (b2 == (mul ? 0x50 : 0x51)) {
                Insn i = make(mul ? Op::Mulxs : Op::Divxs, 1, 4, reg(b3 >> 4), reg(b3 & 15));
                time(i, 0, kStatesMulDivByte);
                return i;
            }
            if (b2 == (mul ? 0x52 : 0x53) && !(b3 & 8)) {
                Insn i = make(mul ? Op::Mulxs : Op::Divxs, 2, 4, reg(b3 >> 4), reg(b3 & 7));
                time(i, 0, kStatesMulDivWord);
                return i;
            }
            return illegal();
        }
        case 0xF0: {
            if ((b3 & 0x88) != 0 || b2 < 0x64 || b2 > 0x66) return illegal();
            const Op op = b2 == 0x64 ? Op::Or : b2 == 0x65 ? Op::Xor : Op::And;
            return make(op, 4, 4, reg(b3 >> 4), reg(b3 & 7));
        }
        default:
            return illegal();
    }
}

// H'0A/0B/0F/1A/1B/1F: an 8-bit operation on Rd (second byte H'0d), a 32-bit one on ERs,ERd
// (second byte [1 ERs][0 ERd]), or ADDS/SUBS and INC/DEC by 1, 2 or 4.
Insn incDecGroup(uint8_t b0, uint8_t b1) {
    const int hi = b1 >> 4, lo = b1 & 15;
    const bool sub = b0 & 0x10;
    switch (b0 & 0x0F) {
        case 0x0A:
            if (hi == 0) return regOp(sub ? Op::Dec : Op::Inc, 1, imm(1), reg(lo));
            if ((hi & 8) && !(lo & 8))
                return regOp(sub ? Op::Sub : Op::Add, 4, reg(hi & 7), reg(lo));
            return illegal();
        case 0x0B:
            switch (hi) {
                case 0x0:
                case 0x8:
                case 0x9:
                    if (lo & 8) return illegal();
                    return regOp(sub ? Op::Subs : Op::Adds, 4,
                                 imm(hi == 0   ? 1
                                     : hi == 8 ? 2
                                               : 4),
                                 reg(lo));
                case 0x5:
                case 0xD:
                    return regOp(sub ? Op::Dec : Op::Inc, 2, imm(hi == 5 ? 1 : 2), reg(lo));
                case 0x7:
                case 0xF:
                    if (lo & 8) return illegal();
                    return regOp(sub ? Op::Dec : Op::Inc, 4, imm(hi == 7 ? 1 : 2), reg(lo));
                default:
                    return illegal();
            }
        default:  // 0x0F
            if (hi == 0) return regOp(sub ? Op::Das : Op::Daa, 1, {}, reg(lo));
            if ((hi & 8) && !(lo & 8))
                return regOp(sub ? Op::Cmp : Op::Mov, 4, reg(hi & 7), reg(lo));
            return illegal();
    }
}

// H'10-13 shifts and rotates, H'17 NOT/NEG/EXTU/EXTS: the high nibble of the second byte
// gives the operation and the size.
Insn shiftGroup(uint8_t b0, uint8_t b1) {
    const int hi = b1 >> 4, lo = b1 & 15;
    static constexpr Op shifts[4][2] = {
        {Op::Shll, Op::Shal}, {Op::Shlr, Op::Shar}, {Op::Rotxl, Op::Rotl}, {Op::Rotxr, Op::Rotr}};
    int size = 0;
    Op op = Op::Illegal;
    if (b0 != 0x17) {
        const int s = hi & 7;
        size = s == 0 ? 1 : s == 1 ? 2 : s == 3 ? 4 : 0;
        op = shifts[b0 - 0x10][hi >> 3];
    } else {
        switch (hi) {
            case 0x0:
                op = Op::Not, size = 1;
                break;
            case 0x1:
                op = Op::Not, size = 2;
                break;
            case 0x3:
                op = Op::Not, size = 4;
                break;
            case 0x5:
                op = Op::Extu, size = 2;
                break;
            case 0x7:
                op = Op::Extu, size = 4;
                break;
            case 0x8:
                op = Op::Neg, size = 1;
                break;
            case 0x9:
                op = Op::Neg, size = 2;
                break;
            case 0xB:
                op = Op::Neg, size = 4;
                break;
            case 0xD:
                op = Op::Exts, size = 2;
                break;
            case 0xF:
                op = Op::Exts, size = 4;
                break;
            default:
                break;
        }
    }
    if (size == 0 || (size == 4 && (lo & 8))) return illegal();
    return regOp(op, size, {}, reg(lo));
}

constexpr Op kBitOpsRegister[4] = {Op::Bset, Op::Bnot, Op::Bclr, Op::Btst};  // H'60-63, 70-73
constexpr Op kBitOpsCarry[4][2] = {{Op::Bor, Op::Bior},
                                   {Op::Bxor, Op::Bixor},
                                   {Op::Band, Op::Biand},
                                   {Op::Bld, Op::Bild}};  // H'74-77

// A bit operation on a byte register or on memory (`target`), from the opcode byte `op` and
// the byte that holds the bit number. `length` is that of the whole instruction.
Insn bitOp(uint8_t op, uint8_t bits, Operand target, int length, bool memory) {
    const int hi = bits >> 4;
    Insn i;
    Operand bit;
    if (op >= 0x60 && op <= 0x63) {
        i.op = kBitOpsRegister[op - 0x60];
        bit = reg(hi);
    } else if (op == 0x67) {
        i.op = hi & 8 ? Op::Bist : Op::Bst;
        bit = imm(hi & 7);
    } else if (op >= 0x70 && op <= 0x73) {
        if (hi & 8) return illegal();
        i.op = kBitOpsRegister[op - 0x70];
        bit = imm(hi);
    } else if (op >= 0x74 && op <= 0x77) {
        i.op = kBitOpsCarry[op - 0x74][hi >> 3];
        bit = imm(hi & 7);
    } else {
        return illegal();
    }
    if (memory && (bits & 15) != 0) return illegal();
    i.size = 1;
    i.length = uint8_t(length);
    i.src = bit;
    i.dst = target;
    // Only the read-modify-write operations write the byte back.
    const bool writes = i.op == Op::Bset || i.op == Op::Bclr || i.op == Op::Bnot ||
                        i.op == Op::Bst || i.op == Op::Bist;
    time(i, memory && writes ? 1 : 0);
    return i;
}

// H'7C/7E test a bit of memory; H'7D/7F change one. The third byte is the register form's
// opcode: the first group may only test, the second only change.
Insn bitMemory(const uint8_t* p, Operand target) {
    const uint8_t op = p[2];
    const bool changes = p[0] & 1;
    const bool ok = changes ? (op >= 0x60 && op <= 0x62) || op == 0x67 || (op >= 0x70 && op <= 0x72)
                            : op == 0x63 || (op >= 0x73 && op <= 0x77);
    if (!ok) return illegal();
    return bitOp(op, p[3], target, 4, true);
}

Insn branch(Op op, int length, Operand target, int cond = 0, int stack = 0, int internal = 0) {
    Insn i;
    i.op = op;
    i.length = uint8_t(length);
    i.cond = uint8_t(cond);
    i.dst = target;
    // The fetch at the branch target is the one more access.
    time(i, 1 + stack, internal);
    return i;
}

Insn moveGroup(const uint8_t* p) {
    const uint8_t b0 = p[0], b1 = p[1];
    const int hi = b1 >> 4, lo = b1 & 15;
    const int size = (b0 & 1) ? 2 : 1;
    const bool store = hi & 8;
    const int ern = hi & 7;
    auto form = [&](Operand m, int length, Op op = Op::Mov) {
        return store ? make(op, size, length, reg(lo), m) : make(op, size, length, m, reg(lo));
    };
    switch (b0) {
        case 0x68:
        case 0x69:
            return form(mem(Mode::Ind, ern), 2);
        case 0x6C:
        case 0x6D:
            return form(mem(store ? Mode::PreDec : Mode::PostInc, ern), 2);
        case 0x6E:
        case 0x6F:
            return form(mem(Mode::Disp16, ern, word(p + 2)), 4);
        default:  // 6A, 6B
            switch (hi) {
                case 0x0:
                case 0x8:
                    return form(mem(Mode::Abs16, 0, word(p + 2)), 4);
                case 0x2:
                case 0xA:
                    return form(mem(Mode::Abs24, 0, longword(p + 2)), 6);
                case 0x4:
                case 0xC:
                    if (size != 1) return illegal();
                    return form(mem(Mode::Abs16, 0, word(p + 2)), 4,
                                store ? Op::Movtpe : Op::Movfpe);
                default:
                    return illegal();
            }
    }
}

constexpr Op kImmediateOps[7] = {Op::Mov, Op::Add, Op::Cmp, Op::Sub, Op::Or, Op::Xor, Op::And};

}  // namespace

Insn decode(const uint8_t* p) {
    const uint8_t b0 = p[0], b1 = p[1];
    const int hi = b1 >> 4, lo = b1 & 15;
    switch (b0 >> 4) {
        case 0x2:
            return make(Op::Mov, 1, 2, mem(Mode::Abs8, 0, b1), reg(b0 & 15));
        case 0x3:
            return make(Op::Mov, 1, 2, reg(b0 & 15), mem(Mode::Abs8, 0, b1));
        case 0x4:
            if (b1 & 1) return illegal();  // branch displacements are even
            return branch(Op::Bcc, 2, {Mode::PcRel8, 0, uint32_t(int8_t(b1))}, b0 & 15);
        case 0x8:
            return regOp(Op::Add, 1, imm(b1), reg(b0 & 15));
        case 0x9:
            return regOp(Op::Addx, 1, imm(b1), reg(b0 & 15));
        case 0xA:
            return regOp(Op::Cmp, 1, imm(b1), reg(b0 & 15));
        case 0xB:
            return regOp(Op::Subx, 1, imm(b1), reg(b0 & 15));
        case 0xC:
            return regOp(Op::Or, 1, imm(b1), reg(b0 & 15));
        case 0xD:
            return regOp(Op::Xor, 1, imm(b1), reg(b0 & 15));
        case 0xE:
            return regOp(Op::And, 1, imm(b1), reg(b0 & 15));
        case 0xF:
            return regOp(Op::Mov, 1, imm(b1), reg(b0 & 15));
        default:
            break;
    }
    switch (b0) {
        case 0x00:
            return b1 == 0 ? make(Op::Nop, 0, 2, {}, {}) : illegal();
        case 0x01:
            return prefix01(p);
        case 0x02:
            return hi == 0 ? regOp(Op::Stc, 1, {Mode::Ccr, 0, 0}, reg(lo)) : illegal();
        case 0x03:
            return hi == 0 ? regOp(Op::Ldc, 1, reg(lo), {Mode::Ccr, 0, 0}) : illegal();
        case 0x04:
            return regOp(Op::Orc, 1, imm(b1), {Mode::Ccr, 0, 0});
        case 0x05:
            return regOp(Op::Xorc, 1, imm(b1), {Mode::Ccr, 0, 0});
        case 0x06:
            return regOp(Op::Andc, 1, imm(b1), {Mode::Ccr, 0, 0});
        case 0x07:
            return regOp(Op::Ldc, 1, imm(b1), {Mode::Ccr, 0, 0});
        case 0x08:
        case 0x09:
        case 0x0C:
        case 0x0D:
        case 0x0E:
        case 0x18:
        case 0x19:
        case 0x1C:
        case 0x1D:
        case 0x1E: {
            static constexpr Op ops[2][8] = {
                {Op::Add, Op::Add, {}, {}, Op::Mov, Op::Mov, Op::Addx, {}},
                {Op::Sub, Op::Sub, {}, {}, Op::Cmp, Op::Cmp, Op::Subx, {}}};
            const int size = (b0 == 0x0E || b0 == 0x1E || !(b0 & 1)) ? 1 : 2;
            return regOp(ops[b0 >> 4][b0 & 7], size, reg(hi), reg(lo));
        }
        case 0x0A:
        case 0x0B:
        case 0x0F:
        case 0x1A:
        case 0x1B:
        case 0x1F:
            return incDecGroup(b0, b1);
        case 0x10:
        case 0x11:
        case 0x12:
        case 0x13:
        case 0x17:
            return shiftGroup(b0, b1);
        case 0x14:
            return regOp(Op::Or, 1, reg(hi), reg(lo));
        case 0x15:
            return regOp(Op::Xor, 1, reg(hi), reg(lo));
        case 0x16:
            return regOp(Op::And, 1, reg(hi), reg(lo));
        case 0x50:
        case 0x51:
        case 0x52:
        case 0x53: {
            const bool word = b0 & 2;
            if (word && (lo & 8)) return illegal();
            Insn i = regOp(b0 & 1 ? Op::Divxu : Op::Mulxu, word ? 2 : 1, reg(hi),
                           reg(word ? lo & 7 : lo));
            time(i, 0, word ? kStatesMulDivWord : kStatesMulDivByte);
            return i;
        }
        case 0x54:
            return b1 == 0x70 ? branch(Op::Rts, 2, {}, 0, 1, kStatesReturn) : illegal();
        case 0x56:
            return b1 == 0x70 ? branch(Op::Rte, 2, {}, 0, 2, kStatesReturn) : illegal();
        case 0x55:
            if (b1 & 1) return illegal();
            return branch(Op::Bsr, 2, {Mode::PcRel8, 0, uint32_t(int8_t(b1))}, 0, 1);
        case 0x57: {
            if ((b1 & 0xCF) != 0) return illegal();
            Insn i = branch(Op::Trapa, 2, imm(hi), 0, 3, kStatesTrap);  // vector + PC + CCR
            return i;
        }
        case 0x58:
            if (lo != 0 || (p[3] & 1)) return illegal();
            return branch(Op::Bcc, 4, {Mode::PcRel16, 0, uint32_t(int16_t(word(p + 2)))}, hi, 0,
                          kStatesLongBranch);
        case 0x5C:
            if (b1 != 0 || (p[3] & 1)) return illegal();
            return branch(Op::Bsr, 4, {Mode::PcRel16, 0, uint32_t(int16_t(word(p + 2)))}, 0, 1,
                          kStatesLongBranch);
        case 0x59:
        case 0x5D:
            if ((b1 & 0x8F) != 0) return illegal();
            return branch(b0 == 0x59 ? Op::Jmp : Op::Jsr, 2, mem(Mode::Ind, hi), 0, b0 == 0x5D);
        case 0x5A:
        case 0x5E:
            return branch(b0 == 0x5A ? Op::Jmp : Op::Jsr, 4,
                          mem(Mode::Abs24, 0, longword(p) & 0xFFFFFF), 0, b0 == 0x5E,
                          kStatesLongBranch);
        case 0x5B:
        case 0x5F:
            // one more access: the branch address read from the table
            return branch(b0 == 0x5B ? Op::Jmp : Op::Jsr, 2, mem(Mode::MemInd, 0, b1), 0,
                          1 + (b0 == 0x5F), b0 == 0x5B ? kStatesLongBranch : 0);
        case 0x60:
        case 0x61:
        case 0x62:
        case 0x63:
        case 0x67:
        case 0x70:
        case 0x71:
        case 0x72:
        case 0x73:
        case 0x74:
        case 0x75:
        case 0x76:
        case 0x77:
            return bitOp(b0, b1, reg(lo), 2, false);
        case 0x64:
            return regOp(Op::Or, 2, reg(hi), reg(lo));
        case 0x65:
            return regOp(Op::Xor, 2, reg(hi), reg(lo));
        case 0x66:
            return regOp(Op::And, 2, reg(hi), reg(lo));
        case 0x68:
        case 0x69:
        case 0x6A:
        case 0x6B:
        case 0x6C:
        case 0x6D:
        case 0x6E:
        case 0x6F:
            return moveGroup(p);
        case 0x78: {
            // 78 [0 ERn]0 6A|6B [2|A] r 00 dd dd dd
            const uint8_t b2 = p[2], h3 = p[3] >> 4;
            if ((b1 & 0x8F) != 0 || (b2 != 0x6A && b2 != 0x6B) || (h3 != 2 && h3 != 0xA))
                return illegal();
            const int size = b2 == 0x6B ? 2 : 1;
            const Operand m = mem(Mode::Disp24, hi, longword(p + 4));
            const Operand r = reg(p[3] & 15);
            return h3 == 0xA ? make(Op::Mov, size, 8, r, m) : make(Op::Mov, size, 8, m, r);
        }
        case 0x79:
            if (hi > 6) return illegal();
            return make(kImmediateOps[hi], 2, 4, imm(word(p + 2)), reg(lo));
        case 0x7A:
            if (hi > 6 || (lo & 8)) return illegal();
            return make(kImmediateOps[hi], 4, 6, imm(longword(p + 2)), reg(lo));
        case 0x7B: {
            const uint32_t w = longword(p);
            if (w != 0x7B5C598F && w != 0x7BD4598F) return illegal();
            // Two fetches and the check of the count; each byte moved adds its read and write.
            Insn i = make(Op::Eepmov, w == 0x7B5C598F ? 1 : 2, 4, {}, {});
            time(i, 2);
            return i;
        }
        case 0x7C:
        case 0x7D:
            if ((b1 & 0x8F) != 0) return illegal();
            return bitMemory(p, mem(Mode::Ind, hi));
        case 0x7E:
        case 0x7F:
            return bitMemory(p, mem(Mode::Abs8, 0, b1));
        default:
            return illegal();
    }
}

}  // namespace quill::sim::h8
