#include "sim/h8/chip.h"

#include <algorithm>

namespace quill::sim::h8 {

Chip::Chip(FlashMemory& flash, Setup setup, Hooks hooks)
    : flash_(flash),
      setup_(setup),
      cpu_(*this),
      sci_(setup.clockHz, std::move(hooks.send)),
      flashController_(
          flash, setup.clockHz, setup.minPulses, setup.maxPulses,
          {std::move(hooks.breach),
           [this](uint16_t from, uint16_t to) {
               std::copy(flash_.bytes().begin() + from, flash_.bytes().begin() + to + 1,
                         cpu_.memory() + from);
               cpu_.invalidate(from, to);
           },
           [this](bool fetchFree, bool readFree) { cpu_.setFlashAccess(fetchFree, readFree); }}) {
    std::copy(flash_.bytes().begin(), flash_.bytes().end(), cpu_.memory());
}

void Chip::start(uint16_t address, const std::vector<uint8_t>& image) {
    const size_t room = size_t(Cpu::kRamEnd - address);
    std::copy_n(image.begin(), std::min(image.size(), room), cpu_.memory() + address);
    cpu_.invalidate(Cpu::kRamStart, Cpu::kRamEnd - 1);
    cpu_.reset(address);
}

void Chip::runUntil(uint64_t states) {
    parked_ = false;
    while (cpu_.states() < states && !parked_) {
        if (cpu_.stopped() != Cpu::Stop::Running) {
            cpu_.idle(states - cpu_.states());
            break;
        }
        cpu_.run(states - cpu_.states());
        if (cpu_.stopped() != Cpu::Stop::Running) stoppedAt_ = cpu_.states();
    }
    sci_.sync(cpu_.states());
}

uint8_t Chip::ioRead(uint16_t address, uint64_t states) {
    if (address == Sci3::kSsr || address == Sci3::kRdr) lastLineRead_ = states;
    if (sci_.owns(address)) return sci_.read(address, states);
    if (flashController_.owns(address)) return flashController_.read(address);
    return io_[address & 0xFF];
}

// Only SCI3 changes by itself: the flash controller and the plain registers change when
// written. Starting a due byte early is harmless: it carries its own start. A loop that polls
// the line is steady only as far as the line's input is known; beyond that it waits for the
// board to hear the host.
uint64_t Chip::steadyUntil(uint64_t states, uint64_t turnStart) {
    sci_.sync(states);
    const uint64_t change = sci_.nextChange(states);
    if (lastLineRead_ <= turnStart) return change;
    if (states > inputKnown_) {
        parked_ = true;
        return 0;
    }
    return std::min(change, inputKnown_);
}

bool Chip::readChanges(uint16_t address) {
    return address == Sci3::kRdr;  // clears RDRF
}

void Chip::ioWrite(uint16_t address, uint8_t value, uint64_t states) {
    if (sci_.owns(address)) return sci_.write(address, value, states);
    if (flashController_.owns(address)) return flashController_.write(address, value, states);
    io_[address & 0xFF] = value;
}

void Chip::flashWrite(uint16_t address, uint8_t value, uint64_t states) {
    flashController_.flashWrite(address, value, states);
}

uint8_t Chip::flashRead(uint16_t address, uint64_t) {
    return flashController_.flashRead(address);
}

void Chip::flashFetch(uint16_t address, uint64_t) {
    flashController_.flashFetch(address);
}

}  // namespace quill::sim::h8
