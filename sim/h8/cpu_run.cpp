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

template <int S>
HOT uint8_t nz(uint32_t r) {
    return uint8_t((r & kSign<S> ? kCcrN : 0) | ((r & kMask<S>) == 0 ? kCcrZ : 0));
}
// MOV and the logic operations: N and Z from the result, V cleared.
template <int S>
HOT uint8_t logicFlags(uint8_t c, uint32_t r) {
    return uint8_t((c & ~(kCcrN | kCcrZ | kCcrV)) | nz<S>(r));
}
// a + b + k and a - b - k with their H, V and C.
template <int S>
HOT uint32_t add(uint32_t a, uint32_t b, uint32_t k, uint8_t& hvc) {
    const uint64_t wide = uint64_t(a) + b + k;
    const uint32_t r = uint32_t(wide) & kMask<S>;
    hvc = uint8_t(((a & kHalf<S>) + (b & kHalf<S>) + k > kHalf<S> ? kCcrH : 0) |
                  ((a ^ r) & (b ^ r) & kSign<S> ? kCcrV : 0) | ((wide >> (8 * S)) & 1 ? kCcrC : 0));
    return r;
}
template <int S>
HOT uint32_t sub(uint32_t a, uint32_t b, uint32_t k, uint8_t& hvc) {
    const uint32_t r = (a - b - k) & kMask<S>;
    hvc = uint8_t(((b & kHalf<S>) + k > (a & kHalf<S>) ? kCcrH : 0) |
                  ((a ^ b) & (a ^ r) & kSign<S> ? kCcrV : 0) | (uint64_t(b) + k > a ? kCcrC : 0));
    return r;
}
// ADD, SUB, NEG and CMP set all of H N Z V C.
template <int S>
HOT uint8_t arithFlags(uint8_t c, uint8_t hvc, uint32_t r) {
    return uint8_t((c & kKeep) | hvc | nz<S>(r));
}

// The shifts and rotates by one bit, in the order of their kinds.
enum Shift { kShll, kShlr, kShal, kShar, kRotl, kRotr, kRotxl, kRotxr };

template <int S, int K>
HOT uint32_t shift(uint32_t a, uint8_t& c) {
    const bool msb = a & kSign<S>, lsb = a & 1;
    uint32_t r;
    bool out;
    if constexpr (K == kShll || K == kShal) r = a << 1, out = msb;
    if constexpr (K == kShlr) r = a >> 1, out = lsb;
    if constexpr (K == kShar) r = a >> 1 | (a & kSign<S>), out = lsb;
    if constexpr (K == kRotl) r = a << 1 | msb, out = msb;
    if constexpr (K == kRotr) r = a >> 1 | (lsb ? kSign<S> : 0), out = lsb;
    if constexpr (K == kRotxl) r = a << 1 | (c & kCcrC), out = msb;
    if constexpr (K == kRotxr) r = a >> 1 | (c & kCcrC ? kSign<S> : 0), out = lsb;
    r &= kMask<S>;
    const bool v = K == kShal && msb != ((r & kSign<S>) != 0);
    c = uint8_t((c & ~(kCcrN | kCcrZ | kCcrV | kCcrC)) | nz<S>(r) | (v ? kCcrV : 0) |
                (out ? kCcrC : 0));
    return r;
}

// The bit operations with an immediate bit number: the byte written back, or -1.
enum BitOp { kBset, kBclr, kBnot, kBtst };

