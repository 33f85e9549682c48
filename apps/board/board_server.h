#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "board/board_server_options.h"
#include "platform/scheduler.h"
#include "platform/virtual/virtual_serial_port.h"
#include "sim/board.h"
#include "sim/com_port_server.h"

namespace quill::board {

// The virtual board on a TCP port, one client at a time, in real time on the scheduler. The
// board and its flash live as long as the server; each client plugs into its cable.
class BoardServer {
  public:
    BoardServer(Scheduler& scheduler, const BoardServerOptions& options, std::FILE* out,
                std::FILE* err);
    ~BoardServer();
    BoardServer(const BoardServer&) = delete;
    BoardServer& operator=(const BoardServer&) = delete;

    // False when the address cannot be served; the reason is then in errorString().
    bool listen();
    std::string errorString() const { return error_; }
    // The address served, with the port the system chose for port 0.
    HostPort address() const;
    // Called when the server is done (--once, after its client).
    void setFinishedHandler(std::function<void()> handler) { finished_ = std::move(handler); }

    sim::Board& board() { return *board_; }

  private:
    void incoming();
    void accept(QTcpSocket* socket);
    void refuse(QTcpSocket* socket);
    void received();
    void dropped();
    bool dumpFlash();
    void say(std::FILE* stream, const std::string& text);
    void printEvent(const sim::BoardEvent& event);

    Scheduler& scheduler_;
    BoardServerOptions options_;
    std::FILE* out_;
    std::FILE* err_;
    std::string error_;
    QTcpServer server_;
    VirtualSerialPort port_;
    std::unique_ptr<sim::Board> board_;
    QTcpSocket* client_ = nullptr;
    std::string clientName_;
    std::unique_ptr<sim::ComPortServer> session_;
    std::function<void()> finished_;
};

}  // namespace quill::board
