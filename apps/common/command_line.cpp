#include "common/command_line.h"

namespace quill::app {

std::string commandLineText(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text.push_back(' ');
        text += argv[i];
    }
    return text;
}

}  // namespace quill::app
