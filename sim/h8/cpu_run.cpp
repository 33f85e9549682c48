// The CPU's run loop over predecoded instructions. Each even address of RAM and flash keeps
// its instruction taken apart once (register operands as offsets, addresses, immediates, the
// states that do not depend on data) with the form that runs it, one case per operation,
// operand size and addressing, so that common instructions run without looking at their
// encoding again: an emulated write must take far less than a second of the host's time.
// Rare forms run through the general execute(). A write under a decoded instruction (code
// that changes itself, programmed flash) drops it (invalidate()), and it is decoded afresh.

#include <bit>
#include <cstring>

#include "sim/h8/cpu.h"

namespace quill::sim::h8 {

#define HOT [[gnu::always_inline]] inline

namespace {

template <int S>
struct Word;
template <>
struct Word<1> {
    using T = uint8_t;
};
template <>
struct Word<2> {
    using T = uint16_t;
};
template <>
struct Word<4> {
    using T = uint32_t;
};

template <int S>
constexpr uint32_t kMask = S == 1 ? 0xFFu : S == 2 ? 0xFFFFu : 0xFFFFFFFFu;
template <int S>
constexpr uint32_t kSign = S == 1 ? 0x80u : S == 2 ? 0x8000u : 0x80000000u;
// The bits below the one whose carry is the half carry: bit 3, 11 or 27.
template <int S>
constexpr uint32_t kHalf = S == 1 ? 0xFu : S == 2 ? 0xFFFu : 0xFFFFFFFu;

// The flags that arithmetic and logic leave alone.
constexpr uint8_t kKeep = kCcrI | kCcrUI | kCcrU;

// A register's bytes within its ER word in host memory.
constexpr unsigned kLowByte = std::endian::native == std::endian::little ? 0 : 3;
constexpr unsigned kHighByte = std::endian::native == std::endian::little ? 1 : 2;
constexpr unsigned kLowWord = std::endian::native == std::endian::little ? 0 : 2;
constexpr unsigned kHighWord = std::endian::native == std::endian::little ? 2 : 0;
constexpr unsigned kSp = 7 * 4;

// Register r of `size` (byte 0-7 RnH, 8-15 RnL; word 0-7 Rn, 8-15 En; long ERn) as an offset.
uint8_t offset(int r, int size) {
    const unsigned base = unsigned(r & 7) * 4;
    if (size == 1) return uint8_t(base + (r & 8 ? kLowByte : kHighByte));
    if (size == 2) return uint8_t(base + (r & 8 ? kHighWord : kLowWord));
    return uint8_t(base);
}

template <int S>
HOT uint32_t reg(const uint32_t* er, unsigned at) {
    typename Word<S>::T v;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(er) + at, S);
    return v;
}
template <int S>
HOT void setReg(uint32_t* er, unsigned at, uint32_t v) {
    const auto w = typename Word<S>::T(v);
    std::memcpy(reinterpret_cast<uint8_t*>(er) + at, &w, S);
}

// The CCR while the loop runs. Most instructions set N and Z from their result and most
// results are never tested, so N and Z are kept as a value they are read from only when
// looked at: N where `nz` is negative, Z where its low 32 bits are 0 (every pair of the two
// has such a value). `c` holds the other bits; its N and Z are stale.
struct Flags {
    uint8_t c;
    int64_t nz;

