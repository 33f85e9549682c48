#include "platform/virtual/virtual_serial_port.h"

#include <algorithm>

#include "platform/virtual/wire.h"

namespace quill {

VirtualSerialPort::VirtualSerialPort(Scheduler& scheduler, std::string name)
    : scheduler_(scheduler), name_(std::move(name)) {}

VirtualSerialPort::~VirtualSerialPort() {
    dropHeld();
}

void VirtualSerialPort::setBufferSizes(int transmitBytes, int receiveBytes) {
    txSize_ = transmitBytes;
    rxSize_ = receiveBytes;
}

bool VirtualSerialPort::setSettings(const std::string& settings) {
    auto parsed = parseLineSettings(settings);
    if (!parsed) {
        error_ = "the settings \"" + settings + "\" are not valid";
        return false;
    }
    if (refuseSettings_ && refuseSettings_(*parsed)) {
        error_ = "the port does not support the settings " + settings;
        return false;
    }
    settingsText_ = settings;
    settings_ = *parsed;
    log(LineEvent::What::Settings, true, settings);
    return true;
}

bool VirtualSerialPort::open() {
    if (open_) return true;
    if (!refuseOpen_.empty()) {
        error_ = refuseOpen_;
        return false;
    }
    return openDevice();
}

bool VirtualSerialPort::openDevice() {
    if (!present_) {
        error_ = "No such file or directory";
        return false;
    }
    open_ = true;
    lost_ = false;
    error_.clear();
    log(LineEvent::What::Open, true);
    notifyLines();
    if (break_ && farEnd_ != nullptr) farEnd_->hostBreak(true);
    return true;
}

void VirtualSerialPort::close() {
    lost_ = false;  // the pending reopen finds nothing to do
    if (!open_) return;
    open_ = false;
    input_.clear();
    dropHeld();
    log(LineEvent::What::Close, false);
    notifyLines();
}

void VirtualSerialPort::setDtr(bool on) {
    dtr_ = on;
    log(LineEvent::What::Dtr, on);
    notifyLines();
}

void VirtualSerialPort::setRts(bool on) {
    rts_ = on;
    log(LineEvent::What::Rts, on);
    notifyLines();
}

void VirtualSerialPort::setBreak(bool on) {
    break_ = on;
    log(LineEvent::What::Break, on);
    if (open_ && farEnd_ != nullptr) farEnd_->hostBreak(on);
}

void VirtualSerialPort::notifyLines() {
    if (farEnd_ != nullptr) farEnd_->hostLines(open_ && dtr_, open_ && rts_);
}

void VirtualSerialPort::log(LineEvent::What what, bool on, std::string settings) {
    lineLog_.push_back({scheduler_.nowNs(), what, on, std::move(settings)});
}

void VirtualSerialPort::write(std::span<const uint8_t> bytes) {
    if (!open_ || bytes.empty()) return;
    const LineSettings sent = settings_;
    const int64_t charNs = sent.charTimeNs();
    // A faulty cable decides each character's fate as it arrives.
    const bool ahead = !wholeWrites_ && cable_ == nullptr && !break_ && farEnd_ != nullptr &&
                       farEnd_->takesCharsAhead();
    for (uint8_t byte : bytes) {
        int64_t start = std::max(scheduler_.nowNs(), txFreeAtNs_);
        int64_t end = start + charNs;
        txFreeAtNs_ = end;
        if (keepTraffic_) traffic_.push_back({start, end, byte, false, sent});
        if (ahead) {
            farEnd_->hostCharAhead(byte, sent, end);
        } else if (!wholeWrites_) {
            scheduleArrival({byte}, end, sent);
        }
    }
    if (wholeWrites_) scheduleArrival({bytes.begin(), bytes.end()}, txFreeAtNs_, sent);
}

void VirtualSerialPort::scheduleArrival(std::vector<uint8_t> bytes, int64_t atNs,
                                        const LineSettings& sent) {
    scheduler_.schedule(atNs - scheduler_.nowNs(), [this, bytes = std::move(bytes), sent] {
        for (uint8_t byte : bytes) {
            if (cable_ == nullptr) {
                deliverToFarEnd(byte, sent);
                continue;
            }
            // A line error on the far end's UART loses the character there.
            const auto arrival = cable_->carry(CableFault::Direction::ToBoard, byte);
            for (size_t i = 0; i < arrival.bytes.size(); ++i) {
                const uint8_t b = arrival.bytes[i];
                if (i == 0) {
                    deliverToFarEnd(b, sent);
                } else {
                    scheduler_.schedule(int64_t(i) * sent.charTimeNs(),
                                        [this, b, sent] { deliverToFarEnd(b, sent); });
                }
            }
        }
    });
}

void VirtualSerialPort::deliverToFarEnd(uint8_t byte, const LineSettings& sent) {
    // A break or a closed port swallows what was still on its way.
    if (open_ && !break_ && farEnd_ != nullptr) farEnd_->hostChar(byte, sent);
}

std::vector<uint8_t> VirtualSerialPort::readAll() {
    std::vector<uint8_t> out(input_.begin(), input_.end());
    input_.clear();
    return out;
}

void VirtualSerialPort::setCtsLine(bool on) {
    if (cts_ == on) return;
    cts_ = on;
    if (open_) post(CommEvent::CtsChanged);
}

void VirtualSerialPort::sendToHost(uint8_t byte, const LineSettings& farSettings, int64_t startNs) {
    int64_t start = std::max(startNs >= 0 ? startNs : scheduler_.nowNs(), rxFreeAtNs_);
    int64_t end = start + farSettings.charTimeNs();
    rxFreeAtNs_ = end;
    if (keepTraffic_) traffic_.push_back({start, end, byte, true, farSettings});
    scheduler_.schedule(end - scheduler_.nowNs(),
                        [this, byte, farSettings] { deliverToHost(byte, farSettings); });
}

void VirtualSerialPort::sendBurstToHost(const std::vector<uint8_t>& bytes,
                                        const LineSettings& farSettings) {
    int64_t start = std::max(scheduler_.nowNs(), rxFreeAtNs_);
    int64_t end = start;
    for (uint8_t byte : bytes) {
        int64_t charEnd = end + farSettings.charTimeNs();
        if (keepTraffic_) traffic_.push_back({end, charEnd, byte, true, farSettings});
        end = charEnd;
    }
    rxFreeAtNs_ = end;
    scheduler_.schedule(end - scheduler_.nowNs(), [this, bytes, farSettings] {
        for (uint8_t byte : bytes) deliverToHost(byte, farSettings);
    });
}

void VirtualSerialPort::queueInput(uint8_t byte) {
    input_.push_back(byte);
    if (!receiveEventPending_ && int(input_.size()) >= threshold_) {
        receiveEventPending_ = true;
        scheduler_.schedule(0, [this] {
            receiveEventPending_ = false;
            if (open_ && !input_.empty()) raise(CommEvent::DataReceived);
        });
    }
}

void VirtualSerialPort::deliverToHost(uint8_t byte, const LineSettings& farSettings) {
    if (!open_) return;
    if (cable_ == nullptr) {
        receiveFromLine(byte, farSettings);
        return;
    }
    const auto arrival = cable_->carry(CableFault::Direction::ToHost, byte);
    if (arrival.lineError) post(arrival.error);
    for (size_t i = 0; i < arrival.bytes.size(); ++i) {
        const uint8_t b = arrival.bytes[i];
        if (i == 0) {
            receiveFromLine(b, farSettings);
        } else {
            scheduler_.schedule(int64_t(i) * farSettings.charTimeNs(), [this, b, farSettings] {
                if (open_) receiveFromLine(b, farSettings);
            });
        }
    }
}

void VirtualSerialPort::receiveFromLine(uint8_t byte, const LineSettings& farSettings) {
    // The adapter's UART reads the character at the settings of the moment; what it holds
    // is bytes, handed over later whatever the settings are then.
    for (const auto& r : wire::receiveChar(byte, farSettings, settings_)) {
        if (adapter_) {
            hold(r);
        } else {
            take(r);
        }
    }
}

void VirtualSerialPort::take(const wire::Received& r) {
    switch (r.kind) {
        case wire::Received::Kind::Byte:
            queueInput(r.byte);
            break;
        case wire::Received::Kind::FramingError:
            post(CommEvent::FramingError);
            break;
        case wire::Received::Kind::ParityError:
            post(CommEvent::ParityError);
            break;
    }
}

void VirtualSerialPort::setAdapter(std::optional<UsbAdapter> adapter) {
    dropHeld();
    adapter_ = adapter;
}

// The timer runs from the first character held, not from the last: a steady stream comes
// over in one batch per timer period.
void VirtualSerialPort::hold(const wire::Received& r) {
    held_.push_back(r);
    if (int(held_.size()) >= kAdapterPacketBytes) {
        handOverHeld();
    } else if (held_.size() == 1) {
        const int timerMs = lowLatency() ? kLowLatencyTimerMs : adapter_->latencyMs;
        handOver_ = scheduler_.schedule(int64_t(timerMs) * kNsPerMs, [this] {
            handOver_ = 0;
            handOverHeld();
        });
    }
}

void VirtualSerialPort::handOverHeld() {
    if (handOver_ != 0) scheduler_.cancel(handOver_);
    handOver_ = 0;
    const std::vector<wire::Received> batch = std::move(held_);
    held_.clear();
    if (!open_) return;
    for (const auto& r : batch) take(r);
}

void VirtualSerialPort::dropHeld() {
    if (handOver_ != 0) scheduler_.cancel(handOver_);
    handOver_ = 0;
    held_.clear();
}

void VirtualSerialPort::post(CommEvent kind) {
    scheduler_.schedule(0, [this, kind] {
        if (open_) raise(kind);
    });
}

void VirtualSerialPort::injectEvent(CommEvent kind) {
    post(kind);
}

void VirtualSerialPort::failDevice(const std::string& reason) {
    present_ = false;
    if (!open_) return;
    open_ = false;
    lost_ = true;
    error_ = reason;
    input_.clear();
    dropHeld();
    log(LineEvent::What::Close, false);
    notifyLines();
    // Heard from the event loop, as a driver reports it, not inside the caller's own call.
    scheduler_.schedule(0, [this] {
        if (lost_) raise(CommEvent::PortLost);
    });
    scheduleReopen();
}

void VirtualSerialPort::scheduleReopen() {
    scheduler_.schedule(kReopenIntervalMs * kNsPerMs, [this] {
        if (!lost_) return;
        if (!present_) {
            scheduleReopen();
            return;
        }
        openDevice();
        raise(CommEvent::PortBack);
    });
}

}  // namespace quill
