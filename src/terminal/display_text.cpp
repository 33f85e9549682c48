#include "terminal/display_text.h"

#include "platform/characters.h"

namespace quill {

std::string displayText(std::span<const uint8_t> bytes, uint8_t newlineCode) {
    std::string out;
    out.reserve(bytes.size() + 8);
    for (uint8_t b : bytes) {
        if (b == newlineCode) {
            out += "\r\n";
        } else if (b >= 32 && b <= 126) {
            out.push_back(static_cast<char>(b));
        } else {
            out.push_back('.');
        }
    }
    return out;
}

// Positions and lengths count characters; a cut never splits one.
std::optional<std::string> shortenedConsole(const std::string& text) {
    if (text.size() <= kConsoleLimit) return std::nullopt;
    const size_t characters = characterCount(text);
    if (characters <= kConsoleLimit) return std::nullopt;
    constexpr size_t kFirstCrIndex = 79;  // position 80, counted from 1
    const size_t cr = text.find("\r\n", characterOffset(text, kFirstCrIndex));
    if (cr == std::string::npos)
        return text.substr(characterOffset(text, characters - kConsoleLimit));
    const std::string_view kept = std::string_view(text).substr(cr);
    return std::string(kept.substr(0, characterOffset(kept, kConsoleLimit)));
}

}  // namespace quill
