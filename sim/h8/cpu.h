#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/h8/insn.h"

namespace quill::sim::h8 {

// What the CPU reaches besides RAM and flash reads: the I/O registers and every write that is
// not to RAM. `states` is the chip's state count at the access, for the peripherals' time.
class Bus {
  public:
    virtual ~Bus() = default;
    virtual uint8_t ioRead(uint16_t address, uint64_t states) = 0;
    virtual void ioWrite(uint16_t address, uint8_t value, uint64_t states) = 0;
    // A write to the flash area H'0000-H'7FFF; what it does is the flash controller's.
    virtual void flashWrite(uint16_t address, uint8_t value, uint64_t states) = 0;
    // A read of the flash while it does not read as plain cells (program-verify).
    virtual uint8_t flashRead(uint16_t address, uint64_t states) = 0;
    // An instruction fetch from flash while the flash may not be read as code.
    virtual void flashFetch(uint16_t address, uint64_t states) = 0;
    // For skipping idle polling: the first state count from `states` on at which a read of
    // the I/O registers may answer differently (none before it changes anything), for a loop
    // whose last turn began at `turnStart`; 0 ends the run there, as the loop waits on what
    // the outside has not said yet. And whether reading `address` changes something. The
    // defaults forbid every skip.
    virtual uint64_t steadyUntil(uint64_t states, uint64_t /*turnStart*/) { return states; }
    virtual bool readChanges(uint16_t) { return true; }
};

// CCR bits.
inline constexpr uint8_t kCcrI = 0x80, kCcrUI = 0x40, kCcrH = 0x20, kCcrU = 0x10, kCcrN = 0x08,
                         kCcrZ = 0x04, kCcrV = 0x02, kCcrC = 0x01;

// The H8/300H core in normal mode (16-bit addresses), with the chip's memory: flash at
// H'0000-H'7FFF, RAM at H'F780-H'FF7F, the I/O registers through the Bus. It runs until a
// budget of states is spent or it stops: SLEEP, an illegal instruction, a fetch outside RAM
// and flash.
class Cpu {
  public:
    enum class Stop { Running, Sleep, Illegal, Runaway, OddAddress };

    static constexpr uint16_t kFlashEnd = 0x8000;
    static constexpr uint16_t kRamStart = 0xF780;
    static constexpr uint16_t kRamEnd = 0xFF80;
    static constexpr int kNmiVector = 7;
    static constexpr int kTrapVector = 8;  // TRAPA #0; #1-#3 follow

    explicit Cpu(Bus& bus);

    // Memory without the bus: RAM and flash cells as they are, for loading and looking.
    uint8_t* memory() { return mem_.data(); }
    const uint8_t* memory() const { return mem_.data(); }
    // A change of the memory behind the CPU's back (the flash programmed, RAM loaded): the
    // instructions decoded there are decoded again.
    void invalidate(uint16_t from, uint16_t to);
    // Whether instructions may be fetched, and data read, from flash without the bus.
    void setFlashAccess(bool fetchFree, bool readFree);
    // Time passing while the CPU is stopped (SLEEP, a runaway).
    void idle(uint64_t states) { states_ += states; }

    uint32_t er[8] = {};
    uint16_t pc = 0;
    uint8_t ccr = kCcrI;

    // Runs until `budget` states are spent (the last instruction may run past) or it stops;
    // the states spent.
    uint64_t run(uint64_t budget);
    void step() { run(1); }
    uint64_t states() const { return states_; }
    uint64_t instructions() const { return instructions_; }
    Stop stopped() const { return stop_; }
    // Why and where it stopped, in words.
    std::string stopText() const;
    // An NMI: taken at once (it also ends a SLEEP).
    void nmi();
    // A fresh start at `startPc`: registers cleared, CCR with I set.
    void reset(uint16_t startPc);

    // Memory as the program sees it, through the bus for the I/O registers.
    uint8_t read8(uint16_t a);
    uint16_t read16(uint16_t a);
    void write8(uint16_t a, uint8_t v);
    void write16(uint16_t a, uint16_t v);

