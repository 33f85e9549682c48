#include "platform/qt/qt_serial_port.h"

#include <QMetaObject>
#include <cstdlib>

#include "platform/qt/host_device.h"

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#endif

namespace quill {

std::string hostPortName(int number, const char* configured) {
    if (number < 1) return "";
    if (number == 1 && configured && *configured) return configured;
#ifdef _WIN32
    return "COM" + std::to_string(number);
#else
    return "/dev/ttyS" + std::to_string(number - 1);
#endif
}

namespace {

QSerialPort::Parity qtParity(char letter) {
    switch (letter) {
        case 'E':
            return QSerialPort::EvenParity;
        case 'O':
            return QSerialPort::OddParity;
        case 'M':
            return QSerialPort::MarkParity;
        case 'S':
            return QSerialPort::SpaceParity;
        default:
            return QSerialPort::NoParity;
    }
}

// The line errors in the order of ErrorCounts.
constexpr std::array<CommEvent, 5> kCounterEvents = {
    CommEvent::FramingError, CommEvent::ParityError, CommEvent::Overrun, CommEvent::BreakReceived,
    CommEvent::ReceiveBufferOverflow};

}  // namespace

QtSerialPort::QtSerialPort() : QtSerialPort(LowLatencyMode::systemIoctl()) {}

QtSerialPort::QtSerialPort(LowLatencyMode::Ioctl deviceControl)
    : lowLatency_(std::move(deviceControl)) {
    port_.setFlowControl(QSerialPort::NoFlowControl);
    apply(settings_);
    QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] {
        if (port_.bytesAvailable() >= threshold_) raise(CommEvent::DataReceived);
    });
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError error) { onPortError(error); });
    pollTimer_.setInterval(kPollIntervalMs);
    QObject::connect(&pollTimer_, &QTimer::timeout, &pollTimer_, [this] { poll(); });
    reopenTimer_.setInterval(kReopenIntervalMs);
    QObject::connect(&reopenTimer_, &QTimer::timeout, &reopenTimer_, [this] { tryReopen(); });
}

QtSerialPort::~QtSerialPort() {
    pollTimer_.stop();
    reopenTimer_.stop();
    // Closing emits no event that could reach a handler of a half-destroyed program.
    QObject::disconnect(&port_, nullptr, nullptr, nullptr);
    lowLatency_.restore();
    if (port_.isOpen()) port_.close();
}

void QtSerialPort::selectPort(int number) {
    name_ = hostPortName(number, std::getenv("QUILLMONT_PORT"));
}

// The driver keeps its own buffers; a read buffer limit in Qt would only leave bytes waiting
// in the driver, and an overflow there is reported through the error counters.
void QtSerialPort::setBufferSizes(int, int) {
    port_.setReadBufferSize(0);
}

bool QtSerialPort::setSettings(const std::string& settings) {
    auto parsed = parseLineSettings(settings);
    if (!parsed) {
        error_ = "\"" + settings + "\" is not a settings text (speed,parity,data,stop)";
        return false;
    }
    if (!apply(*parsed)) {
        error_ = "the port refused \"" + settings + "\": " + port_.errorString().toStdString();
        apply(settings_);  // best effort: back to what the line had
        return false;
    }
    settings_ = *parsed;
    settingsText_ = settings;
    return true;
}

// Before open() QSerialPort only keeps the values and applies them when it opens the port.
bool QtSerialPort::apply(const LineSettings& s) {
    bool ok = port_.setBaudRate(s.speed);
    ok = port_.setDataBits(QSerialPort::DataBits(s.dataBits)) && ok;
    ok = port_.setParity(qtParity(s.parity)) && ok;
    ok = port_.setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) && ok;
    return ok;
}

bool QtSerialPort::open() {
    if (port_.isOpen()) return true;
    if (name_.empty()) {
        error_ = "no serial port is selected";
        return false;
    }
    return openDevice();
}

bool QtSerialPort::openDevice() {
    port_.setPortName(QString::fromStdString(name_));
    opening_ = true;
    const bool ok = port_.open(QIODevice::ReadWrite);
    opening_ = false;
    if (!ok) {
        error_ = port_.errorString().toStdString();
        access_ = deviceAccess(name_);
        return false;
    }
    lost_ = false;
    reopenTimer_.stop();
    error_.clear();
    access_ = {};
#ifdef __linux__
    // The adapter's latency timer, not the line, would set the pace of every echo and answer.
    lowLatency_.enable(int(port_.handle()));
#endif
    port_.setDataTerminalReady(dtr_);
    port_.setRequestToSend(rts_);
    if (break_) port_.setBreakEnabled(true);
    lastPins_ = port_.pinoutSignals();
    countersSupported_ = true;
    if (auto counts = readErrorCounts()) lastCounts_ = *counts;
    pollTimer_.start();
    return true;
}

