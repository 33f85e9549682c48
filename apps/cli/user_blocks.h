#pragma once

#include <optional>
#include <string>

namespace quill::cli {

// How many 128-byte block records the write will send for the user program file at `path`,
// counted by running the write's own buffer filling and block cutting over it. Nothing when
// the file cannot be read, a line is bad or it holds no data (the write then stops itself).
std::optional<int> countUserBlocks(const std::string& path);

}  // namespace quill::cli