    HOT static int64_t encode(bool n, bool z) {
        return n ? (z ? INT64_MIN : -1) : (z ? 0 : 1);
    }
    HOT explicit Flags(uint8_t ccr) : c(ccr), nz(encode(ccr & kCcrN, ccr & kCcrZ)) {}
    HOT bool n() const { return nz < 0; }
    HOT bool z() const { return uint32_t(nz) == 0; }
    HOT uint8_t ccr() const {
        return uint8_t((c & ~(kCcrN | kCcrZ)) | (n() ? kCcrN : 0) | (z() ? kCcrZ : 0));
    }
    // N and Z of an S-byte result.
    template <int S>
    HOT void result(uint32_t r) {
        if constexpr (S == 1) nz = int8_t(r);
        if constexpr (S == 2) nz = int16_t(r);
        if constexpr (S == 4) nz = int32_t(r);
    }
    // MOV and the logic operations: N and Z from the result, V cleared.
    template <int S>
    HOT void logic(uint32_t r) {
        c &= uint8_t(~kCcrV);
        result<S>(r);
    }
    // ADD, SUB, CMP and NEG: H V C as computed, N and Z from the result.
    template <int S>
    HOT void arith(uint8_t hvc, uint32_t r) {
        c = uint8_t((c & kKeep) | hvc);
        result<S>(r);
    }
};

// a + b + k and a - b - k with their H, V and C. The carry or borrow into bit i is bit i of
// a ^ b ^ (the sum or difference); H is the one into bit 4, 12 or 28.
template <int S>
HOT uint8_t halfCarry(uint32_t a, uint32_t b, uint32_t r) {
    const uint32_t carries = a ^ b ^ r;  // H is CCR bit 5
    if constexpr (S == 1) return uint8_t((carries << 1) & kCcrH);
    if constexpr (S == 2) return uint8_t((carries >> 7) & kCcrH);
    if constexpr (S == 4) return uint8_t((carries >> 23) & kCcrH);
}
template <int S>
HOT uint32_t add(uint32_t a, uint32_t b, uint32_t k, uint8_t& hvc) {
    const uint64_t wide = uint64_t(a) + b + k;
    const uint32_t r = uint32_t(wide) & kMask<S>;
    hvc = uint8_t(halfCarry<S>(a, b, uint32_t(wide)) |
                  (((a ^ r) & (b ^ r)) >> (8 * S - 2) & kCcrV) | ((wide >> (8 * S)) & kCcrC));
    return r;
}
template <int S>
HOT uint32_t sub(uint32_t a, uint32_t b, uint32_t k, uint8_t& hvc) {
    const uint64_t wide = uint64_t(a) - b - k;
    const uint32_t r = uint32_t(wide) & kMask<S>;
    hvc = uint8_t(halfCarry<S>(a, b, uint32_t(wide)) |
                  (((a ^ b) & (a ^ r)) >> (8 * S - 2) & kCcrV) | ((wide >> (8 * S)) & kCcrC));
    return r;
}

// The shifts and rotates by one bit, in the order of their kinds.
enum class Sh { Shll, Shlr, Shal, Shar, Rotl, Rotr, Rotxl, Rotxr };

template <int S, Sh K>
HOT uint32_t shift(uint32_t a, Flags& f) {
    const bool msb = a & kSign<S>, lsb = a & 1;
    uint32_t r;
    bool out;
    if constexpr (K == Sh::Shll || K == Sh::Shal) r = a << 1, out = msb;
    if constexpr (K == Sh::Shlr) r = a >> 1, out = lsb;
    if constexpr (K == Sh::Shar) r = a >> 1 | (a & kSign<S>), out = lsb;
    if constexpr (K == Sh::Rotl) r = a << 1 | msb, out = msb;
    if constexpr (K == Sh::Rotr) r = a >> 1 | (lsb ? kSign<S> : 0), out = lsb;
    if constexpr (K == Sh::Rotxl) r = a << 1 | (f.c & kCcrC), out = msb;
    if constexpr (K == Sh::Rotxr) r = a >> 1 | (f.c & kCcrC ? kSign<S> : 0), out = lsb;
    r &= kMask<S>;
    const bool v = K == Sh::Shal && msb != ((r & kSign<S>) != 0);
    f.c = uint8_t((f.c & ~(kCcrV | kCcrC)) | (v ? kCcrV : 0) | (out ? kCcrC : 0));
    f.result<S>(r);
    return r;
}

// The bit operations with an immediate bit number: the byte written back, or -1.
enum BitOp { kBset, kBclr, kBnot, kBtst };

template <int K>
HOT int bitOp(uint8_t v, uint8_t bit, Flags& f) {
    if constexpr (K == kBset) return v | bit;
    if constexpr (K == kBclr) return v & ~bit;
    if constexpr (K == kBnot) return v ^ bit;
    f.nz = Flags::encode(f.n(), !(v & bit));
    return -1;
}

// Memory operands.
enum Addressing { kInd, kPostInc, kPreDec, kDisp, kAbs };

template <int S, int A>
HOT uint16_t effective(uint32_t* er, const auto& s) {
    if constexpr (A == kInd) return uint16_t(reg<4>(er, s.x));
    if constexpr (A == kPostInc) {
        const uint32_t v = reg<4>(er, s.x);
        setReg<4>(er, s.x, v + S);
        return uint16_t(v);
    }
    if constexpr (A == kPreDec) {
        const uint32_t v = reg<4>(er, s.x) - S;
        setReg<4>(er, s.x, v);
        return uint16_t(v);
    }
    if constexpr (A == kDisp) return uint16_t(reg<4>(er, s.x) + s.value);
    return s.target;
}

// Lengths of the forms whose length is fixed by their size: the run loop steps by these and
// translate() takes a form only when its decoded length agrees.
constexpr int immLength(int size) {  // #xx:8 in the opcode, #xx:16 and #xx:32 after it
    return size == 1 ? 2 : size == 2 ? 4 : 6;
}
constexpr int pointerLength(int size) {  // @ERn, @ERn+, @-ERn: MOV.L has the H'0100 prefix
    return size == 4 ? 4 : 2;
}
constexpr int logicLength(int size) {  // AND/OR/XOR.L Rs,Rd have the H'01F0 prefix
    return size == 4 ? 4 : 2;
}
constexpr int memoryLength(int a, int size) {  // 0: as decoded (displacements, absolutes)
    return a == kInd || a == kPostInc || a == kPreDec ? pointerLength(size) : 0;
}

// The forms, in the order of their kinds. A sized form takes three kinds in a row (.B, .W,
// .L); the loads and the stores by addressing, the shifts and the bit operations are in the
// order of their enums.
#define QUILL_H8_FORMS(ONE, SIZED)                                                          \
    ONE(Miss) /* not decoded yet */                                                         \
    ONE(Generic) ONE(Nop) SIZED(MovR) SIZED(MovI) SIZED(LoadInd) SIZED(LoadPostInc)          \
    SIZED(LoadPreDec) SIZED(LoadDisp) SIZED(LoadAbs) SIZED(StoreInd) SIZED(StorePostInc)     \
    SIZED(StorePreDec) SIZED(StoreDisp) SIZED(StoreAbs) SIZED(AddR) SIZED(AddI) SIZED(SubR)  \
    SIZED(SubI) SIZED(CmpR) SIZED(CmpI) SIZED(AndR) SIZED(AndI) SIZED(OrR) SIZED(OrI)        \
    SIZED(XorR) SIZED(XorI) SIZED(Inc) SIZED(Dec) SIZED(Not) SIZED(Neg) SIZED(Extu)          \
    SIZED(Exts) SIZED(Shll) SIZED(Shlr) SIZED(Shal) SIZED(Shar) SIZED(Rotl) SIZED(Rotr)      \
    SIZED(Rotxl) SIZED(Rotxr) ONE(AddxR) ONE(AddxI) ONE(SubxR) ONE(SubxI) ONE(Adds)          \
    ONE(Subs) ONE(MulxuB) ONE(MulxuW) ONE(BsetR) ONE(BclrR) ONE(BnotR) ONE(BtstR)            \
    ONE(BsetInd) ONE(BclrInd) ONE(BnotInd) ONE(BtstInd) ONE(BsetAbs) ONE(BclrAbs)            \
    ONE(BnotAbs) ONE(BtstAbs) ONE(Bcc) ONE(Bra) ONE(Bne) ONE(Beq) ONE(Bsr) ONE(Jmp) ONE(JmpInd) ONE(Jsr) ONE(JsrInd)    \
    ONE(Rts)

#define QUILL_KIND_ONE(name) k##name,
#define QUILL_KIND_SIZED(name) k##name, k##name##_2, k##name##_4,
enum Kind : uint8_t { QUILL_H8_FORMS(QUILL_KIND_ONE, QUILL_KIND_SIZED) kKinds };
#undef QUILL_KIND_ONE
#undef QUILL_KIND_SIZED

int sizeIndex(int size) {
    return size == 1 ? 0 : size == 2 ? 1 : 2;
}

int addressing(Mode m) {
    switch (m) {
        case Mode::Ind:
            return kInd;
        case Mode::PostInc:
            return kPostInc;
        case Mode::PreDec:
            return kPreDec;
        case Mode::Disp16:
        case Mode::Disp24:
            return kDisp;
        case Mode::Abs8:
        case Mode::Abs16:
        case Mode::Abs24:
            return kAbs;
        default:
            return -1;
    }
}

}  // namespace