template <int K>
HOT int bitOp(uint8_t v, uint8_t bit, uint8_t& c) {
    if constexpr (K == kBset) return v | bit;
    if constexpr (K == kBclr) return v & ~bit;
    if constexpr (K == kBnot) return v ^ bit;
    c = (v & bit) ? c & uint8_t(~kCcrZ) : c | kCcrZ;
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

// The forms. A sized form takes three kinds in a row (.B, .W, .L); the load and store forms
// take three for each addressing.
enum Kind : uint8_t {
    kMiss,  // not decoded yet
    kGeneric,
    kNop,
    kMovR,
    kMovI = kMovR + 3,
    kLoad = kMovI + 3,
    kStore = kLoad + 15,
    kAddR = kStore + 15,
    kAddI = kAddR + 3,
    kSubR = kAddI + 3,
    kSubI = kSubR + 3,
    kCmpR = kSubI + 3,
    kCmpI = kCmpR + 3,
    kAndR = kCmpI + 3,
    kAndI = kAndR + 3,
    kOrR = kAndI + 3,
    kOrI = kOrR + 3,
    kXorR = kOrI + 3,
    kXorI = kXorR + 3,
    kInc = kXorI + 3,
    kDec = kInc + 3,
    kNot = kDec + 3,
    kNeg = kNot + 3,
    kExtu = kNeg + 3,
    kExts = kExtu + 3,
    kShift = kExts + 3,  // 8 shifts in the order of Shift
    kAddxR = kShift + 24,
    kAddxI,
    kSubxR,
    kSubxI,
    kAdds,
    kSubs,
    kMulxuB,
    kMulxuW,
    kBitR,                // 4 bit operations in the order of BitOp, on a register
    kBitInd = kBitR + 4,  // on @ERn
    kBitAbs = kBitInd + 4,  // on @aa:8
    kBcc = kBitAbs + 4,
    kBsr,
    kJmp,
    kJmpInd,
    kJsr,
    kJsrInd,
    kRts,
};

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
                if (a >= 0) take(kLoad + 3 * a + z, memoryLength(a, size));
            } else if (sm == Mode::Reg) {
                const int a = memory(i.dst);
                s.r = offset(i.src.reg, size);
                if (a >= 0) take(kStore + 3 * a + z, memoryLength(a, size));
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
                if (kShifts[k] == i.op) take(kShift + 3 * k + z, 2);
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
                    take(kBitR + k, 2);
                } else if (dm == Mode::Ind) {
                    s.x = offset(i.dst.reg, 4);
                    take(kBitInd + k, 4);
                } else if (dm == Mode::Abs8) {
                    s.target = uint16_t(0xFF00 | i.dst.value);
                    take(kBitAbs + k, 4);
                }
            }
            break;
        case Op::Bcc:
        case Op::Bsr:
            s.target = uint16_t(at + i.length + i.dst.value);
            s.kind = i.op == Op::Bcc ? kBcc : kBsr;
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
    return s;
}

template <int S>
HOT uint32_t Cpu::load(uint16_t a) {
    if constexpr (S > 1) a &= 0xFFFE;
    if (uint16_t(a - kRamStart) <= kRamEnd - kRamStart - S) {
        const uint8_t* m = &mem_[a];
        if constexpr (S == 1) return m[0];
        if constexpr (S == 2) return uint32_t(m[0] << 8 | m[1]);
        if constexpr (S == 4)
            return uint32_t(m[0]) << 24 | uint32_t(m[1]) << 16 | uint32_t(m[2]) << 8 | m[3];
    }
    if constexpr (S == 1) return read8(a);
    if constexpr (S == 2) return read16(a);
    if constexpr (S == 4) return read32(a);
}

template <int S>
HOT void Cpu::store(uint16_t a, uint32_t v) {
    if constexpr (S > 1) a &= 0xFFFE;
    if (uint16_t(a - kRamStart) <= kRamEnd - kRamStart - S) {
        ++effects_;
        uint8_t* m = &mem_[a];
        for (int k = 0; k < S; ++k) m[k] = uint8_t(v >> (8 * (S - 1 - k)));
        // Self-modified code: an instruction that covers these bytes starts at most
        // kMaxLength - 1 bytes before them.
        if (code_[(a - kMaxLength + 1) / 64] | code_[(a + S - 1) / 64]) invalidate(a, uint16_t(a + S - 1));
        return;
    }
    if constexpr (S == 1) write8(a, uint8_t(v));
    if constexpr (S == 2) write16(a, uint16_t(v));
    if constexpr (S == 4) write32(a, v);
}

