// Arbitrary bytes from the network, as a server might send them to the client and a client
// to quillmont-board's line. Besides crashes, sanitizer reports and hangs it stops on any
// broken promise of the framing: data that does not come back whole through the escaping,
// an answer that is not one whole negotiation, a value over its bound, a server that
// answers more than it was asked.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/net/rfc2217.h"
#include "platform/virtual/virtual_scheduler.h"
#include "platform/virtual/virtual_serial_port.h"
#include "sim/board.h"
#include "sim/com_port_server.h"

namespace {

using namespace quill;

void require(bool promise) {
    if (!promise) std::abort();
}

void checkClient(std::span<const uint8_t> head, std::span<const uint8_t> tail) {
    rfc2217::Session client(rfc2217::Session::Role::Client);
    client.start();
    std::vector<uint8_t> data, reply;
    size_t messages = 0;
    for (auto part : {head, tail}) {
        auto in = client.receive(part);
        data.insert(data.end(), in.data.begin(), in.data.end());
        reply.insert(reply.end(), in.reply.begin(), in.reply.end());
        for (const auto& m : in.messages) {
            require(m.value.size() < telnet::Decoder::kMaxSubnegotiation);
            require(m.dataOffset <= in.data.size());
        }
        messages += in.messages.size();
    }
    require(data.size() + messages <= head.size() + tail.size());
    // An answer is a whole negotiation, and there is at most one per three bytes received.
    require(reply.size() % 3 == 0 && reply.size() <= head.size() + tail.size());
    for (size_t i = 0; i < reply.size(); i += 3)
        require(reply[i] == telnet::kIac && reply[i + 1] >= telnet::kWill);
    // What the client took as data goes out again and comes back whole.
    rfc2217::Session server(rfc2217::Session::Role::Server);
    auto back = server.receive(client.data(data));
    require(back.data == data && back.messages.empty() && back.reply.empty());
}

void checkServer(std::span<const uint8_t> head, std::span<const uint8_t> tail) {
    VirtualScheduler scheduler;
    VirtualSerialPort port(scheduler, "network");
    port.keepTraffic(false);
    sim::Board board(scheduler, port);
    board.keepEvents(false);
    size_t sent = 0;
    {
        sim::ComPortServer server(port, [&](const std::vector<uint8_t>& bytes) {
            sent += bytes.size();
        });
        const size_t opening = sent;
        server.receive(head);
        server.receive(tail);
        // Each answer costs the client at least three bytes of asking, and is at most a
        // subnegotiation with a four-byte value (all H'FF, doubled) or the signature.
        require(sent - opening <= (head.size() + tail.size()) * 8 + 32);
        scheduler.runFor(50 * kNsPerMs);
    }
    require(!port.isOpen());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte says where the stream is cut into two reads.
    const std::span<const uint8_t> stream(data + 1, size - 1);
    const size_t cut = stream.empty() ? 0 : data[0] % stream.size();
    checkClient(stream.first(cut), stream.subspan(cut));
    checkServer(stream.first(cut), stream.subspan(cut));
    return 0;
}
