#pragma once

#include <string>

namespace quill::app {

// The version of every program, from the CMake project.
inline constexpr const char* kVersion = QUILLMONT_VERSION;

// "NAME VERSION", the answer to --version.
std::string versionLine(const char* program);

}  // namespace quill::app
