#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quill {

// The program's own text (captions, messages, the file names the user gives) is UTF-8, and
// its rules count characters, not bytes. A byte that starts no well-formed UTF-8 sequence
// stands for itself as one Latin-1 character, so that any byte string, however it came in,
// reads as characters and shows every byte.

// The bytes (1 to 4) of the character that starts at `at`, which lies inside `text`; its code
// in `code`.
size_t characterAt(std::string_view text, size_t at, char32_t& code);
size_t characterCount(std::string_view text);
// Where character `index` starts; the end of the text when it has no more characters.
size_t characterOffset(std::string_view text, size_t index);

// Bytes from the board, each as the Latin-1 character of its value, in UTF-8: the board's
// text keeps the look it always had next to the program's own.
std::string latin1ToUtf8(std::string_view bytes);

}  // namespace quill
