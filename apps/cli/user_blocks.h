#pragma once

#include <optional>
#include <string>

namespace quill::cli {

// How many 128-byte block records the write will send for the user program file at `path`,
// counted by the write's own rules: the same record decoding and line rules, and a block
// starts at the next byte in file order that does not continue the block before it. Nothing
// when the file cannot be read or a line is bad (the write then stops at that line itself).
std::optional<int> countUserBlocks(const std::string& path);

}  // namespace quill::cli