void QtSerialPort::close() {
    pollTimer_.stop();
    reopenTimer_.stop();
    lost_ = false;
    lowLatency_.restore();
    if (port_.isOpen()) port_.close();
}

void QtSerialPort::setDtr(bool on) {
    dtr_ = on;
    if (port_.isOpen()) port_.setDataTerminalReady(on);
}

void QtSerialPort::setRts(bool on) {
    rts_ = on;
    if (port_.isOpen()) port_.setRequestToSend(on);
}

void QtSerialPort::setBreak(bool on) {
    break_ = on;
    if (port_.isOpen()) port_.setBreakEnabled(on);
}

bool QtSerialPort::cts() const {
    if (!port_.isOpen()) return false;
    return port_.pinoutSignals().testFlag(QSerialPort::ClearToSendSignal);
}

void QtSerialPort::write(std::span<const uint8_t> bytes) {
    if (!port_.isOpen() || bytes.empty()) return;
    port_.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

std::vector<uint8_t> QtSerialPort::readAll() {
    if (!port_.isOpen()) return {};
    const QByteArray data = port_.readAll();
    return std::vector<uint8_t>(data.begin(), data.end());
}

void QtSerialPort::poll() {
    if (!port_.isOpen()) return;
    if (auto counts = readErrorCounts()) {
        for (size_t i = 0; i < counts->size(); ++i) {
            if ((*counts)[i] != lastCounts_[i]) raise(kCounterEvents[i]);
        }
        lastCounts_ = *counts;
    }
    if (!port_.isOpen()) return;  // a handler may have closed it
    const QSerialPort::PinoutSignals pins = port_.pinoutSignals();
    if (!port_.isOpen()) return;
    const QSerialPort::PinoutSignals changed = pins ^ lastPins_;
    const bool ringRose = (pins & ~lastPins_).testFlag(QSerialPort::RingIndicatorSignal);
    lastPins_ = pins;
    if (changed.testFlag(QSerialPort::ClearToSendSignal)) raise(CommEvent::CtsChanged);
    if (changed.testFlag(QSerialPort::DataSetReadySignal)) raise(CommEvent::DsrChanged);
    if (changed.testFlag(QSerialPort::DataCarrierDetectSignal))
        raise(CommEvent::CarrierDetectChanged);
    if (ringRose) raise(CommEvent::Ring);
}

std::optional<QtSerialPort::ErrorCounts> QtSerialPort::readErrorCounts() {
#ifdef __linux__
    if (!countersSupported_ || !port_.isOpen()) return std::nullopt;
    serial_icounter_struct icount{};
    if (::ioctl(int(port_.handle()), TIOCGICOUNT, &icount) != 0) {
        // Drivers without the counters (pseudo-terminals, some USB adapters) say so once.
        if (errno == ENOTTY || errno == EINVAL) countersSupported_ = false;
        return std::nullopt;
    }
    return ErrorCounts{icount.frame, icount.parity, icount.overrun, icount.brk, icount.buf_overrun};
#else
    return std::nullopt;
#endif
}

void QtSerialPort::onPortError(QSerialPort::SerialPortError error) {
    if (opening_ || lost_) return;
    switch (error) {
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
            failDevice();
            break;
        default:
            // Refused settings and calls on a closed port are results, not line events.
            break;
    }
}

// A device that fails (a USB adapter pulled out) is closed at once, as Qt asks, so that
// later writes go nowhere instead of failing again; the program hears of it once, and of
// its return once. The adapter usually comes back under the same name when it is plugged
// in again (always so for a /dev/serial/by-id link).
void QtSerialPort::failDevice() {
    lost_ = true;
    error_ = port_.errorString().toStdString();
    pollTimer_.stop();
    lowLatency_.restore();
    if (port_.isOpen()) port_.close();
    raiseQueued(CommEvent::PortLost);
    reopenTimer_.start();
}

// QSerialPort kept the line settings; openDevice() puts DTR, RTS and break back.
void QtSerialPort::tryReopen() {
    if (!lost_) return;
    const std::string reason = error_;
    if (!openDevice()) {
        error_ = reason;  // why it was lost stays the reason while it is away
        return;
    }
    raise(CommEvent::PortBack);
}

// QSerialPort can report a failure inside one of our own calls (a write, a pin read); the
// program hears of it from the event loop, as of any other event, not in the middle of it.
void QtSerialPort::raiseQueued(CommEvent kind) {
    QMetaObject::invokeMethod(
        &port_, [this, kind] { raise(kind); }, Qt::QueuedConnection);
}

}  // namespace quill
