#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

// What a network serial port's name starts with.
inline constexpr std::string_view kRfc2217Scheme = "rfc2217://";

struct HostPort {
    std::string host;  // a name or an address; an IPv6 address without its brackets
    uint16_t port = 0;
    std::string text() const;  // HOST:PORT again, [v6]:PORT for an IPv6 address
};

struct HostPortResult {
    std::optional<HostPort> address;
    std::string error;  // why the text is not one, when address is empty
};

bool isRfc2217Name(std::string_view name);
// Reads HOST:PORT or [IPV6]:PORT. Port 0 ("any free port") only when `anyPort` allows it.
HostPortResult parseHostPort(std::string_view text, bool anyPort = false);
// Reads rfc2217://HOST:PORT.
HostPortResult parseRfc2217Name(std::string_view name);

}  // namespace quill
