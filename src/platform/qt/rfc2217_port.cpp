#include "platform/qt/rfc2217_port.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <cstdio>

namespace quill {

namespace {

// SET-CONTROL values come in threes (flow control, break, DTR, RTS, inbound flow control):
// a server's answer confirms the latest request of its three.
int controlGroup(uint8_t value) {
    return value == 0 ? 0 : (value - 1) / 3;
}

std::string printable(const QByteArray& bytes) {
    std::string text;
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!text.empty() && text.back() != ' ') text += ' ';
        } else if (c >= ' ' && c <= '~') {
            text += c;
        }
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

Rfc2217Port::Rfc2217Port(std::string name) : name_(std::move(name)) {
    if (auto parsed = parseRfc2217Name(name_); parsed.address) address_ = parsed.address;
    QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] {
        if (open_) {
            pump();
        } else if (lost_) {
            reconnectInput();
        }
    });
    QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] {
        if (!lost_) return;
        socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        send(session_.start());
    });
    QObject::connect(&socket_, &QTcpSocket::disconnected, &socket_, [this] {
        if (open_) connectionLost();
    });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_, [this] {
        if (open_ && socket_.state() != QAbstractSocket::ConnectedState) connectionLost();
    });
    reconnectTimer_.setInterval(kReopenIntervalMs);
    QObject::connect(&reconnectTimer_, &QTimer::timeout, &reconnectTimer_,
                     [this] { tryReconnect(); });
}

Rfc2217Port::~Rfc2217Port() {
    reconnectTimer_.stop();
    QObject::disconnect(&socket_, nullptr, nullptr, nullptr);
    socket_.abort();
}

bool Rfc2217Port::setSettings(const std::string& settings) {
    auto parsed = parseLineSettings(settings);
    if (!parsed) {
        error_ = "\"" + settings + "\" is not a settings text (speed,parity,data,stop)";
        return false;
    }
    settings_ = *parsed;
    settingsText_ = settings;
    if (open_ && !failed_) {
        send(rfc2217::lineSettingsMessages(session_, settings_, sentSettings_));
        sentSettings_ = settings_;
    }
    return true;
}

bool Rfc2217Port::fail(const std::string& why) {
    error_ = why;
    socket_.abort();
    return false;
}