Cpu::Slot Cpu::translate(const Insn& i, uint16_t at) {
    Slot s;
    s.states = i.states;
    s.length = i.length;
    s.cond = i.cond;
    const int size = i.size, z = sizeIndex(size);
    const Mode sm = i.src.mode, dm = i.dst.mode;
    const uint32_t imm = i.src.value & (size == 1 ? 0xFFu : size == 2 ? 0xFFFFu : 0xFFFFFFFFu);
    // A kind is taken only with the length the run loop steps by (0: as decoded).
    auto take = [&](int kind, int length) {
        if (length == 0 || length == i.length) s.kind = uint8_t(kind);
    };
    // A memory operand: its address register, displacement or address.
    auto memory = [&](const Operand& o) {
        s.x = offset(o.reg, 4);
        s.value = o.value;
        s.target = o.mode == Mode::Abs8 ? uint16_t(0xFF00 | o.value) : uint16_t(o.value);
        return addressing(o.mode);
    };
    struct Alu {
        Op op;
        Kind reg, imm;
        int (*regLength)(int);
    };
    static constexpr Alu kAlu[] = {
        {Op::Add, kAddR, kAddI, nullptr}, {Op::Sub, kSubR, kSubI, nullptr},
        {Op::Cmp, kCmpR, kCmpI, nullptr}, {Op::And, kAndR, kAndI, logicLength},
        {Op::Or, kOrR, kOrI, logicLength}, {Op::Xor, kXorR, kXorI, logicLength},
    };
    static constexpr Op kShifts[] = {Op::Shll, Op::Shlr, Op::Shal,  Op::Shar,
                                     Op::Rotl, Op::Rotr, Op::Rotxl, Op::Rotxr};
    static constexpr Op kBits[] = {Op::Bset, Op::Bclr, Op::Bnot, Op::Btst};

    s.kind = kGeneric;
    switch (i.op) {
        case Op::Nop:
            take(kNop, 2);
            break;
        case Op::Mov:
            if (sm == Mode::Reg && dm == Mode::Reg) {
                s.r = offset(i.dst.reg, size), s.x = offset(i.src.reg, size);
                take(kMovR + z, 2);
            } else if (sm == Mode::Imm && dm == Mode::Reg) {
                s.r = offset(i.dst.reg, size), s.value = imm;
                take(kMovI + z, immLength(size));
            } else if (dm == Mode::Reg) {
                const int a = memory(i.src);
                s.r = offset(i.dst.reg, size);
                if (a >= 0) take(kLoadInd + 3 * a + z, memoryLength(a, size));
            } else if (sm == Mode::Reg) {
                const int a = memory(i.dst);
                s.r = offset(i.src.reg, size);
                if (a >= 0) take(kStoreInd + 3 * a + z, memoryLength(a, size));
            }
            break;
        case Op::Add:
        case Op::Sub:
        case Op::Cmp:
        case Op::And:
        case Op::Or:
        case Op::Xor:
            if (dm != Mode::Reg) break;
            for (const Alu& alu : kAlu) {
                if (alu.op != i.op) continue;
                s.r = offset(i.dst.reg, size);
                if (sm == Mode::Reg) {
                    s.x = offset(i.src.reg, size);
                    take(alu.reg + z, alu.regLength ? alu.regLength(size) : 2);
                } else if (sm == Mode::Imm) {
                    s.value = imm;
                    take(alu.imm + z, immLength(size));
                }
            }
            break;
        case Op::Addx:
        case Op::Subx:
            s.r = offset(i.dst.reg, 1);
            if (sm == Mode::Reg) {
                s.x = offset(i.src.reg, 1);
                take(i.op == Op::Addx ? kAddxR : kSubxR, 2);
            } else {
                s.value = imm;
                take(i.op == Op::Addx ? kAddxI : kSubxI, 2);
            }
            break;
        case Op::Inc:
        case Op::Dec:
            s.r = offset(i.dst.reg, size), s.value = i.src.value;
            take((i.op == Op::Inc ? kInc : kDec) + z, 2);
            break;
        case Op::Adds:
        case Op::Subs:
            s.r = offset(i.dst.reg, 4), s.value = i.src.value;
            take(i.op == Op::Adds ? kAdds : kSubs, 2);
            break;
        case Op::Not:
        case Op::Neg:
        case Op::Extu:
        case Op::Exts:
            s.r = offset(i.dst.reg, size);
            take((i.op == Op::Not    ? kNot
                  : i.op == Op::Neg  ? kNeg
                  : i.op == Op::Extu ? kExtu
                                     : kExts) +
                     z,
                 2);
            break;
        case Op::Shll:
        case Op::Shlr:
        case Op::Shal:
        case Op::Shar:
        case Op::Rotl:
        case Op::Rotr:
        case Op::Rotxl:
        case Op::Rotxr:
            s.r = offset(i.dst.reg, size);
            for (int k = 0; k < 8; ++k)
                if (kShifts[k] == i.op) take(kShll + 3 * k + z, 2);
            break;
        case Op::Mulxu:
            s.x = offset(i.src.reg, size), s.r = offset(i.dst.reg, size * 2);
            take(size == 1 ? kMulxuB : kMulxuW, 2);
            break;
        case Op::Bset:
        case Op::Bclr:
        case Op::Bnot:
        case Op::Btst:
            if (sm != Mode::Imm) break;
            s.value = 1u << (i.src.value & 7);
            for (int k = 0; k < 4; ++k) {
                if (kBits[k] != i.op) continue;
                if (dm == Mode::Reg) {
                    s.r = offset(i.dst.reg, 1);
                    take(kBsetR + k, 2);
                } else if (dm == Mode::Ind) {
                    s.x = offset(i.dst.reg, 4);
                    take(kBsetInd + k, 4);
                } else if (dm == Mode::Abs8) {
                    s.target = uint16_t(0xFF00 | i.dst.value);
                    take(kBsetAbs + k, 4);
                }
            }
            break;
        case Op::Bcc:
        case Op::Bsr:
            s.target = uint16_t(at + i.length + i.dst.value);
            s.kind = i.op == Op::Bsr  ? kBsr
                     : i.cond == 0x0 ? kBra
                     : i.cond == 0x6 ? kBne
                     : i.cond == 0x7 ? kBeq
                                     : kBcc;
            break;
        case Op::Jmp:
        case Op::Jsr:
            if (dm == Mode::Abs24) {
                s.target = uint16_t(i.dst.value);
                s.kind = i.op == Op::Jmp ? kJmp : kJsr;
            } else if (dm == Mode::Ind) {
                s.x = offset(i.dst.reg, 4);
                take(i.op == Op::Jmp ? kJmpInd : kJsrInd, 2);
            }
            break;
        case Op::Rts:
            take(kRts, 2);
            break;
        default:
            break;
    }
    if (s.kind == kGeneric) s.states = 0;  // slowStep() counts them
    return s;
}

