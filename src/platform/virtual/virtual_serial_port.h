#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/line_settings.h"
#include "platform/scheduler.h"
#include "platform/serial_port.h"
#include "platform/virtual/cable_faults.h"
#include "platform/virtual/wire.h"

namespace quill {

// The device at the other end of the virtual cable (the virtual board, or a test).
class SerialFarEnd {
  public:
    virtual ~SerialFarEnd() = default;
    // A character from the host has fully arrived (its last stop bit is over). The far end
    // decides with its own UART settings what it reads of it.
    virtual void hostChar(uint8_t byte, const LineSettings& hostSettings) = 0;
    virtual void hostBreak(bool on) = 0;
    // DTR and RTS as the far end sees them: both off while the port is closed.
    virtual void hostLines(bool dtr, bool rts) = 0;
    // A far end that runs ahead of the clock may be told of each character when the host
    // sends it, with the time its last stop bit will be over, instead of by hostChar() then;
    // a break or a close that comes before that time swallows it, which the far end sees
    // through hostBreak() and hostLines().
    virtual bool takesCharsAhead() const { return false; }
    virtual void hostCharAhead(uint8_t, const LineSettings&, int64_t /*arrivalNs*/) {}
};

// A serial port whose cable runs to a SerialFarEnd, on a scheduler. Characters take their
// time on the wire in each direction at the sender's speed, and a receiver at other settings
// reads them garbled. Every line change and every character is logged with its time.
class VirtualSerialPort : public SerialPort {
  public:
    struct LineEvent {
        enum class What { Open, Close, Dtr, Rts, Break, Settings };
        int64_t timeNs;
        What what;
        bool on;
        std::string settings;  // for Settings
    };
    struct WireChar {
        int64_t startNs;
        int64_t endNs;
        uint8_t byte;
        bool toHost;
        LineSettings settings;  // the sender's
    };

    // A USB-serial adapter between the cable and the host. It holds the characters from the
    // far end until its latency timer has run since the first of them was held, or until a
    // USB packet's worth waits, and then hands them over together. Opened in low-latency
    // mode, which the port always asks for, its driver sets the timer to 1 ms, unless the
    // driver has no such mode (grantsLowLatency false).
    struct UsbAdapter {
        int latencyMs = 16;
        bool grantsLowLatency = true;
        friend bool operator==(const UsbAdapter&, const UsbAdapter&) = default;
    };
    static constexpr int kAdapterPacketBytes = 62;
    static constexpr int kLowLatencyTimerMs = 1;

    explicit VirtualSerialPort(Scheduler& scheduler, std::string name = "virtual");
    ~VirtualSerialPort() override;

