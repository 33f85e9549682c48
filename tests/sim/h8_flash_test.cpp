// The flash controller's sequence and its rules: one table of sequences, each with the breach
// it must report (or none) and what the cells must hold after it.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sim/h8/flash_controller.h"

namespace quill::sim::h8 {
namespace {

using F = FlashController;
constexpr int64_t kHz = 20'000'000;

struct Rig {
    FlashMemory cells;
    std::vector<std::string> breaches;
    bool fetchFree = true, readFree = true;
    F flash;
    double nowUs = 0;

    explicit Rig(int pulses)
        : flash(cells, kHz, pulses, pulses,
                {[this](int, const std::string& t) { breaches.push_back(t); },
                 {},
                 [this](bool f, bool r) { fetchFree = f, readFree = r; }}) {
        cells.erase();
        flash.write(F::kFenr, F::kFlshe, 0);
    }
    uint64_t states(double us) const { return uint64_t(us * kHz / 1e6); }
    // FLMCR1 set to `bits` after `us` more microseconds.
    void set(uint8_t bits, double us) {
        nowUs += us;
        flash.write(F::kFlmcr1, bits, states(nowUs));
    }
    // One try of the sequence: SWE, the data, PSU, a P pulse of `us`, PSU off, SWE off.
    void program(uint16_t block, uint8_t value, double us = F::kPulseUs) {
        set(F::kSwe, 1);
        for (int k = 0; k < 128; ++k) flash.flashWrite(uint16_t(block + k), value, states(nowUs));
        set(F::kSwe | F::kPsu, 1);
        set(F::kSwe | F::kPsu | F::kP, 50);
        set(F::kSwe | F::kPsu, us);
        set(F::kSwe, 5);
        set(0, 5);
    }
};

struct Case {
    const char* name;
    std::function<void(Rig&)> run;
    const char* breach;  // a part of the one breach reported, or "" for none
    uint16_t cell = 0;
    uint8_t value = 0xFF;  // what `cell` holds afterwards
    int pulses = 1;  // that a cell needs
};

const Case kCases[] = {
    {"a cell takes its number of pulses",
     [](Rig& r) {
         r.program(0x0200, 0x00);
         r.program(0x0200, 0x00);
     },
     "", 0x0200, 0xFF, 3},
    {"a pulse too long for the try", [](Rig& r) { r.program(0x0000, 0x00, 50); },
     "a P pulse of 50.0 us on try 1", 0x0000, 0x00},
    {"the long pulse before try 7", [](Rig& r) { r.program(0x0000, 0x00, F::kLongPulseUs); },
     "a P pulse of 200.0 us on try 1", 0x0000, 0x00},
    {"a pulse too short", [](Rig& r) { r.program(0x0000, 0x00, 20); }, "a P pulse of 20.0 us",
     0x0000, 0x00},
    {"PSU without SWE", [](Rig& r) { r.set(F::kPsu, 1); }, "PSU set without SWE"},
    {"P without SWE", [](Rig& r) { r.set(F::kPsu | F::kP, 1); }, "P set without SWE"},
    {"P without PSU", [](Rig& r) { r.set(F::kSwe, 1), r.set(F::kSwe | F::kP, 1); },
     "P set without PSU"},
    {"a flash write outside program mode is ignored",
     [](Rig& r) { r.flash.flashWrite(0x0300, 0x00, 0); }, "H'0300 written outside program mode",
     0x0300, 0xFF},
    {"a flash write during the pulse is ignored",
     [](Rig& r) { r.set(F::kSwe | F::kPsu, 1), r.flash.flashWrite(0x0300, 0x00, 0); },
     "written outside program mode", 0x0300, 0xFF},
    {"programming an address a second time",
     [](Rig& r) {
         r.program(0x0000, 0x7F);
         r.program(0x0080, 0x00);
         r.program(0x0000, 0x3F);
     },
     "H'0000 programmed a second time", 0x0000, 0x3F},
    {"more than 1000 tries",
     [](Rig& r) {
         for (int k = 0; k < 1001; ++k)
             r.program(0x0000, 0x00, k < 6 ? F::kPulseUs : F::kLongPulseUs);
     },
     "more than 1000 programming tries", 0x0000, 0x00, 255},
    {"code run from flash while SWE is set",
     [](Rig& r) {
         r.set(F::kSwe, 1);
         EXPECT_FALSE(r.fetchFree);
         r.flash.flashFetch(0x0040);
         r.flash.flashFetch(0x0042);  // once per SWE period
         r.set(0, 1);
         EXPECT_TRUE(r.fetchFree);
     },
     "code run from flash at H'0040 while SWE is set"},
    {"the registers are locked without FLSHE",
     [](Rig& r) {
         r.flash.write(F::kFenr, 0, 0);
         r.set(F::kSwe, 1);
         EXPECT_EQ(r.flash.read(F::kFlmcr1), 0);
     },
     "written while FENR.FLSHE is 0"},
    {"program-verify reads the word of the dummy write only",
     [](Rig& r) {
         r.program(0x0000, 0x12);
         r.set(F::kSwe | F::kPv, 1);
         EXPECT_FALSE(r.readFree);
         EXPECT_EQ(r.flash.flashRead(0x0000), 0xFF);
         r.flash.flashWrite(0x0000, 0xFF, 0);
         EXPECT_EQ(r.flash.flashRead(0x0000), 0x12);
         EXPECT_EQ(r.flash.flashRead(0x0001), 0x12);
         EXPECT_EQ(r.flash.flashRead(0x0002), 0xFF);
         r.set(F::kSwe, 1);
         EXPECT_TRUE(r.readFree);
     },
     "", 0x0000, 0x12},
};

TEST(H8Flash, EachSequenceKeepsOrBreaksTheRulesAsItShould) {
    for (const auto& c : kCases) {
        Rig rig(c.pulses);
        c.run(rig);
        if (*c.breach == '\0') {
            EXPECT_TRUE(rig.breaches.empty()) << c.name << ": " << rig.breaches.front();
        } else {
            ASSERT_EQ(rig.breaches.size(), 1u) << c.name;
            EXPECT_NE(rig.breaches[0].find(c.breach), std::string::npos)
                << c.name << ": " << rig.breaches[0];
        }
        EXPECT_EQ(rig.cells.at(c.cell), c.value) << c.name;
    }
}

}  // namespace
}  // namespace quill::sim::h8