template <int S>
HOT uint32_t Cpu::load(uint16_t a, uint16_t at, uint64_t states) {
    if constexpr (S > 1) a &= 0xFFFE;
    if (uint16_t(a - kRamStart) <= kRamEnd - kRamStart - S) [[likely]] {
        const uint8_t* m = &mem_[a];
        if constexpr (S == 1) return m[0];
        if constexpr (S == 2) return uint32_t(m[0] << 8 | m[1]);
        if constexpr (S == 4)
            return uint32_t(m[0]) << 24 | uint32_t(m[1]) << 16 | uint32_t(m[2]) << 8 | m[3];
    }
    pc = at;
    states_ = states;
    if constexpr (S == 1) return read8(a);
    if constexpr (S == 2) return read16(a);
    if constexpr (S == 4) return read32(a);
}

template <int S>
HOT void Cpu::store(uint16_t a, uint32_t v, uint16_t at, uint64_t states) {
    if constexpr (S > 1) a &= 0xFFFE;
    if (uint16_t(a - kRamStart) <= kRamEnd - kRamStart - S) [[likely]] {
        ++effects_;
        uint8_t* m = &mem_[a];
        for (int k = 0; k < S; ++k) m[k] = uint8_t(v >> (8 * (S - 1 - k)));
        // Self-modified code. A decoded instruction marks the blocks of its first and its
        // kMaxLength-th byte, so one of them is the block of any byte it covers.
        // (A word's two bytes share a block: it is even.)
        if (code_[a / 64] | (S == 4 ? code_[(a + 3u) / 64] : 0)) [[unlikely]]
            invalidate(a, uint16_t(a + S - 1));
        return;
    }
    pc = at;
    states_ = states;
    if constexpr (S == 1) write8(a, uint8_t(v));
    if constexpr (S == 2) write16(a, uint16_t(v));
    if constexpr (S == 4) write32(a, v);
}