bool Rfc2217Port::open() {
    if (open_) return true;
    if (!address_) return fail(parseRfc2217Name(name_).error);
    const std::string where = address_->text();
    session_ = rfc2217::Session(rfc2217::Session::Role::Client);
    input_.clear();
    unconfirmed_.clear();
    modemState_ = 0;
    sentSettings_.reset();
    failed_ = false;
    lost_ = false;
    reconnectTimer_.stop();
    ++ownWaits_;
    struct Leave {
        int& count;
        ~Leave() { --count; }
    } leave{ownWaits_};

    socket_.connectToHost(QString::fromStdString(address_->host), address_->port);
    if (!socket_.waitForConnected(kConnectTimeoutMs))
        return fail("cannot connect to " + where + ": " + socket_.errorString().toStdString());
    // Each echoed byte of the boot transfer is a round trip: no waiting for a full segment.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    send(session_.start());

    // Anything the server says before it agrees is kept: a busy server explains itself.
    QByteArray early;
    const QDeadlineTimer deadline(kNegotiationTimeoutMs);
    while (!session_.comPortReady()) {
        if (session_.comPortRefused())
            return fail("the server at " + where + " refuses RFC 2217 (COM-PORT-OPTION)");
        if (socket_.bytesAvailable() == 0 && !socket_.waitForReadyRead(int(deadline.remainingTime()))) {
            if (socket_.state() != QAbstractSocket::ConnectedState) {
                const std::string said = printable(early);
                return fail("the server at " + where + " closed the connection" +
                            (said.empty() ? "" : ": " + said));
            }
            if (deadline.hasExpired())
                return fail("the server at " + where +
                            " does not answer RFC 2217's COM-PORT-OPTION (not a Telnet RFC "
                            "2217 server?)");
            continue;
        }
        const QByteArray bytes = socket_.readAll();
        auto in = session_.receive(
            std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
        send(in.reply);
        early.append(reinterpret_cast<const char*>(in.data.data()), qsizetype(in.data.size()));
        input_.insert(input_.end(), in.data.begin(), in.data.end());
        for (const auto& message : in.messages) handle(message);
    }

    bringUpLine(true);
    if (!input_.empty()) deliver(CommEvent::DataReceived);
    return open_;
}

void Rfc2217Port::bringUpLine(bool awaitConfirmation) {
    open_ = true;
    failed_ = false;
    error_.clear();
    send(rfc2217::lineSettingsMessages(session_, settings_, std::nullopt));
    sentSettings_ = settings_;
    send(session_.message(rfc2217::kSetLineStateMask, rfc2217::kLineErrors));
    send(session_.message(rfc2217::kSetModemStateMask, rfc2217::kAllModemLines));
    // Whatever the device received before this program came belongs to no one.
    send(session_.message(rfc2217::kPurgeData, rfc2217::kPurgeBoth));
    // The board's CTS is its power, no handshake: a server that held data back for it
    // would stall a write to an unpowered board.
    control(rfc2217::kNoFlowControl);
    control(dtr_ ? rfc2217::kDtrOn : rfc2217::kDtrOff);
    control(rts_ ? rfc2217::kRtsOn : rfc2217::kRtsOff);
    if (break_) control(rfc2217::kBreakOn);
    if (awaitConfirmation) {
        awaitConfirmations();
    } else {
        unconfirmed_.clear();
    }
}

// Every interval, a fresh attempt: a connection still being made after a whole interval
// goes to a host that does not answer, and is begun again.
void Rfc2217Port::tryReconnect() {
    if (!lost_ || !address_) return;
    socket_.abort();
    session_ = rfc2217::Session(rfc2217::Session::Role::Client);
    socket_.connectToHost(QString::fromStdString(address_->host), address_->port);
}

// The negotiation of a connection made again, as it comes, without waiting in a loop.
void Rfc2217Port::reconnectInput() {
    const QByteArray bytes = socket_.readAll();
    auto in = session_.receive(
        std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
    send(in.reply);
    for (const auto& message : in.messages) handle(message);
    if (!session_.comPortReady()) return;
    lost_ = false;
    reconnectTimer_.stop();
    bringUpLine(false);
    raise(CommEvent::PortBack);
    if (!in.data.empty()) {
        input_.insert(input_.end(), in.data.begin(), in.data.end());
        raise(CommEvent::DataReceived);
    }
}

void Rfc2217Port::close() {
    open_ = false;
    lost_ = false;
    reconnectTimer_.stop();
    if (socket_.state() == QAbstractSocket::ConnectedState) {
        socket_.flush();
        socket_.disconnectFromHost();
    }
    if (socket_.state() != QAbstractSocket::UnconnectedState) socket_.abort();
    input_.clear();
}

void Rfc2217Port::setDtr(bool on) {
    dtr_ = on;
    if (open_) {
        control(on ? rfc2217::kDtrOn : rfc2217::kDtrOff);
        awaitConfirmations();
    }
}

void Rfc2217Port::setRts(bool on) {
    rts_ = on;
    if (open_) {
        control(on ? rfc2217::kRtsOn : rfc2217::kRtsOff);
        awaitConfirmations();
    }
}

void Rfc2217Port::setBreak(bool on) {
    break_ = on;
    if (open_) {
        control(on ? rfc2217::kBreakOn : rfc2217::kBreakOff);
        awaitConfirmations();
    }
}

void Rfc2217Port::control(uint8_t value) {
    if (failed_) return;
    send(session_.message(rfc2217::kSetControl, value));
    if (serverConfirms_) unconfirmed_.push_back(value);
}

// The delay after a line change starts only when the board has seen it, so that no pulse is
// shorter at the board than the write asks. Only the socket is served meanwhile: a round
// trip, well under a millisecond on a local network.
bool Rfc2217Port::awaitConfirmations() {
    if (unconfirmed_.empty() || failed_) return true;
    ++ownWaits_;
    const QDeadlineTimer deadline(kConfirmTimeoutMs);
    while (!unconfirmed_.empty() && !failed_ && !deadline.hasExpired()) {
        if (pump()) continue;
        if (socket_.state() != QAbstractSocket::ConnectedState) break;
        socket_.waitForReadyRead(int(deadline.remainingTime()));
        if (!pump() && socket_.state() != QAbstractSocket::ConnectedState) connectionLost();
    }
    --ownWaits_;
    if (unconfirmed_.empty() || failed_) return true;
    unconfirmed_.clear();
    serverConfirms_ = false;
    notice(name_ + ": the server did not confirm the line change within " +
           std::to_string(kConfirmTimeoutMs) +
           " ms (a device without modem lines?); line changes are no longer awaited");
    return false;
}

bool Rfc2217Port::pump() {
    const QByteArray bytes = socket_.readAll();
    if (bytes.isEmpty()) return false;
    auto in = session_.receive(
        std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
    send(in.reply);
    for (const auto& message : in.messages) handle(message);
    if (!in.data.empty()) {
        input_.insert(input_.end(), in.data.begin(), in.data.end());
        if (input_.size() >= size_t(threshold_)) deliver(CommEvent::DataReceived);
    }
    return true;
}

void Rfc2217Port::handle(const rfc2217::ComPortMessage& message) {
    if (message.value.empty()) return;
    const uint8_t value = message.value[0];
    switch (message.command) {
        case rfc2217::kSetControl:
            for (auto it = unconfirmed_.begin(); it != unconfirmed_.end(); ++it) {
                if (controlGroup(*it) == controlGroup(value)) {
                    unconfirmed_.erase(it);
                    break;
                }
            }
            break;
        case rfc2217::kNotifyModemState: {
            const bool ctsBefore = (modemState_ & rfc2217::kModemCts) != 0;
            modemState_ = value;
            if (open_ && ctsBefore != ((value & rfc2217::kModemCts) != 0))
                deliver(CommEvent::CtsChanged);
            break;
        }
        case rfc2217::kNotifyLineState:
            if (!open_) break;
            if (value & rfc2217::kLineOverrun) deliver(CommEvent::Overrun);
            if (value & rfc2217::kLineParity) deliver(CommEvent::ParityError);
            if (value & rfc2217::kLineFraming) deliver(CommEvent::FramingError);
            if (value & rfc2217::kLineBreak) deliver(CommEvent::BreakReceived);
            break;
        default:
            break;  // the echoes of the line settings, masks and purges
    }
}

// A connection lost is a device that failed: the port closes and says so once, so that a
// write ends with its line-error code instead of waiting, and the connection is tried again.
void Rfc2217Port::connectionLost() {
    if (failed_) return;
    failed_ = true;
    open_ = false;
    lost_ = true;
    unconfirmed_.clear();
    modemState_ = 0;
    error_ = "the connection to " + (address_ ? address_->text() : name_) + " was lost";
    socket_.abort();
    deliver(CommEvent::PortLost);
    reconnectTimer_.start();
}

// Inside the port's own waits the program is in the middle of a call to the port; it hears
// of the event from the event loop instead, as of any other.
void Rfc2217Port::deliver(CommEvent kind) {
    if (ownWaits_ == 0) {
        raise(kind);
        return;
    }
    QMetaObject::invokeMethod(
        &socket_, [this, kind] { raise(kind); }, Qt::QueuedConnection);
}

void Rfc2217Port::send(const std::vector<uint8_t>& bytes) {
    if (bytes.empty() || socket_.state() != QAbstractSocket::ConnectedState) return;
    socket_.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    socket_.flush();
}

void Rfc2217Port::write(std::span<const uint8_t> bytes) {
    if (!open_ || failed_ || bytes.empty()) return;
    send(session_.data(bytes));
}

std::vector<uint8_t> Rfc2217Port::readAll() {
    std::vector<uint8_t> out(input_.begin(), input_.end());
    input_.clear();
    return out;
}

void Rfc2217Port::notice(const std::string& text) {
    if (notice_) {
        notice_(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

}  // namespace quill
