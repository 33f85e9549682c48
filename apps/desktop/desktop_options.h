#pragma once

#include <optional>
#include <string>

namespace quill::app {

// --help or --version alone on the command line: the text to print instead of opening the
// window, so that both work without a display. Anything else starts the window, whose
// command line is the two file names.
std::optional<std::string> answerWithoutWindow(int argc, char** argv);

}  // namespace quill::app