// One handler per form, each ending in the dispatch of the next instruction (one indirect
// jump per form predicts far better than one shared by all). pc, CCR, the states, the
// instruction count and the run's end live in locals; what runs out of line (the general
// execute, a decode, an idle loop's skip, a halt) sees them in the members, which are read
// back after it. The bus sees pc (the instruction's address) and the states current at each
// access, as with execute().
uint64_t Cpu::run(uint64_t budget) {
    const uint64_t start = states_;
    if (stop_ != Stop::Running) return 0;
    end_ = states_ + budget;
    // Between two runs the outside may have changed anything (a character, an NMI).
    turn_.valid = false;
    cooldown_ = 0;
    // Each form's code as an offset from the first's, kept in the slots: the dispatch then
    // reads no table.
#define QUILL_LABEL(label) int32_t(static_cast<const char*>(&&label) - static_cast<const char*>(&&LMiss))
#define QUILL_LABEL_ONE(name) QUILL_LABEL(L##name),
#define QUILL_LABEL_SIZED(name) \
    QUILL_LABEL(L##name##_1), QUILL_LABEL(L##name##_2), QUILL_LABEL(L##name##_4),
    static const int32_t kHandlers[kKinds] = {QUILL_H8_FORMS(QUILL_LABEL_ONE, QUILL_LABEL_SIZED)};
#undef QUILL_LABEL
#undef QUILL_LABEL_ONE
#undef QUILL_LABEL_SIZED
    uint32_t* const R = er;
    // The loop walks the slots: pc is the slot's place over 8 (a slot is 16 bytes, one per
    // even address), computed only where it is needed.
    static_assert(sizeof(Slot) == 16);
    char* const base = reinterpret_cast<char*>(slots_.data());
    auto slotAt = [base](uint32_t at) { return reinterpret_cast<Slot*>(base + at * 8); };
    auto pcOf = [base](const Slot* at) {
        return uint16_t((reinterpret_cast<const char*>(at) - base) >> 3);
    };
    Slot* s = slotAt(pc);
    Flags f(ccr);
    uint64_t st = states_, n = instructions_, end = end_;
    const char* const first = static_cast<const char*>(&&LMiss);
#define SYNC_OUT (pc = pcOf(s), ccr = f.ccr(), states_ = st, instructions_ = n)
#define SYNC_IN (s = slotAt(pc), f = Flags(ccr), st = states_, n = instructions_, end = end_)
// Sequential code never passes H'FFFF (nothing runs above RAM), nor past the slots.
#define STEP(LENGTH) s += (LENGTH) / 2
#define NEXT                           \
    do {                               \
        if (st >= end) goto done;      \
        st += s->states;               \
        ++n;                           \
        goto* (first + s->handler);    \
    } while (0)
#define SIZED(NAME, ...)      \
    L##NAME##_1 : {           \
        constexpr int S = 1;  \
        __VA_ARGS__           \
    }                         \
    NEXT;                     \
    L##NAME##_2 : {           \
        constexpr int S = 2;  \
        __VA_ARGS__           \
    }                         \
    NEXT;                     \
    L##NAME##_4 : {           \
        constexpr int S = 4;  \
        __VA_ARGS__           \
    }                         \
    NEXT;
