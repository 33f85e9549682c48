// The Telnet framing with RFC 2217's com-port commands, as bytes in and bytes out.
// (That the two sides agree and carry every byte value, H'FF in values too, is decided by the
// network process tests.)

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/net/host_port.h"
#include "platform/net/rfc2217.h"

namespace quill {
namespace {

using Bytes = std::vector<uint8_t>;
using rfc2217::ComPortMessage;
using rfc2217::Session;

constexpr uint8_t IAC = 255, WILL = 251, WONT = 252, DO = 253, DONT = 254, SB = 250, SE = 240;

struct Case {
    const char* what;
    Session::Role role;
    std::vector<Bytes> chunks;  // the stream as the reads cut it
    Bytes data;
    std::vector<ComPortMessage> messages;
    Bytes reply;  // the answers to the negotiation, after the opening requests
};

// Every case starts from a session that has sent its opening requests.
using enum Session::Role;
const Case kCases[] = {
    {"plain data passes", Client, {{1, 2, 3}}, {1, 2, 3}, {}, {}},
    {"a doubled H'FF is one data byte, also cut between reads", Client,
     {{0x41, IAC}, {IAC, 0x42}}, {0x41, 0xFF, 0x42}, {}, {}},
    {"the server's DO 44 answers the client's WILL 44: no reply", Client, {{IAC, DO, 44}}, {}, {},
     {}},
    {"an option already on is not answered again", Client,
     {{IAC, DO, 0, IAC, DO, 0, IAC, WILL, 0, IAC, WILL, 0}}, {}, {}, {}},
    {"other options are refused, once per request", Client, {{IAC, WILL, 1, IAC, DO, 24}}, {}, {},
     {IAC, DONT, 1, IAC, WONT, 24}},
    {"a refusal of an option already off is not answered", Client, {{IAC, WONT, 1, IAC, DONT, 24}},
     {}, {}, {}},
    {"an option switched off after agreement is acknowledged", Client,
     {{IAC, WILL, 3, IAC, WONT, 3}}, {}, {}, {IAC, DONT, 3}},
    {"the server's answers lose their + 100, H'FF in a value undoubled", Client,
     {{IAC, SB, 44, 101, 0, 0, IAC, IAC, IAC, SE, IAC, SB, 44, 107, 0x31, IAC, SE}}, {},
     {{1, {0, 0, 0xFF}, 0}, {7, {0x31}, 0}}, {}},
    {"data and commands keep their order", Server, {{7, IAC, SB, 44, 5, 8, IAC, SE, 9}}, {7, 9},
     {{5, {8}, 1}}, {}},
    {"a client hears nothing of client commands, a server nothing of server answers", Client,
     {{IAC, SB, 44, 5, 8, IAC, SE}}, {}, {}, {}},
    {"other options' subnegotiations and other commands are dropped", Server,
     {{IAC, SB, 24, 1, IAC, SE, IAC, 241, 5, IAC, 249}}, {5}, {}, {}},
    {"a subnegotiation cut anywhere still arrives", Server,
     {{IAC}, {SB}, {44}, {1, 0}, {0, 0x4B, 0}, {IAC}, {SE}}, {}, {{1, {0, 0, 0x4B, 0}, 0}}, {}},
    {"a subnegotiation without its IAC SE is lost, the command after the IAC counts", Server,
     {{IAC, SB, 44, 5, 8, IAC, WILL, 44, 6}}, {6}, {}, {}},
};

TEST(Telnet, SessionsTakeStreamsApart) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        Session session(c.role);
        session.start();
        Bytes data, reply;
        std::vector<ComPortMessage> messages;
        for (const Bytes& chunk : c.chunks) {
            auto in = session.receive(chunk);
            data.insert(data.end(), in.data.begin(), in.data.end());
            reply.insert(reply.end(), in.reply.begin(), in.reply.end());
            messages.insert(messages.end(), in.messages.begin(), in.messages.end());
        }
        EXPECT_EQ(data, c.data);
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(reply, c.reply);
    }
}

TEST(Telnet, ClientNoticesARefusalAndLineSettingsGoOutOnlyWhenChanged) {
    Session client(Session::Role::Client);
    client.start();
    client.receive(Bytes{IAC, DONT, 44});
    EXPECT_TRUE(client.comPortRefused());
    EXPECT_FALSE(client.comPortReady());

    const LineSettings a{19200, 'N', 8, 1}, b{9600, 'N', 8, 1};
    EXPECT_EQ(rfc2217::lineSettingsMessages(client, b, a),
              (Bytes{IAC, SB, 44, 1, 0, 0, 0x25, 0x80, IAC, SE}));
    EXPECT_TRUE(rfc2217::lineSettingsMessages(client, a, a).empty());
    EXPECT_EQ(rfc2217::lineSettingsMessages(client, a, std::nullopt).size(), 10u + 3 * 7);
}

TEST(Telnet, NetworkPortNames) {
    for (const char* address : {"localhost:2217", "10.0.0.5:7000", "[::1]:2217"}) {
        const auto parsed = parseRfc2217Name(std::string("rfc2217://") + address);
        ASSERT_TRUE(parsed.address.has_value()) << parsed.error;
        EXPECT_EQ(parsed.address->text(), address);
    }
    for (const char* name :
         {"rfc2217://host", "rfc2217://:2217", "rfc2217://host:0", "rfc2217://host:65536",
          "rfc2217://host:22x", "rfc2217://::1:2217", "rfc2217://[::1:2217",
          "rfc2217://us@host:2217", "telnet://host:2217"}) {
        const auto parsed = parseRfc2217Name(name);
        EXPECT_FALSE(parsed.address.has_value()) << name;
        EXPECT_NE(parsed.error, "") << name;
    }
    EXPECT_EQ(parseHostPort("0.0.0.0:0", true).address->port, 0);
}

}  // namespace
}  // namespace quill
