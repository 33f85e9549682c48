#pragma once

#include <string>

namespace quill {

// The help window's text: its lines, each ended by CR LF.
const std::string& helpText();

}  // namespace quill
