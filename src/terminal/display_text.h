#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quill {

// Received bytes as the terminal shows them: the newline byte as CR LF, 32 to 126 as
// themselves, every other byte (a line feed included) as a dot.
std::string displayText(std::span<const uint8_t> bytes, uint8_t newlineCode);

constexpr size_t kConsoleLimit = 16384;

// The console text to keep once the console has grown past kConsoleLimit characters: from
// the first CR LF whose CR stands at position 80 or later (counted from 1), at most
// kConsoleLimit characters; without such a line end, its last kConsoleLimit characters.
// nullopt while the text is within the limit.
std::optional<std::string> shortenedConsole(const std::string& text);

}  // namespace quill
