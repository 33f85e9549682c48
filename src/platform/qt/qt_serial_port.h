#pragma once

#include <QSerialPort>
#include <QTimer>
#include <array>
#include <optional>
#include <string>

#include "platform/line_settings.h"
#include "platform/qt/low_latency.h"
#include "platform/serial_port.h"

namespace quill {

// The device that port `number` stands for: for port 1 the value of QUILLMONT_PORT when it
// is set (passed in as `configured`, null when unset), else the host's first serial port;
// port n > 1 is the host's n-th port. COM1, COM2 ... on Windows, /dev/ttyS0 ... elsewhere.
std::string hostPortName(int number, const char* configured);

// The host's serial port behind QSerialPort. Qt reports received data and device failures
// itself; the modem-status changes and the line errors it does not report are found by a
// poll while the port is open. A device that fails is closed and tried again every
// kReopenIntervalMs until it opens.
class QtSerialPort : public SerialPort {
  public:
    static constexpr int kPollIntervalMs = 25;

    QtSerialPort();
    // The same with the device control requests of low-latency mode going to `deviceControl`.
    explicit QtSerialPort(LowLatencyMode::Ioctl deviceControl);
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    void selectPort(int number) override;
    void setBufferSizes(int transmitBytes, int receiveBytes) override;
    void setWholeReads() override {}
    void setReceiveThreshold(int bytes) override { threshold_ = bytes > 0 ? bytes : 1; }
    void setNoSendEvents() override {}
    void setBinaryInput() override {}
    bool setSettings(const std::string& settings) override;
    std::string settings() const override { return settingsText_; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    std::string portName() const override { return name_; }
    std::string errorString() const override { return error_; }
    DeviceAccess openAccess() const override { return access_; }
    bool lost() const override { return lost_; }
    void setDtr(bool on) override;
    bool dtr() const override { return dtr_; }
    void setRts(bool on) override;
    bool rts() const override { return rts_; }
    void setBreak(bool on) override;
    bool cts() const override;
    using SerialPort::write;
    void write(std::span<const uint8_t> bytes) override;
    std::vector<uint8_t> readAll() override;

    // Runs one poll of the pins and the error counters now (the timer does it every
    // kPollIntervalMs while the port is open).
    void poll();
    // The device runs in low-latency mode, asked for when the port opened.
    bool lowLatency() const { return lowLatency_.active(); }

  private:
    // The driver's line-error counters: frame, parity, overrun, break, buffer overrun.
    using ErrorCounts = std::array<int, 5>;

    bool apply(const LineSettings& settings);
    bool openDevice();
    void tryReopen();
    void onPortError(QSerialPort::SerialPortError error);
    void failDevice();
    std::optional<ErrorCounts> readErrorCounts();
    void raiseQueued(CommEvent kind);

    // Reading the pins is not const in QSerialPort.
    mutable QSerialPort port_;
    QTimer pollTimer_;
    QTimer reopenTimer_;
    std::string name_;
    std::string error_;
    DeviceAccess access_;
    std::string settingsText_ = "9600,N,8,1";
    LineSettings settings_{9600, 'N', 8, 1};
    int threshold_ = 1;
    bool dtr_ = false;
    bool rts_ = false;
    bool break_ = false;
    bool opening_ = false;  // errors during open() are open()'s result, not events
    bool lost_ = false;
    QSerialPort::PinoutSignals lastPins_;
    bool countersSupported_ = true;
    ErrorCounts lastCounts_{};
    LowLatencyMode lowLatency_;
};

}  // namespace quill
