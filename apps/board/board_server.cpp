#include "board/board_server.h"

#include <QHostAddress>
#include <QHostInfo>
#include <cinttypes>
#include <filesystem>
#include <fstream>

namespace quill::board {

namespace {

std::string peerName(const QTcpSocket& socket) {
    HostPort peer{socket.peerAddress().toString().toStdString(), socket.peerPort()};
    return peer.text();
}

// A name (localhost) is looked up once; an address stays as it is.
QHostAddress hostAddress(const std::string& host) {
    QHostAddress address;
    if (address.setAddress(QString::fromStdString(host))) return address;
    const QHostInfo info = QHostInfo::fromName(QString::fromStdString(host));
    return info.addresses().isEmpty() ? QHostAddress() : info.addresses().first();
}

}  // namespace

BoardServer::BoardServer(Scheduler& scheduler, const BoardServerOptions& options, std::FILE* out,
                         std::FILE* err)
    : scheduler_(scheduler), options_(options), out_(out), err_(err), port_(scheduler, "network") {
    // A server may run for months: keep no log of every character on the virtual wire.
    port_.keepTraffic(false);
    // A wake-up per block record, not per character, where the stand-in kernel answers whole
    // records only; a program on the emulated chip sees each character as it arrives (its
    // SCI3 would overrun on a whole record at once).
    const auto boardOptions = sim::parseBoardOptions(options_.simOptions).options;
    port_.deliverWholeWrites(boardOptions.kernel == sim::BoardOptions::Kernel::Model);
    board_ = std::make_unique<sim::Board>(scheduler_, port_, boardOptions);
    board_->keepEvents(false);
    if (options_.verbose)
        board_->setEventListener([this](const sim::BoardEvent& event) { printEvent(event); });
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { incoming(); });
}

BoardServer::~BoardServer() {
    QObject::disconnect(&server_, nullptr, nullptr, nullptr);
    if (client_) {
        QObject::disconnect(client_, nullptr, nullptr, nullptr);
        session_.reset();
        client_->abort();
        delete client_;
    }
}

bool BoardServer::listen() {
    const QHostAddress address = hostAddress(options_.listen.host);
    if (address.isNull()) {
        error_ = "no such host " + options_.listen.host;
        return false;
    }
    if (!server_.listen(address, options_.listen.port)) {
        error_ = server_.errorString().toStdString();
        return false;
    }
    return true;
}

HostPort BoardServer::address() const {
    return {server_.serverAddress().toString().toStdString(), server_.serverPort()};
}

void BoardServer::incoming() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (client_) {
            refuse(socket);
        } else {
            accept(socket);
        }
    }
}

void BoardServer::accept(QTcpSocket* socket) {
    client_ = socket;
    clientName_ = peerName(*socket);
    // Each echoed byte of the boot transfer is a round trip: no waiting for a full segment.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (options_.verbose) say(out_, "client " + clientName_ + " connected");
    session_ =
        std::make_unique<sim::ComPortServer>(port_, [socket](const std::vector<uint8_t>& bytes) {
            if (socket->state() != QAbstractSocket::ConnectedState) return;
            socket->write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
            socket->flush();
        });
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] { received(); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] { dropped(); });
    if (socket->bytesAvailable() > 0) received();
}

// The board has one cable: a second client hears why it cannot have it, in plain text that a
// Telnet client shows, and is let go.
void BoardServer::refuse(QTcpSocket* socket) {
    const std::string who = peerName(*socket);
    const std::string why = "quillmont-board: the board is busy: " + clientName_ +
                            " is connected; one client at a time";
    say(err_, "refused " + who + ": " + clientName_ + " is connected");
    const std::string line = why + "\r\n";
    socket->write(line.data(), qint64(line.size()));
    socket->flush();
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
}

void BoardServer::received() {
    if (!client_ || !session_) return;
    const QByteArray bytes = client_->readAll();
    session_->receive(
        std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
}

// A client that goes leaves the board as a pulled cable would: both lines off.
void BoardServer::dropped() {
    if (!client_) return;
    session_.reset();
    QObject::disconnect(client_, nullptr, nullptr, nullptr);
    client_->deleteLater();
    client_ = nullptr;
    if (options_.verbose) say(out_, "client " + clientName_ + " disconnected");
    clientName_.clear();
    const bool dumped = dumpFlash();
    if (options_.once && finished_) {
        if (!dumped) error_ = "the flash dump failed";
        finished_();
    }
}

// Written beside the file and renamed over it, so that a reader never sees half a dump.
bool BoardServer::dumpFlash() {
    if (options_.dumpFlash.empty()) return true;
    const std::string partial = options_.dumpFlash + ".part";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        const auto& bytes = board_->flash().bytes();
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (file.close(), !file) {
            say(err_, "cannot write the flash dump " + options_.dumpFlash);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(partial, options_.dumpFlash, ec);
    if (ec) {
        say(err_, "cannot write the flash dump " + options_.dumpFlash + ": " + ec.message());
        return false;
    }
    return true;
}

void BoardServer::say(std::FILE* stream, const std::string& text) {
    std::fprintf(stream, "quillmont-board: %s\n", text.c_str());
    std::fflush(stream);
}

void BoardServer::printEvent(const sim::BoardEvent& event) {
    std::fprintf(out_, "%12.6f s  %s %d", double(event.timeNs) / double(kNsPerSecond),
                 sim::boardEventName(event.kind), event.value);
    if (event.answer != 0) std::fprintf(out_, " '%c'", event.answer);
    if (!event.text.empty()) std::fprintf(out_, ": %s", event.text.c_str());
    std::fputc('\n', out_);
    std::fflush(out_);
}

}  // namespace quill::board
