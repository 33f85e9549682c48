#include "common/program_info.h"

namespace quill::app {

std::string versionLine(const char* program) {
    return std::string(program) + " " + kVersion + "\n";
}

}  // namespace quill::app