#define LOAD(S, A) load<S>(A, pcOf(s), st)
#define STORE(S, A, V) store<S>(A, V, pcOf(s), st)
#define MEMORY(NAME, A)                                                \
    SIZED(Load##NAME, {                                                \
        const uint32_t v = LOAD(S, (effective<S, A>(R, *s)));            \
        setReg<S>(R, s->r, v);                                         \
        f.logic<S>(v);                                       \
        STEP(memoryLength(A, S) ? memoryLength(A, S) : s->length);      \
    })                                                                 \
    SIZED(Store##NAME, {                                               \
        const uint32_t v = reg<S>(R, s->r);                            \
        STORE(S, (effective<S, A>(R, *s)), v);                           \
        f.logic<S>(v);                                       \
        STEP(memoryLength(A, S) ? memoryLength(A, S) : s->length);      \
    })
#define ALU(NAME, REGLENGTH, ...)                               \
    SIZED(NAME##R, {                                            \
        const uint32_t a = reg<S>(R, s->r), b = reg<S>(R, s->x); \
        __VA_ARGS__;                                            \
        STEP(REGLENGTH);                                         \
    })                                                          \
    SIZED(NAME##I, {                                            \
        const uint32_t a = reg<S>(R, s->r), b = s->value;       \
        __VA_ARGS__;                                            \
        STEP(immLength(S));                                      \
    })
#define ARITH(FN, WRITE)                       \
    uint8_t hvc;                               \
    const uint32_t r = FN<S>(a, b, 0, hvc);    \
    if (WRITE) setReg<S>(R, s->r, r);          \
    f.arith<S>(hvc, r)
#define LOGIC(OPR)                \
    const uint32_t r = a OPR b;   \
    setReg<S>(R, s->r, r);        \
    f.logic<S>(r)
