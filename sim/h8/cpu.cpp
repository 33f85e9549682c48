#include "sim/h8/cpu.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "sim/h8/timing.h"

namespace quill::sim::h8 {

namespace {

constexpr uint32_t mask(int size) {
    return size == 1 ? 0xFFu : size == 2 ? 0xFFFFu : 0xFFFFFFFFu;
}
constexpr uint32_t signBit(int size) {
    return size == 1 ? 0x80u : size == 2 ? 0x8000u : 0x80000000u;
}
// The bits below the one whose carry is the half carry: bit 3, 11 or 27.
constexpr uint32_t halfMask(int size) {
    return size == 1 ? 0xFu : size == 2 ? 0xFFFu : 0xFFFFFFFu;
}
int32_t signExtend(uint32_t v, int size) {
    return size == 1 ? int8_t(v) : size == 2 ? int16_t(v) : int32_t(v);
}

#define HOT [[gnu::always_inline]] inline

// A register's bytes within its ER word in host memory.
constexpr int kLowByte = std::endian::native == std::endian::little ? 0 : 3;
constexpr int kHighByte = std::endian::native == std::endian::little ? 1 : 2;
constexpr int kLowWord = std::endian::native == std::endian::little ? 0 : 2;
constexpr int kHighWord = std::endian::native == std::endian::little ? 2 : 0;

bool executable(uint16_t pc) {
    return pc < Cpu::kFlashEnd || (pc >= Cpu::kRamStart && pc < Cpu::kRamEnd);
}

}  // namespace

Cpu::Cpu(Bus& bus) : bus_(bus) {
    for (uint32_t a = 0; a < kFlashEnd; ++a) mem_[a] = 0xFF;
}

void Cpu::reset(uint16_t startPc) {
    for (auto& r : er) r = 0;
    ccr = kCcrI;
    pc = startPc;
    stop_ = Stop::Running;
}

void Cpu::invalidate(uint16_t from, uint16_t to) {
    // An instruction that starts up to kMaxLength - 1 bytes before `from` reads it too.
    const int first = (from >= kMaxLength ? from - kMaxLength + 1 : 0) / 2;
    for (int w = first; w <= to / 2; ++w) {
        // Only these: an instruction that has just written over itself still runs its
        // own slot to the end.
        slots_[size_t(w)].handler = 0;
        slots_[size_t(w)].kind = 0;
        slots_[size_t(w)].states = 0;
    }
}

void Cpu::setFlashAccess(bool fetchFree, bool readFree) {
    flashReadFree_ = readFree;
    if (fetchFree == flashFetchFree_) return;
    flashFetchFree_ = fetchFree;
    if (!fetchFree) invalidate(0, kFlashEnd - 1);
}

// ---- memory

uint8_t Cpu::read8(uint16_t a) {
    if (a >= kRamStart && a < kRamEnd) return mem_[a];
    if (a >= 0xF700) {
        if (bus_.readChanges(a)) ++effects_;
        return bus_.ioRead(a, states_);
    }
    if (a < kFlashEnd && !flashReadFree_) {
        ++effects_;
        return bus_.flashRead(a, states_);
    }
    return mem_[a];
}

uint16_t Cpu::read16(uint16_t a) {
    a &= 0xFFFE;
    return uint16_t(read8(a) << 8 | read8(uint16_t(a + 1)));
}

uint32_t Cpu::read32(uint16_t a) {
    a &= 0xFFFE;
    return uint32_t(read16(a)) << 16 | read16(uint16_t(a + 2));
}

void Cpu::write8(uint16_t a, uint8_t v) {
    ++effects_;
    if (a >= kRamStart && a < kRamEnd) {
        mem_[a] = v;
        // Self-modified code: the few decoded instructions that cover this byte. Each marks
        // the blocks of its first and its kMaxLength-th byte, so one of them is this block.
        if (code_[a / 64]) invalidate(a, a);
    } else if (a < kFlashEnd) {
        bus_.flashWrite(a, v, states_);
    } else if (a >= 0xF700) {  // the I/O registers; elsewhere nothing answers
        bus_.ioWrite(a, v, states_);
    }
}

void Cpu::write16(uint16_t a, uint16_t v) {
    a &= 0xFFFE;
    write8(a, uint8_t(v >> 8));
    write8(uint16_t(a + 1), uint8_t(v));
}

void Cpu::write32(uint16_t a, uint32_t v) {
    a &= 0xFFFE;
    write16(a, uint16_t(v >> 16));
    write16(uint16_t(a + 2), uint16_t(v));
}

// ---- registers and operands

HOT uint32_t Cpu::readReg(int r, int size) const {
    const auto* bytes = reinterpret_cast<const uint8_t*>(er) + (r & 7) * 4;
    if (size == 1) return bytes[r & 8 ? kLowByte : kHighByte];
    if (size == 2) {
        uint16_t w;
        std::memcpy(&w, bytes + (r & 8 ? kHighWord : kLowWord), 2);
        return w;
    }
    return er[r & 7];
}

HOT void Cpu::writeReg(int r, int size, uint32_t v) {
    auto* bytes = reinterpret_cast<uint8_t*>(er) + (r & 7) * 4;
    if (size == 1) {
        bytes[r & 8 ? kLowByte : kHighByte] = uint8_t(v);
    } else if (size == 2) {
        const uint16_t w = uint16_t(v);
        std::memcpy(bytes + (r & 8 ? kHighWord : kLowWord), &w, 2);
    } else {
        er[r & 7] = v;
    }
}

HOT uint16_t Cpu::address(const Operand& o, int size) {
    uint16_t a = 0;
    switch (o.mode) {
        case Mode::Ind:
            a = uint16_t(er[o.reg]);
            break;
        case Mode::PostInc:
            a = uint16_t(er[o.reg]);
            er[o.reg] += uint32_t(size);
            break;
        case Mode::PreDec:
            er[o.reg] -= uint32_t(size);
            a = uint16_t(er[o.reg]);
            break;
        case Mode::Disp16:
            a = uint16_t(er[o.reg] + uint32_t(int16_t(o.value)));
            break;
        case Mode::Disp24:
            a = uint16_t(er[o.reg] + o.value);
            break;
        case Mode::Abs8:
            a = uint16_t(0xFF00 | o.value);
            break;
        case Mode::Abs16:
        case Mode::Abs24:
        case Mode::MemInd:
            a = uint16_t(o.value);
            break;
        default:
            break;
    }
    return a;
}

HOT uint32_t Cpu::readOperand(const Operand& o, int size) {
    if (o.mode == Mode::Reg) return readReg(o.reg, size);
    if (o.mode == Mode::Imm) return o.value & mask(size);
    const uint16_t a = address(o, size);
    return size == 1 ? read8(a) : size == 2 ? read16(a) : read32(a);
}

HOT void Cpu::writeOperand(const Operand& o, int size, uint32_t v) {
    if (o.mode == Mode::Reg) return writeReg(o.reg, size, v);
    const uint16_t a = address(o, size);
    if (size == 1) write8(a, uint8_t(v));
    if (size == 2) write16(a, uint16_t(v));
    if (size == 4) write32(a, v);
}

HOT void Cpu::setNZ(uint32_t r, int size) {
    ccr = uint8_t((ccr & ~(kCcrN | kCcrZ)) | (r & signBit(size) ? kCcrN : 0) |
                  ((r & mask(size)) == 0 ? kCcrZ : 0));
}

// ---- control

void Cpu::halt(Stop why, uint16_t at) {
    stop_ = why;
    stopPc_ = at;
    end_ = 0;
}

bool Cpu::jump(uint32_t target) {
    const uint16_t t = uint16_t(target);
    if (t & 1) {
        halt(Stop::OddAddress, t);
        return false;
    }
    pc = t;
    ++jumps_;
    return true;
}

// The exception sequence of normal mode: PC and CCR on the stack (one word each, the CCR in
// both bytes of its word), I set, the vector's word as the new PC.
void Cpu::exception(int vector) {
    er[7] -= 2;
    write16(uint16_t(er[7]), pc);
    er[7] -= 2;
    write16(uint16_t(er[7]), uint16_t(ccr << 8 | ccr));
    ccr |= kCcrI;
    jump(read16(uint16_t(vector * 2)));
}

void Cpu::nmi() {
    if (stop_ != Stop::Running && stop_ != Stop::Sleep) return;
    stop_ = Stop::Running;
    states_ += kStatesTrap + 3 * kStatesPerAccess;
    exception(kNmiVector);
}

std::string Cpu::stopText() const {
    char buf[96];
    switch (stop_) {
        case Stop::Running:
            return "running";
        case Stop::Sleep:
            std::snprintf(buf, sizeof buf, "SLEEP at H'%04X with nothing to wake it", stopPc_);
            return buf;
        case Stop::Illegal:
            std::snprintf(buf, sizeof buf, "illegal instruction H'%02X%02X at H'%04X",
                          mem_[stopPc_], mem_[stopPc_ + 1u], stopPc_);
            return buf;
        case Stop::Runaway:
            std::snprintf(buf, sizeof buf, "jump to H'%04X, outside RAM and flash", stopPc_);
            return buf;
        case Stop::OddAddress:
            std::snprintf(buf, sizeof buf, "jump to the odd address H'%04X", stopPc_);
            return buf;
    }
    return {};
}

// The instruction at pc is not decoded: decode it, or run it at once when it must be fetched
// through the bus (flash while it may not be read as code), which is done anew each time.
void Cpu::miss() {
    const size_t w = pc >> 1;
    if (!executable(pc)) return halt(Stop::Runaway, pc);
    if (pc < kFlashEnd && !flashFetchFree_) {
        bus_.flashFetch(pc, states_);
        ++effects_;
        decoded_[w] = decode(&mem_[pc]);
        return slowStep(decoded_[w]);
    }
    decoded_[w] = decode(&mem_[pc]);
    slots_[w] = translate(decoded_[w], pc);
    code_[pc / 64] = code_[(pc + kMaxLength - 1) / 64] = 1;
}

// One instruction through the general execute().
void Cpu::slowStep(const Insn& i) {
    const uint16_t at = pc;
    states_ += i.states;
    ++instructions_;
    if (!execute(i) && stop_ == Stop::Running) halt(Stop::Illegal, at);
    // An idle loop that waits on what the outside has not said yet ends the run.
    if (pc <= at && i.op == Op::Bcc && loopTurned(at, end_)) end_ = 0;
}

// The register the loop counts down by a DEC #1 right before its BNE, when nothing else in
// the loop looks at it: then its turns differ by that register alone, and they stay alike
// while it neither reaches 0 nor crosses its sign bit. -1 when no register changed, -2 when
// the turns are not alike in either way.
int Cpu::loopCounter(uint16_t branchAt, const uint32_t* before) {
    int changed = -1;
    for (int r = 0; r < 8; ++r) {
        if (er[r] == before[r]) continue;
        if (changed >= 0) return -2;
        changed = r;
    }
    if (changed < 0) return -1;
    if (decoded_[branchAt >> 1].cond != 0x6) return -2;  // BNE
    auto usesChanged = [changed](const Operand& o) {
        return (o.mode == Mode::Reg || (o.mode >= Mode::Ind && o.mode <= Mode::Disp24)) &&
               (o.reg & 7) == changed;
    };
    // The turn ran straight from the target to the branch, so the body decodes straight.
    const Insn* dec = nullptr;
    for (uint32_t a = turn_.target; a < branchAt;) {
        if (slots_[a >> 1].kind == 0) return -2;
        const Insn& i = decoded_[a >> 1];
        const bool implicit = i.op == Op::Eepmov || i.op == Op::Mulxu || i.op == Op::Mulxs ||
                              i.op == Op::Divxu || i.op == Op::Divxs;
        if (implicit || usesChanged(i.src) || usesChanged(i.dst)) {
            if (a + i.length != branchAt || i.op != Op::Dec || i.src.mode != Mode::Imm ||
                i.src.value != 1 || i.dst.mode != Mode::Reg)
                return -2;
            dec = &i;
        }
        a += i.length;
    }
    if (dec == nullptr) return -2;
    // Only the counted part moved, and by one.
    const uint32_t now = er[changed];
    er[changed] = before[changed];
    writeReg(dec->dst.reg, dec->size, (readReg(dec->dst.reg, dec->size) - 1) & mask(dec->size));
    const bool byOne = er[changed] == now;
    er[changed] = now;
    return byOne ? changed : -2;
}

[[gnu::noinline]] bool Cpu::loopTurned(uint16_t branchAt, uint64_t end) {
    LoopTurn& t = turn_;
    // A busy loop (it writes, or reads what changes) is looked at again only now and then,
    // so that it costs little.
    if (cooldown_ > 0) {
        --cooldown_;
        return false;
    }
    if (!skipIdle_) return false;
    if (t.valid && t.effects != effects_) {
        t.valid = false;
        cooldown_ = 32;
        return false;
    }
    const bool same = t.valid && t.branchAt == branchAt && t.target == pc &&
                      t.effects == effects_ && t.jumps + 1 == jumps_ && t.ccr == ccr;
    const int counter = same ? loopCounter(branchAt, t.er) : -2;
    if (counter != -2 && t.steadyUntil > states_ && end > states_) {
        const uint64_t period = states_ - t.states;
        const uint64_t instructions = instructions_ - t.instructions;
        // The last turn's reads were at t.states or later, and nothing they read changes
        // before t.steadyUntil: every turn that ends by then reads the same.
        uint64_t n = std::min(end - states_, t.steadyUntil - states_) / period;
        const Insn& dec = decoded_[(branchAt - 2) >> 1];  // DEC.B/.W/.L: 2 bytes
        uint32_t c = 0;
        if (counter >= 0) {
            c = readReg(dec.dst.reg, dec.size);
            n = std::min(n, countRoom(branchAt));
        }
        if (n > 0) {
            states_ += n * period;
            instructions_ += n * instructions;
            jumps_ += n;
            skippedTurns_ += n;
            // The last skipped turn stands as the one before the next; steadyUntil holds.
            t.states = states_ - period;
            t.instructions = instructions_ - instructions;
            t.jumps = jumps_ - 1;
            if (counter >= 0) {
                const uint32_t m = mask(dec.size);
                writeReg(dec.dst.reg, dec.size, uint32_t(c - n + 1) & m);
                t.er[counter] = er[counter];
                writeReg(dec.dst.reg, dec.size, uint32_t(c - n) & m);
            }
            return false;
        }
    }
    const uint64_t turnStart = t.states;
    t.valid = true;
    t.branchAt = branchAt;
    t.target = pc;
    t.states = states_;
    t.instructions = instructions_;
    t.effects = effects_;
    t.jumps = jumps_;
    t.ccr = ccr;
    for (int r = 0; r < 8; ++r) t.er[r] = er[r];
    t.steadyUntil = counter != -2 ? bus_.steadyUntil(states_, turnStart) : 0;
    if (counter == -2 || t.steadyUntil != 0) return false;
    // Parked until the outside speaks, or at most until the loop counts out.
    parkedUntil_ = counter >= 0 ? states_ + countRoom(branchAt) * (states_ - turnStart) : UINT64_MAX;
    return true;
}

// The turns a counted loop can still skip: each skipped DEC leaves its register non-zero,
// with the same N and no V.
uint64_t Cpu::countRoom(uint16_t branchAt) const {
    const Insn& dec = decoded_[(branchAt - 2) >> 1];  // DEC.B/.W/.L: 2 bytes
    const uint32_t s = signBit(dec.size);
    const uint32_t c = readReg(dec.dst.reg, dec.size);
    uint64_t room = (ccr & kCcrV) || c == 0 ? 0 : c - 1;
    if (c >= s) room = std::min<uint64_t>(room, c - s);
    return room;
}

// ---- instructions

[[gnu::flatten]] bool Cpu::execute(const Insn& i) {
    const uint16_t next = uint16_t(pc + i.length);
    const int size = i.size;
    const uint32_t m = mask(size), s = signBit(size);
    auto setFlag = [this](uint8_t bit, bool on) { ccr = on ? ccr | bit : ccr & uint8_t(~bit); };
    auto logic = [&](uint32_t r) {
        r &= m;
        writeOperand(i.dst, size, r);
        setNZ(r, size);
        setFlag(kCcrV, false);
    };
    // a + b + carry, or a - b - borrow, with the flags of ADD and SUB.
    auto add = [&](uint32_t a, uint32_t b, uint32_t c) {
        const uint64_t wide = uint64_t(a) + b + c;
        const uint32_t r = uint32_t(wide) & m;
        setFlag(kCcrH, (a & halfMask(size)) + (b & halfMask(size)) + c > halfMask(size));
        setFlag(kCcrV, ((a ^ r) & (b ^ r) & s) != 0);
        setFlag(kCcrC, (wide >> (size * 8)) & 1);
        return r;
    };
    auto sub = [&](uint32_t a, uint32_t b, uint32_t c) {
        const uint32_t r = (a - b - c) & m;
        setFlag(kCcrH, (b & halfMask(size)) + c > (a & halfMask(size)));
        setFlag(kCcrV, ((a ^ b) & (a ^ r) & s) != 0);
        setFlag(kCcrC, uint64_t(b) + c > a);
        return r;
    };

    switch (i.op) {
        case Op::Illegal:
            return false;
        case Op::Nop:
            break;
        case Op::Mov:
        case Op::Movfpe:
        case Op::Movtpe:
            logic(readOperand(i.src, size));
            break;
        case Op::Add: {
            const uint32_t b = readOperand(i.src, size), a = readReg(i.dst.reg, size);
            writeReg(i.dst.reg, size, add(a, b, 0));
            setNZ(readReg(i.dst.reg, size), size);
            break;
        }
        case Op::Sub:
        case Op::Cmp: {
            const uint32_t b = readOperand(i.src, size), a = readReg(i.dst.reg, size);
            const uint32_t r = sub(a, b, 0);
            if (i.op == Op::Sub) writeReg(i.dst.reg, size, r);
            setNZ(r, size);
            break;
        }
        case Op::Addx:
        case Op::Subx: {
            const uint32_t b = readOperand(i.src, 1), a = readReg(i.dst.reg, 1);
            const uint32_t c = ccr & kCcrC;
            const uint32_t r = i.op == Op::Addx ? add(a, b, c) : sub(a, b, c);
            writeReg(i.dst.reg, 1, r);
            setFlag(kCcrN, r & 0x80);
            if (r != 0) setFlag(kCcrZ, false);  // Z only ever cleared: multi-byte zero tests
            break;
        }
        case Op::Adds:
            er[i.dst.reg & 7] += i.src.value;
            break;
        case Op::Subs:
            er[i.dst.reg & 7] -= i.src.value;
            break;
        case Op::Inc:
        case Op::Dec: {
            const uint32_t a = readReg(i.dst.reg, size);
            const uint32_t r = (i.op == Op::Inc ? a + i.src.value : a - i.src.value) & m;
            writeReg(i.dst.reg, size, r);
            setNZ(r, size);
            // Overflow: the sign flipped the wrong way (INC from positive to negative).
            const bool v = i.op == Op::Inc ? (~a & r & s) != 0 : (a & ~r & s) != 0;
            setFlag(kCcrV, v);
            break;
        }
        case Op::Neg: {
            const uint32_t a = readReg(i.dst.reg, size);
            const uint32_t r = sub(0, a, 0);
            writeReg(i.dst.reg, size, r);
            setNZ(r, size);
            break;
        }
        case Op::Daa:
        case Op::Das: {
            uint32_t a = readReg(i.dst.reg, 1);
            const bool c = ccr & kCcrC, h = ccr & kCcrH;
            uint32_t adjust = 0;
            bool carry = c;
            if (i.op == Op::Daa) {
                if (h || (a & 0xF) > 9) adjust |= 0x06;
                if (c || a > 0x99) adjust |= 0x60, carry = true;
                a = (a + adjust) & 0xFF;
            } else {
                if (h) adjust |= 0x06;
                if (c) adjust |= 0x60;
                a = (a - adjust) & 0xFF;
            }
            writeReg(i.dst.reg, 1, a);
            setNZ(a, 1);
            setFlag(kCcrC, carry);
            break;
        }
        case Op::Mulxu: {
            const uint32_t b = readReg(i.src.reg, size);
            const uint32_t a = readReg(i.dst.reg, size * 2) & m;
            writeReg(i.dst.reg, size * 2, a * b);
            break;
        }
        case Op::Mulxs: {
            const int32_t b = signExtend(readReg(i.src.reg, size), size);
            const int32_t a = signExtend(readReg(i.dst.reg, size * 2), size);
            const uint32_t r = uint32_t(int64_t(a) * b) & mask(size * 2);
            writeReg(i.dst.reg, size * 2, r);
            setNZ(r, size * 2);
            break;
        }
        case Op::Divxu:
        case Op::Divxs: {
            const int wide = size * 2;
            const uint32_t divisor = readReg(i.src.reg, size);
            const uint32_t dividend = readReg(i.dst.reg, wide);
            if (divisor != 0) {
                uint32_t q, r;
                if (i.op == Op::Divxu) {
                    q = dividend / divisor, r = dividend % divisor;
                } else {
                    const int64_t a = signExtend(dividend, wide), b = signExtend(divisor, size);
                    q = uint32_t(a / b), r = uint32_t(a % b);
                }
                writeReg(i.dst.reg, wide, (r & m) << (size * 8) | (q & m));
            }
            // N: the divisor's sign (unsigned) or the quotient's (signed), so a quotient that
            // truncates to zero is not negative even when the signs differ; Z: division by 0.
            const bool divisorNegative = divisor & s;
            const bool neg = i.op == Op::Divxu
                                 ? divisorNegative
                                 : divisor != 0 && int64_t(signExtend(dividend, wide)) /
                                                           signExtend(divisor, size) <
                                                       0;
            setFlag(kCcrN, neg);
            setFlag(kCcrZ, divisor == 0);
            break;
        }
        case Op::Exts:
        case Op::Extu: {
            const int half = size / 2;
            uint32_t a = readReg(i.dst.reg, size) & mask(half);
            if (i.op == Op::Exts) a = uint32_t(signExtend(a, half)) & m;
            writeReg(i.dst.reg, size, a);
            setNZ(a, size);
            setFlag(kCcrV, false);
            break;
        }
        case Op::And:
            logic(readOperand(i.src, size) & readReg(i.dst.reg, size));
            break;
        case Op::Or:
            logic(readOperand(i.src, size) | readReg(i.dst.reg, size));
            break;
        case Op::Xor:
            logic(readOperand(i.src, size) ^ readReg(i.dst.reg, size));
            break;
        case Op::Not:
            logic(~readReg(i.dst.reg, size));
            break;
        case Op::Shal:
        case Op::Shll:
        case Op::Shar:
        case Op::Shlr:
        case Op::Rotl:
        case Op::Rotr:
        case Op::Rotxl:
        case Op::Rotxr: {
            const uint32_t a = readReg(i.dst.reg, size);
            const bool msb = a & s, lsb = a & 1, c = ccr & kCcrC;
            uint32_t r = 0;
            bool out = false;
            switch (i.op) {
                case Op::Shal:
                case Op::Shll:
                    r = a << 1, out = msb;
                    break;
                case Op::Shar:
                    r = (a >> 1) | (a & s), out = lsb;
                    break;
                case Op::Shlr:
                    r = a >> 1, out = lsb;
                    break;
                case Op::Rotl:
                    r = a << 1 | msb, out = msb;
                    break;
                case Op::Rotr:
                    r = a >> 1 | (lsb ? s : 0), out = lsb;
                    break;
                case Op::Rotxl:
                    r = a << 1 | c, out = msb;
                    break;
                default:
                    r = a >> 1 | (c ? s : 0), out = lsb;
                    break;
            }
            r &= m;
            writeReg(i.dst.reg, size, r);
            setNZ(r, size);
            setFlag(kCcrC, out);
            setFlag(kCcrV, i.op == Op::Shal && msb != ((r & s) != 0));
            break;
        }
        case Op::Bset:
        case Op::Bclr:
        case Op::Bnot:
        case Op::Btst:
        case Op::Bld:
        case Op::Bild:
        case Op::Bst:
        case Op::Bist:
        case Op::Band:
        case Op::Biand:
        case Op::Bor:
        case Op::Bior:
        case Op::Bxor:
        case Op::Bixor: {
            const int n = (i.src.mode == Mode::Reg ? readReg(i.src.reg, 1) : i.src.value) & 7;
            const uint8_t bit = uint8_t(1u << n);
            // The memory operand's address once: @ERn has no side effect to repeat.
            const bool inMemory = i.dst.mode != Mode::Reg;
            const uint16_t a = inMemory ? address(i.dst, 1) : 0;
            const uint8_t v = inMemory ? read8(a) : uint8_t(readReg(i.dst.reg, 1));
            const bool b = v & bit, c = ccr & kCcrC;
            int w = -1;  // the byte written back, if any
            switch (i.op) {
                case Op::Bset:
                    w = v | bit;
                    break;
                case Op::Bclr:
                    w = v & ~bit;
                    break;
                case Op::Bnot:
                    w = v ^ bit;
                    break;
                case Op::Btst:
                    setFlag(kCcrZ, !b);
                    break;
                case Op::Bld:
                    setFlag(kCcrC, b);
                    break;
                case Op::Bild:
                    setFlag(kCcrC, !b);
                    break;
                case Op::Bst:
                    w = c ? v | bit : v & ~bit;
                    break;
                case Op::Bist:
                    w = !c ? v | bit : v & ~bit;
                    break;
                case Op::Band:
                    setFlag(kCcrC, c && b);
                    break;
                case Op::Biand:
                    setFlag(kCcrC, c && !b);
                    break;
                case Op::Bor:
                    setFlag(kCcrC, c || b);
                    break;
                case Op::Bior:
                    setFlag(kCcrC, c || !b);
                    break;
                case Op::Bxor:
                    setFlag(kCcrC, c != b);
                    break;
                default:
                    setFlag(kCcrC, c != !b);
                    break;
            }
            if (w >= 0) {
                if (inMemory)
                    write8(a, uint8_t(w));
                else
                    writeReg(i.dst.reg, 1, uint32_t(w));
            }
            break;
        }
        case Op::Bcc:
            if (!condition(i.cond, ccr)) break;
            jump(next + i.dst.value);
            return true;
        case Op::Bsr:
        case Op::Jsr:
        case Op::Jmp: {
            uint32_t target;
            if (i.dst.mode == Mode::PcRel8 || i.dst.mode == Mode::PcRel16)
                target = next + i.dst.value;
            else if (i.dst.mode == Mode::MemInd)
                target = read16(uint16_t(i.dst.value));
            else
                target = address(i.dst, 2);
            if (i.op != Op::Jmp) {
                er[7] -= 2;
                write16(uint16_t(er[7]), next);
            }
            jump(target);
            return true;
        }
        case Op::Rts: {
            const uint16_t target = read16(uint16_t(er[7]));
            er[7] += 2;
            jump(target);
            return true;
        }
        case Op::Rte: {
            ccr = uint8_t(read16(uint16_t(er[7])) >> 8);
            er[7] += 2;
            const uint16_t target = read16(uint16_t(er[7]));
            er[7] += 2;
            jump(target);
            return true;
        }
        case Op::Trapa:
            pc = next;
            exception(kTrapVector + int(i.dst.value));
            return true;
        case Op::Sleep:
            pc = next;
            halt(Stop::Sleep, uint16_t(next - 2));
            return true;
        case Op::Ldc:
            ccr = uint8_t(i.src.mode == Mode::Reg || i.src.mode == Mode::Imm
                              ? readOperand(i.src, 1)
                              : readOperand(i.src, 2) >> 8);
            break;
        case Op::Stc:
            if (i.dst.mode == Mode::Reg)
                writeReg(i.dst.reg, 1, ccr);
            else  // the CCR in the upper byte of the word; the chip leaves the lower undetermined
                writeOperand(i.dst, 2, uint32_t(ccr << 8));
            break;
        case Op::Andc:
            ccr &= uint8_t(i.src.value);
            break;
        case Op::Orc:
            ccr |= uint8_t(i.src.value);
            break;
        case Op::Xorc:
            ccr ^= uint8_t(i.src.value);
            break;
        case Op::Eepmov: {
            // R4L (or R4) bytes from @ER5+ to @ER6+, the count going down to 0.
            uint32_t n = readReg(size == 1 ? 12 : 4, size);
            for (; n != 0; --n) {
                write8(uint16_t(er[6]), read8(uint16_t(er[5])));
                ++er[5], ++er[6];
                states_ += 2 * kStatesPerAccess;
            }
            writeReg(size == 1 ? 12 : 4, size, 0);
            break;
        }
    }
    pc = next;
    return true;
}

}  // namespace quill::sim::h8