    // SerialPort
    void selectPort(int number) override { portNumber_ = number; }
    void setBufferSizes(int transmitBytes, int receiveBytes) override;
    void setWholeReads() override {}
    void setReceiveThreshold(int bytes) override { threshold_ = bytes; }
    void setNoSendEvents() override {}
    void setBinaryInput() override {}
    bool setSettings(const std::string& settings) override;
    std::string settings() const override { return settingsText_; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    std::string portName() const override { return name_; }
    std::string errorString() const override { return error_; }
    void setDtr(bool on) override;
    bool dtr() const override { return dtr_; }
    void setRts(bool on) override;
    bool rts() const override { return rts_; }
    void setBreak(bool on) override;
    bool cts() const override { return open_ && cts_; }
    DeviceAccess openAccess() const override { return access_; }
    bool lost() const override { return lost_; }
    using SerialPort::write;
    void write(std::span<const uint8_t> bytes) override;
    std::vector<uint8_t> readAll() override;

    // The far end's side of the cable.
    void attach(SerialFarEnd* farEnd) { farEnd_ = farEnd; }
    void setCtsLine(bool on);
    // Sends one character towards the host with the far end's own settings; its start bit
    // at `startNs` if given (a far end that runs behind the clock), else now, and never before
    // the line is free.
    void sendToHost(uint8_t byte, const LineSettings& farSettings, int64_t startNs = -1);
    // Sends characters back to back, but the host's driver hands them over in one batch
    // when the last has arrived (as a driver that buffers does): one DataReceived event.
    void sendBurstToHost(const std::vector<uint8_t>& bytes, const LineSettings& farSettings);
    // A line error the far end causes on the host's side (a test's fault injection).
    void injectEvent(CommEvent kind);
    // The device goes away as a pulled-out USB adapter does: the port closes with one
    // PortLost event and tries every kReopenIntervalMs to open it again, which succeeds once
    // restoreDevice() has brought it back.
    void failDevice(const std::string& reason);
    void restoreDevice() { present_ = true; }
    // Every character on the cable passes through `faults` (nullptr: a sound cable).
    void setCableFaults(CableFaults* faults) { cable_ = faults; }

    // Puts an adapter on the cable (nullopt: the port's own UART, which hands each character
    // over as it arrives).
    void setAdapter(std::optional<UsbAdapter> adapter);
    // The port is open in low-latency mode: it asked at its open and the driver took it.
    bool lowLatency() const { return open_ && adapter_ && adapter_->grantsLowLatency; }

    // What tests may force on the host's side.
    void refuseOpen(const std::string& reason) { refuseOpen_ = reason; }
    // open() fails as on a device that only members of `group` may use.
    void denyAccess(const std::string& group) {
        refuseOpen_ = "Permission denied";
        access_ = {true, group};
    }
    void refuseSettings(std::function<bool(const LineSettings&)> refused) {
        refuseSettings_ = std::move(refused);
    }

    // Observation.
    const std::vector<LineEvent>& lineLog() const { return lineLog_; }
    const std::vector<WireChar>& traffic() const { return traffic_; }
    void keepTraffic(bool keep) { keepTraffic_ = keep; }
    // The far end gets the characters of one write together, when the last has arrived,
    // instead of each as it arrives: one wake-up per block record instead of 137 in real
    // time. Only a far end that acts on nothing but whole records and single-byte writes
    // (the virtual board) sees no difference in what it answers or when.
    void deliverWholeWrites(bool whole) { wholeWrites_ = whole; }
    const LineSettings& lineSettings() const { return settings_; }
    int portNumber() const { return portNumber_; }
    int transmitBufferSize() const { return txSize_; }
    int receiveBufferSize() const { return rxSize_; }
    bool breakOn() const { return break_; }

  private:
    void log(LineEvent::What what, bool on, std::string settings = {});
    void notifyLines();
    void deliverToHost(uint8_t byte, const LineSettings& farSettings);
    void receiveFromLine(uint8_t byte, const LineSettings& farSettings);
    void deliverToFarEnd(uint8_t byte, const LineSettings& sent);
    void queueInput(uint8_t byte);
    void take(const wire::Received& r);
    void hold(const wire::Received& r);
    void handOverHeld();
    void dropHeld();
    void scheduleArrival(std::vector<uint8_t> bytes, int64_t atNs, const LineSettings& sent);
    void post(CommEvent kind);
    bool openDevice();
    void scheduleReopen();

    Scheduler& scheduler_;
    std::string name_;
    SerialFarEnd* farEnd_ = nullptr;
    CableFaults* cable_ = nullptr;
    int portNumber_ = 0;
    int txSize_ = 0;
    int rxSize_ = 0;
    int threshold_ = 1;
    std::string settingsText_ = "9600,N,8,1";
    LineSettings settings_{9600, 'N', 8, 1};
    std::string error_;
    std::string refuseOpen_;
    std::function<bool(const LineSettings&)> refuseSettings_;
    DeviceAccess access_;
    bool open_ = false;
    bool present_ = true;  // the device is there to be opened
    bool lost_ = false;
    bool dtr_ = false;
    bool rts_ = false;
    bool break_ = false;
    bool cts_ = false;
    int64_t txFreeAtNs_ = 0;
    int64_t rxFreeAtNs_ = 0;
    bool receiveEventPending_ = false;
    std::deque<uint8_t> input_;
    std::vector<LineEvent> lineLog_;
    std::vector<WireChar> traffic_;
    bool keepTraffic_ = true;
    bool wholeWrites_ = false;
    std::optional<UsbAdapter> adapter_;
    std::vector<wire::Received> held_;
    Scheduler::Handle handOver_ = 0;
};

}  // namespace quill