#define SHIFT(NAME)                                                   \
    SIZED(NAME, {                                                     \
        setReg<S>(R, s->r, shift<S, Sh::NAME>(reg<S>(R, s->r), f));   \
        STEP(2);                                                       \
    })
#define BIT(NAME, K)                                                        \
    L##NAME##R : {                                                          \
        const int w = bitOp<K>(uint8_t(reg<1>(R, s->r)), uint8_t(s->value), f); \
        if (w >= 0) setReg<1>(R, s->r, uint32_t(w));                        \
        STEP(2);                                                             \
    }                                                                       \
    NEXT;                                                                   \
    L##NAME##Ind : L##NAME##Abs : {                                         \
        const uint16_t a =                                                  \
            s->kind == k##NAME##Abs ? s->target : uint16_t(reg<4>(R, s->x)); \
        const int w = bitOp<K>(uint8_t(LOAD(1, a)), uint8_t(s->value), f);  \
        if (w >= 0) STORE(1, a, uint32_t(w));                               \
        STEP(4);                                                             \
    }                                                                       \
    NEXT;
#define JUMP(T)                     \
    if ((T) & 1) {                  \
        SYNC_OUT;                   \
        halt(Stop::OddAddress, T);  \
        goto done;                  \
    }                               \
    s = slotAt(T);                  \
    ++jumps_
#define PUSH(V)                                \
    setReg<4>(R, kSp, reg<4>(R, kSp) - 2);     \
    STORE(2, uint16_t(reg<4>(R, kSp)), V)

    NEXT;
LMiss : {
    --n;
    Slot* const missed = s;
    SYNC_OUT;
    miss();
    SYNC_IN;
    missed->handler = kHandlers[missed->kind];
}
    NEXT;
LGeneric:
    --n;
    SYNC_OUT;
    slowStep(decoded_[pc >> 1]);
    SYNC_IN;
    NEXT;
LNop:
    STEP(2);
    NEXT;
    SIZED(MovR, {
        const uint32_t v = reg<S>(R, s->x);
        setReg<S>(R, s->r, v);
        f.logic<S>(v);
        STEP(2);
    })
    SIZED(MovI, {
        setReg<S>(R, s->r, s->value);
        f.logic<S>(s->value);
        STEP(immLength(S));
    })
    MEMORY(Ind, kInd)
    MEMORY(PostInc, kPostInc)
    MEMORY(PreDec, kPreDec)
    MEMORY(Disp, kDisp)
    MEMORY(Abs, kAbs)
    ALU(Add, 2, ARITH(add, true))
    ALU(Sub, 2, ARITH(sub, true))
    ALU(Cmp, 2, ARITH(sub, false))
    ALU(And, logicLength(S), LOGIC(&))
    ALU(Or, logicLength(S), LOGIC(|))
    ALU(Xor, logicLength(S), LOGIC(^))
    SIZED(Inc, {
        const uint32_t a = reg<S>(R, s->r), r = (a + s->value) & kMask<S>;
        setReg<S>(R, s->r, r);
        f.c = uint8_t((f.c & ~kCcrV) | ((~a & r) >> (8 * S - 2) & kCcrV));
        f.result<S>(r);
        STEP(2);
    })
    SIZED(Dec, {
        const uint32_t a = reg<S>(R, s->r), r = (a - s->value) & kMask<S>;
        setReg<S>(R, s->r, r);
        f.c = uint8_t((f.c & ~kCcrV) | ((a & ~r) >> (8 * S - 2) & kCcrV));
        f.result<S>(r);
        STEP(2);
    })
    SIZED(Not, {
        const uint32_t r = ~reg<S>(R, s->r) & kMask<S>;
        setReg<S>(R, s->r, r);
        f.logic<S>(r);
        STEP(2);
    })
    SIZED(Neg, {
        uint8_t hvc;
        const uint32_t r = sub<S>(0, reg<S>(R, s->r), 0, hvc);
        setReg<S>(R, s->r, r);
        f.arith<S>(hvc, r);
        STEP(2);
    })
    SIZED(Extu, {
        constexpr int H = S > 1 ? S / 2 : 1;
        const uint32_t r = reg<S>(R, s->r) & kMask<H>;
        setReg<S>(R, s->r, r);
        f.logic<S>(r);
        STEP(2);
    })
    SIZED(Exts, {
        constexpr int H = S > 1 ? S / 2 : 1;
        uint32_t r = reg<S>(R, s->r) & kMask<H>;
        if (r & kSign<H>) r |= kMask<S> & ~kMask<H>;
        setReg<S>(R, s->r, r);
        f.logic<S>(r);
        STEP(2);
    })
    SHIFT(Shll)
    SHIFT(Shlr)
    SHIFT(Shal)
    SHIFT(Shar)
    SHIFT(Rotl)
    SHIFT(Rotr)
    SHIFT(Rotxl)
    SHIFT(Rotxr)
    // Z only ever cleared: multi-byte zero tests
