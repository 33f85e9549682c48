#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace quill {

// The kinds of event the serial port reports on the user-interface thread.
enum class CommEvent {
    DataReceived,
    CtsChanged,
    DsrChanged,
    CarrierDetectChanged,
    Ring,
    EndOfFileChar,
    // line errors
    BreakReceived,
    FramingError,
    Overrun,
    ReceiveBufferOverflow,
    ParityError,
    TransmitBufferFull,
    OtherError,
    // The device failed (a USB adapter pulled out): the port is closed, and the platform
    // tries to reopen the same device every kReopenIntervalMs.
    PortLost,
    // The lost device opened again, with the line settings, DTR, RTS and break it had.
    PortBack,
};

inline constexpr int kReopenIntervalMs = 1000;

// Whether this user may read and write a port's device.
struct DeviceAccess {
    bool denied = false;
    // When denied: the group whose members may (dialout for serial devices on most Linux
    // systems); empty when no group membership would help.
    std::string group;
};

bool isLineError(CommEvent kind);
const char* commEventName(CommEvent kind);

// The program's one serial port. Every call comes from the user-interface thread, and the
// comm event handler is called there too, once per event.
class SerialPort {
  public:
    using EventHandler = std::function<void(CommEvent)>;

    virtual ~SerialPort() = default;

    virtual void selectPort(int number) = 0;
    virtual void setBufferSizes(int transmitBytes, int receiveBytes) = 0;
    // A read returns every byte waiting, however many.
    virtual void setWholeReads() = 0;
    // Raise DataReceived whenever new bytes have arrived and at least this many wait.
    virtual void setReceiveThreshold(int bytes) = 0;
    // No event when the transmit buffer empties.
    virtual void setNoSendEvents() = 0;
    virtual void setBinaryInput() = 0;
    // A settings text such as "38400,N,8,1" (speed, parity, data bits, stop bits). It takes
    // effect at once, also while the port is open. False when the port refuses it; the
    // reason is then in errorString().
    virtual bool setSettings(const std::string& settings) = 0;
    virtual std::string settings() const = 0;

    // False when the port cannot be opened; the reason is then in errorString().
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The device the port number stands for, e.g. /dev/ttyS0, COM1 or sim.
    virtual std::string portName() const = 0;
    virtual std::string errorString() const = 0;
    // After a failed open(): whether it failed because this user may not use the device.
    virtual DeviceAccess openAccess() const { return {}; }
    // Lost (PortLost came, PortBack not yet): the port is closed and the platform is trying
    // to reopen it. close() ends the trying.
    virtual bool lost() const { return false; }

    virtual void setDtr(bool on) = 0;
    virtual bool dtr() const = 0;
    virtual void setRts(bool on) = 0;
    virtual bool rts() const = 0;
    virtual void setBreak(bool on) = 0;
    virtual bool cts() const = 0;

    // Bytes go out in order; the call does not wait for them to leave.
    virtual void write(std::span<const uint8_t> bytes) = 0;
    void write(uint8_t byte) { write(std::span<const uint8_t>(&byte, 1)); }
    // Removes and returns every byte waiting, possibly none.
    virtual std::vector<uint8_t> readAll() = 0;

    void setEventHandler(EventHandler handler) { handler_ = std::move(handler); }

  protected:
    void raise(CommEvent kind) {
        if (handler_) handler_(kind);
    }

  private:
    EventHandler handler_;
};

}  // namespace quill