  private:
    // An instruction taken apart for the run loop: which of its forms runs (kind 0 and
    // handler 0: not decoded yet), its states, and its operands ready to use. The registers are byte offsets within
    // `er` as the host stores it.
    struct Slot {
        int32_t handler = 0;  // where the form's code is, from the run loop's first form
        uint8_t states = 0;
        uint8_t length = 0;
        uint8_t r = 0;        // the data register (the destination of two-register forms)
        uint8_t x = 0;        // the source register, or the address register of a memory operand
        uint16_t target = 0;  // a branch target or an absolute address
        uint8_t kind = 0;
        uint8_t cond = 0;     // Bcc: the condition field
        uint32_t value = 0;   // an immediate (a bit's mask), a displacement, a step
    };
    static Slot translate(const Insn& i, uint16_t at);
    // A data access of S bytes from the run loop: RAM at once, the rest as read8() and
    // write8() do, with pc and the states brought up to date first.
    template <int S>
    uint32_t load(uint16_t a, uint16_t at, uint64_t states);
    template <int S>
    void store(uint16_t a, uint32_t v, uint16_t at, uint64_t states);

    bool execute(const Insn& i);
    void miss();
    void slowStep(const Insn& i);
    void halt(Stop why, uint16_t at);
    // Whether the run must end here.
    bool loopTurned(uint16_t branchAt, uint64_t end);
    int loopCounter(uint16_t branchAt, const uint32_t* before);
    uint64_t countRoom(uint16_t branchAt) const;
    bool jump(uint32_t target);
    void exception(int vector);

    uint32_t readReg(int r, int size) const;
    void writeReg(int r, int size, uint32_t v);
    uint16_t address(const Operand& o, int size);
    uint32_t readOperand(const Operand& o, int size);
    void writeOperand(const Operand& o, int size, uint32_t v);
    uint32_t read32(uint16_t a);
    void write32(uint16_t a, uint32_t v);
    void setNZ(uint32_t r, int size);
    // Bcc's conditions: for each, one bit per value of the flags N Z V C (the CCR's low four
    // bits), set where the branch is taken.
    static constexpr std::array<uint16_t, 16> kConditions = [] {
        std::array<uint16_t, 16> t{};
        for (int cond = 0; cond < 16; ++cond) {
            for (int f = 0; f < 16; ++f) {
                const bool n = f & kCcrN, z = f & kCcrZ, v = f & kCcrV, c = f & kCcrC;
                const bool holds[16] = {true,   false,      !(c || z), c || z, !c,     c,
                                        !z,     z,          !v,        v,      !n,     n,
                                        n == v, n != v, !z && n == v, z || n != v};
                if (holds[cond]) t[size_t(cond)] |= uint16_t(1u << f);
            }
        }
        return t;
    }();
    static bool condition(int cond, uint8_t ccr) { return (kConditions[size_t(cond)] >> (ccr & 15)) & 1; }

    Bus& bus_;
    // 64 KB and the longest instruction's tail, so that decoding at the top never reads past.
    std::array<uint8_t, 0x10000 + kMaxLength> mem_{};
    std::array<Insn, 0x8000> decoded_{};
    std::array<Slot, 0x8000> slots_{};          // by word: kind 0 unless decoded_ holds what is there
    std::array<uint8_t, 0x10000 / 64> code_{};  // by 64 bytes: some instruction was decoded here
    bool flashFetchFree_ = true;
    bool flashReadFree_ = true;
    uint64_t states_ = 0;
    uint64_t end_ = 0;  // the run's end; 0 once it stops
    uint64_t instructions_ = 0;
    Stop stop_ = Stop::Running;
    uint16_t stopPc_ = 0;

    // Idle loops: what the CPU was at the last turn of a backward branch. A turn that wrote
    // nothing, took no other jump and read only steady registers is repeated by arithmetic.
    uint64_t effects_ = 0;  // writes and reads that change something, ever
    uint64_t jumps_ = 0;    // control transfers, ever
    struct LoopTurn {
        uint16_t branchAt = 0, target = 0;
        bool valid = false;
        uint64_t states = 0, instructions = 0, effects = 0, jumps = 0;
        uint64_t steadyUntil = 0;  // 0: not known
        uint32_t er[8] = {};
        uint8_t ccr = 0;
    } turn_;
    bool skipIdle_ = true;
    int cooldown_ = 0;
    uint64_t skippedTurns_ = 0;
    uint64_t parkedUntil_ = UINT64_MAX;

  public:
    // Whether idle loops are fast-forwarded (off: every instruction is run, for comparing).
    void setSkipIdle(bool on) { skipIdle_ = on; }
    uint64_t skippedTurns() const { return skippedTurns_; }
    // After a run that the bus ended in an idle loop: the state count by which the loop may
    // leave by itself (it counts out), or UINT64_MAX.
    uint64_t parkedUntil() const { return parkedUntil_; }
};

}  // namespace quill::sim::h8