#define EXTEND(NAME, FN, B)                                               \
    L##NAME : {                                                           \
        uint8_t hvc;                                                      \
        const uint32_t r = FN<1>(reg<1>(R, s->r), B, f.c & kCcrC, hvc);   \
        setReg<1>(R, s->r, r);                                            \
        f.c = uint8_t((f.c & kKeep) | hvc);                               \
        if (r != 0)                                                       \
            f.result<1>(r);                                               \
        else                                                              \
            f.nz = f.z() ? 0 : 1;                                         \
        STEP(2);                                                           \
    }                                                                     \
    NEXT;
    EXTEND(AddxR, add, reg<1>(R, s->x))
    EXTEND(AddxI, add, s->value)
    EXTEND(SubxR, sub, reg<1>(R, s->x))
    EXTEND(SubxI, sub, s->value)
#undef EXTEND
LAdds:
    setReg<4>(R, s->r, reg<4>(R, s->r) + s->value);
    STEP(2);
    NEXT;
LSubs:
    setReg<4>(R, s->r, reg<4>(R, s->r) - s->value);
    STEP(2);
    NEXT;
LMulxuB:
    setReg<2>(R, s->r, (reg<2>(R, s->r) & 0xFF) * reg<1>(R, s->x));
    STEP(2);
    NEXT;
LMulxuW:
    setReg<4>(R, s->r, (reg<4>(R, s->r) & 0xFFFF) * reg<2>(R, s->x));
    STEP(2);
    NEXT;
    BIT(Bset, kBset)
    BIT(Bclr, kBclr)
    BIT(Bnot, kBnot)
    BIT(Btst, kBtst)
    // A branch backward may close an idle loop, which is skipped, or ends the run when it
    // waits on what the outside has not said yet.
#define BRANCH(NAME, TAKEN)                        \
    L##NAME : if (!(TAKEN)) {                      \
        STEP(s->length);                            \
        NEXT;                                      \
    }                                              \
    {                                              \
        Slot* const from = s;                      \
        s = slotAt(from->target);                  \
        ++jumps_;                                  \
        if (s <= from) {                           \
            if (cooldown_ > 0) {                   \
                --cooldown_;                       \
            } else if (skipIdle_) {                \
                SYNC_OUT;                          \
                const bool parks = loopTurned(pcOf(from), end_); \
                SYNC_IN;                           \
                if (parks) goto done;              \
            }                                      \
        }                                          \
    }                                              \
    NEXT;
    BRANCH(Bcc, condition(s->cond, f.ccr()))
    BRANCH(Bra, true)
    BRANCH(Bne, !f.z())
    BRANCH(Beq, f.z())
#undef BRANCH
LBsr:
    PUSH(uint16_t(pcOf(s) + s->length));
    s = slotAt(s->target);
    ++jumps_;
    NEXT;
LJmp:
    JUMP(s->target);
    NEXT;
LJmpInd: {
    const uint16_t t = uint16_t(reg<4>(R, s->x));
    JUMP(t);
}
    NEXT;
LJsr: {
    const uint16_t t = s->target;
    PUSH(uint16_t(pcOf(s) + s->length));
    JUMP(t);
}
    NEXT;
LJsrInd: {
    const uint16_t t = uint16_t(reg<4>(R, s->x));
    PUSH(uint16_t(pcOf(s) + 2));
    JUMP(t);
}
    NEXT;
LRts: {
    const uint32_t sp = reg<4>(R, kSp);
    const uint16_t t = uint16_t(LOAD(2, uint16_t(sp)));
    setReg<4>(R, kSp, sp + 2);
    JUMP(t);
}
    NEXT;

done:
    SYNC_OUT;
#undef SYNC_OUT
#undef SYNC_IN
#undef STEP
#undef NEXT
#undef SIZED
#undef LOAD
#undef STORE
#undef MEMORY
#undef ALU
#undef ARITH
#undef LOGIC
#undef SHIFT
#undef BIT
#undef JUMP
#undef PUSH
    return states_ - start;
}

#undef QUILL_H8_FORMS

}  // namespace quill::sim::h8