// One case per form. pc, CCR, the states and the instruction count live in locals here;
// whatever runs out of line (the general execute, a decode, an idle loop's skip, a halt) sees
// them in the members, and the members are read back after it. The bus sees pc (the
// instruction's address) and the states current at every access, as with execute().
uint64_t Cpu::run(uint64_t budget) {
    const uint64_t start = states_;
    if (stop_ != Stop::Running) return 0;
    end_ = states_ + budget;
    // Between two runs the outside may have changed anything (a character, an NMI).
    turn_.valid = false;
    cooldown_ = 0;
    uint32_t* const R = er;
    uint16_t p = pc;
    uint8_t c = ccr;
    uint64_t st = states_, n = instructions_;
#define SYNC_OUT (pc = p, ccr = c, states_ = st, instructions_ = n)
#define SYNC_IN (p = pc, c = ccr, st = states_, n = instructions_)
#define SIZED(K, ...)             \
    case (K): {                   \
        constexpr int S = 1;      \
        __VA_ARGS__               \
    } break;                      \
    case (K) + 1: {               \
        constexpr int S = 2;      \
        __VA_ARGS__               \
    } break;                      \
    case (K) + 2: {               \
        constexpr int S = 4;      \
        __VA_ARGS__               \
    } break;
#define MEMORY(A)                                                           \
    SIZED(kLoad + 3 * (A), {                                               \
        const uint32_t v = load<S>(effective<S, A>(R, s));                 \
        setReg<S>(R, s.r, v);                                              \
        c = logicFlags<S>(c, v);                                           \
        p += memoryLength(A, S) ? memoryLength(A, S) : s.length;           \
    })                                                                     \
    SIZED(kStore + 3 * (A), {                                              \
        const uint32_t v = reg<S>(R, s.r);                                 \
        store<S>(effective<S, A>(R, s), v);                                \
        c = logicFlags<S>(c, v);                                           \
        p += memoryLength(A, S) ? memoryLength(A, S) : s.length;           \
    })
#define ALU(KR, KI, LR, EXPR)                      \
    SIZED(KR, {                                            \
        const uint32_t a = reg<S>(R, s.r), b = reg<S>(R, s.x); \
        EXPR;                                              \
        p += LR;                                           \
    })                                                     \
    SIZED(KI, {                                            \
        const uint32_t a = reg<S>(R, s.r), b = s.value;    \
        EXPR;                                              \
        p += immLength(S);                                 \
    })
#define ARITH(FN, WRITE)                            \
    uint8_t hvc;                                       \
    const uint32_t r = FN<S>(a, b, 0, hvc);            \
    if (WRITE) setReg<S>(R, s.r, r);                   \
    c = arithFlags<S>(c, hvc, r)
#define LOGIC(OPR)                 \
    const uint32_t r = a OPR b;   \
    setReg<S>(R, s.r, r);         \
    c = logicFlags<S>(c, r)
#define SHIFT(K)                                          \
    SIZED(kShift + 3 * (K), {                             \
        setReg<S>(R, s.r, shift<S, K>(reg<S>(R, s.r), c)); \
        p += 2;                                           \
    })
#define BIT(K)                                                   \
    case kBitR + int(K): {                                          \
        const int w = bitOp<K>(uint8_t(reg<1>(R, s.r)), uint8_t(s.value), c); \
        if (w >= 0) setReg<1>(R, s.r, uint32_t(w));              \
        p += 2;                                                  \
    } break;                                                     \
    case kBitInd + int(K):                                          \
    case kBitAbs + int(K): {                                        \
        const uint16_t a = s.kind == kBitAbs + int(K) ? s.target : uint16_t(reg<4>(R, s.x)); \
        const int w = bitOp<K>(uint8_t(load<1>(a)), uint8_t(s.value), c); \
        if (w >= 0) store<1>(a, uint32_t(w));                    \
        p += 4;                                                  \
    } break;
// A taken branch backward may close an idle loop.
#define LOOP(AT)                                       \
    if (p <= (AT)) {                                   \
        if (cooldown_ > 0) {                           \
            --cooldown_;                               \
        } else if (skipIdle_) {                        \
            SYNC_OUT;                                  \
            loopTurned(AT, end_);                      \
            SYNC_IN;                                   \
        }                                              \
    }
#define JUMP(T)                                \
    if ((T) & 1) {                             \
        SYNC_OUT;                              \
        halt(Stop::OddAddress, T);             \
    } else {                                   \
        p = (T);                               \
        ++jumps_;                              \
    }
#define PUSH(V)                                          \
    setReg<4>(R, kSp, reg<4>(R, kSp) - 2);               \
    store<2>(uint16_t(reg<4>(R, kSp)), V)

    while (st < end_) {
        const Slot& s = slots_[p >> 1];
        if (s.kind <= kGeneric) {
            SYNC_OUT;
            if (s.kind == kMiss)
                miss();
            else
                slowStep(decoded_[p >> 1]);
            SYNC_IN;
            continue;
        }
        st += s.states;
        ++n;
        pc = p;
        states_ = st;
        switch (s.kind) {
            case kNop:
                p += 2;
                break;
            SIZED(kMovR, {
                const uint32_t v = reg<S>(R, s.x);
                setReg<S>(R, s.r, v);
                c = logicFlags<S>(c, v);
                p += 2;
            })
            SIZED(kMovI, {
                setReg<S>(R, s.r, s.value);
                c = logicFlags<S>(c, s.value);
                p += immLength(S);
            })
            MEMORY(kInd)
            MEMORY(kPostInc)
            MEMORY(kPreDec)
            MEMORY(kDisp)
            MEMORY(kAbs)
            ALU(kAddR, kAddI, 2, ARITH(add, true))
            ALU(kSubR, kSubI, 2, ARITH(sub, true))
            ALU(kCmpR, kCmpI, 2, ARITH(sub, false))
            ALU(kAndR, kAndI, logicLength(S), LOGIC(&))
            ALU(kOrR, kOrI, logicLength(S), LOGIC(|))
            ALU(kXorR, kXorI, logicLength(S), LOGIC(^))
            SIZED(kInc, {
                const uint32_t a = reg<S>(R, s.r), r = (a + s.value) & kMask<S>;
                setReg<S>(R, s.r, r);
                c = uint8_t((c & ~(kCcrN | kCcrZ | kCcrV)) | nz<S>(r) |
                            (~a & r & kSign<S> ? kCcrV : 0));
                p += 2;
            })
            SIZED(kDec, {
                const uint32_t a = reg<S>(R, s.r), r = (a - s.value) & kMask<S>;
                setReg<S>(R, s.r, r);
                c = uint8_t((c & ~(kCcrN | kCcrZ | kCcrV)) | nz<S>(r) |
                            (a & ~r & kSign<S> ? kCcrV : 0));
                p += 2;
            })
            SIZED(kNot, {
                const uint32_t r = ~reg<S>(R, s.r) & kMask<S>;
                setReg<S>(R, s.r, r);
                c = logicFlags<S>(c, r);
                p += 2;
            })
            SIZED(kNeg, {
                uint8_t hvc;
                const uint32_t r = sub<S>(0, reg<S>(R, s.r), 0, hvc);
                setReg<S>(R, s.r, r);
                c = arithFlags<S>(c, hvc, r);
                p += 2;
            })
            SIZED(kExtu, {
                constexpr int H = S > 1 ? S / 2 : 1;
                const uint32_t r = reg<S>(R, s.r) & kMask<H>;
                setReg<S>(R, s.r, r);
                c = logicFlags<S>(c, r);
                p += 2;
            })
            SIZED(kExts, {
                constexpr int H = S > 1 ? S / 2 : 1;
                uint32_t r = reg<S>(R, s.r) & kMask<H>;
                if (r & kSign<H>) r |= kMask<S> & ~kMask<H>;
                setReg<S>(R, s.r, r);
                c = logicFlags<S>(c, r);
                p += 2;
            })
            SHIFT(kShll)
            SHIFT(kShlr)
            SHIFT(kShal)
            SHIFT(kShar)
            SHIFT(kRotl)
            SHIFT(kRotr)
            SHIFT(kRotxl)
            SHIFT(kRotxr)
            case kAddxR:
            case kAddxI:
            case kSubxR:
            case kSubxI: {
                const uint32_t a = reg<1>(R, s.r);
                const uint32_t b = s.kind == kAddxR || s.kind == kSubxR ? reg<1>(R, s.x) : s.value;
                uint8_t hvc;
                const uint32_t r = s.kind <= kAddxI ? add<1>(a, b, c & kCcrC, hvc)
                                                    : sub<1>(a, b, c & kCcrC, hvc);
                setReg<1>(R, s.r, r);
                // Z only ever cleared: multi-byte zero tests
                c = uint8_t((c & (kKeep | kCcrZ)) | hvc | (r & 0x80 ? kCcrN : 0));
                if (r != 0) c &= uint8_t(~kCcrZ);
                p += 2;
            } break;
            case kAdds:
                setReg<4>(R, s.r, reg<4>(R, s.r) + s.value);
                p += 2;
                break;
            case kSubs:
                setReg<4>(R, s.r, reg<4>(R, s.r) - s.value);
                p += 2;
                break;
            case kMulxuB:
                setReg<2>(R, s.r, (reg<2>(R, s.r) & 0xFF) * reg<1>(R, s.x));
                p += 2;
                break;
            case kMulxuW:
                setReg<4>(R, s.r, (reg<4>(R, s.r) & 0xFFFF) * reg<2>(R, s.x));
                p += 2;
                break;
            BIT(kBset)
            BIT(kBclr)
            BIT(kBnot)
            BIT(kBtst)
            case kBcc:
                if (condition(s.cond, c)) {
                    const uint16_t at = p;
                    p = s.target;
                    ++jumps_;
                    LOOP(at)
                } else {
                    p += s.length;
                }
                break;
            case kBsr:
                PUSH(uint16_t(p + s.length));
                p = s.target;
                ++jumps_;
                break;
            case kJmp:
                JUMP(s.target)
                break;
            case kJmpInd: {
                const uint16_t t = uint16_t(reg<4>(R, s.x));
                JUMP(t)
            } break;
            case kJsr: {
                const uint16_t t = s.target;
                PUSH(uint16_t(p + s.length));
                JUMP(t)
            } break;
            case kJsrInd: {
                const uint16_t t = uint16_t(reg<4>(R, s.x));
                PUSH(uint16_t(p + 2));
                JUMP(t)
            } break;
            case kRts: {
                const uint32_t sp = reg<4>(R, kSp);
                const uint16_t t = uint16_t(load<2>(uint16_t(sp)));
                setReg<4>(R, kSp, sp + 2);
                JUMP(t)
            } break;
            default:
                break;
        }
    }
    SYNC_OUT;
#undef SYNC_OUT
#undef SYNC_IN
#undef SIZED
#undef MEMORY
#undef ALU
#undef ARITH
#undef LOGIC
#undef SHIFT
#undef BIT
#undef LOOP
#undef JUMP
#undef PUSH
    return states_ - start;
}

}  // namespace quill::sim::h8
