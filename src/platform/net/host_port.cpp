#include "platform/net/host_port.h"

#include <charconv>

namespace quill {

std::string HostPort::text() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool isRfc2217Name(std::string_view name) {
    return name.starts_with(kRfc2217Scheme);
}

HostPortResult parseHostPort(std::string_view text, bool anyPort) {
    auto fail = [text](const std::string& why) {
        return HostPortResult{std::nullopt, "\"" + std::string(text) + "\": " + why};
    };
    std::string_view host;
    std::string_view rest;
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return fail("an IPv6 address lacks its ]");
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.starts_with(':')) return fail("the :PORT is missing");
        rest.remove_prefix(1);
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) return fail("the :PORT is missing");
        host = text.substr(0, colon);
        rest = text.substr(colon + 1);
        if (host.find(':') != std::string_view::npos)
            return fail("an IPv6 address goes in brackets, [::1]:PORT");
    }
    if (host.empty()) return fail("the host is missing");
    for (const char c : host) {
        if (c <= ' ' || c == '/' || c == '@' || c == '?' || c == '#' || c == '[' || c == ']')
            return fail("the host holds a character no host name has");
    }
    unsigned port = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), port);
    if (rest.empty() || ec != std::errc() || end != rest.data() + rest.size() || port > 65535 ||
        (port == 0 && !anyPort))
        return fail("the port must be a number from 1 to 65535");
    return HostPortResult{HostPort{std::string(host), uint16_t(port)}, {}};
}

HostPortResult parseRfc2217Name(std::string_view name) {
    if (!isRfc2217Name(name))
        return {std::nullopt, "\"" + std::string(name) + "\" does not start with rfc2217://"};
    auto result = parseHostPort(name.substr(kRfc2217Scheme.size()));
    if (!result.address) result.error = "not a network port (rfc2217://HOST:PORT): " + result.error;
    return result;
}

}  // namespace quill
