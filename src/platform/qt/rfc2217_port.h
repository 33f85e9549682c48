#pragma once

#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "platform/line_settings.h"
#include "platform/net/host_port.h"
#include "platform/net/rfc2217.h"
#include "platform/serial_port.h"

namespace quill {

// A serial port on another machine, reached as rfc2217://HOST:PORT: a Telnet connection with
// the COM-PORT-OPTION of RFC 2217 (ser2net, quillmont-board). The socket lives on the
// user-interface thread's event loop, so received bytes reach the program through the same
// yields as a local port's. A connection that is lost is tried again every kReopenIntervalMs,
// without blocking, until the server takes it; the line settings, DTR, RTS and break are then
// put back.
class Rfc2217Port : public SerialPort {
  public:
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kNegotiationTimeoutMs = 3000;
    // ser2net never confirms a line change on a device without modem lines (a
    // pseudo-terminal, some adapters): the wait for a confirmation ends after this.
    static constexpr int kConfirmTimeoutMs = 1000;

    using NoticeHandler = std::function<void(const std::string&)>;

    explicit Rfc2217Port(std::string name);
    ~Rfc2217Port() override;
    Rfc2217Port(const Rfc2217Port&) = delete;
    Rfc2217Port& operator=(const Rfc2217Port&) = delete;

    void selectPort(int) override {}
    void setBufferSizes(int, int) override {}
    void setWholeReads() override {}
    void setReceiveThreshold(int bytes) override { threshold_ = bytes > 0 ? bytes : 1; }
    void setNoSendEvents() override {}
    void setBinaryInput() override {}
    bool setSettings(const std::string& settings) override;
    std::string settings() const override { return settingsText_; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    std::string portName() const override { return name_; }
    std::string errorString() const override { return error_; }
    bool lost() const override { return lost_; }
    void setDtr(bool on) override;
    bool dtr() const override { return dtr_; }
    void setRts(bool on) override;
    bool rts() const override { return rts_; }
    void setBreak(bool on) override;
    bool cts() const override { return open_ && (modemState_ & rfc2217::kModemCts) != 0; }
    using SerialPort::write;
    void write(std::span<const uint8_t> bytes) override;
    std::vector<uint8_t> readAll() override;

    // Where the port says what the program should know but is no event of a serial port
    // (a server that does not confirm line changes). Unset: standard error.
    void setNoticeHandler(NoticeHandler handler) { notice_ = std::move(handler); }

  private:
    bool fail(const std::string& why);
    // After the server agreed: the line as the program has it, then the port is open.
    void bringUpLine(bool awaitConfirmation);
    void tryReconnect();
    void reconnectInput();
    void send(const std::vector<uint8_t>& bytes);
    // A SET-CONTROL change, confirmed by the server before it counts as done.
    void control(uint8_t value);
    bool awaitConfirmations();
    // Takes in what the socket has; true when something came.
    bool pump();
    void handle(const rfc2217::ComPortMessage& message);
    void connectionLost();
    void deliver(CommEvent kind);
    void notice(const std::string& text);

    std::string name_;
    std::optional<HostPort> address_;
    QTcpSocket socket_;
    QTimer reconnectTimer_;
    rfc2217::Session session_{rfc2217::Session::Role::Client};
    std::string error_;
    std::string settingsText_ = "9600,N,8,1";
    LineSettings settings_{9600, 'N', 8, 1};
    std::optional<LineSettings> sentSettings_;
    int threshold_ = 1;
    bool dtr_ = false;
    bool rts_ = false;
    bool break_ = false;
    bool open_ = false;
    bool failed_ = false;  // the connection broke: nothing goes out until it is made again
    bool lost_ = false;    // and the port is trying to make it again
    uint8_t modemState_ = 0;
    std::deque<uint8_t> input_;
    // SET-CONTROL values sent and not yet confirmed, oldest first.
    std::deque<uint8_t> unconfirmed_;
    bool serverConfirms_ = true;
    int ownWaits_ = 0;  // inside a wait of our own, events go through the event loop
    NoticeHandler notice_;
};

}  // namespace quill
