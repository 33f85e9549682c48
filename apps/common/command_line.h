#pragma once

#include <string>

namespace quill::app {

// The command line without the program's own name, as one text: the arguments joined by
// single spaces. The shell has already taken the quoting apart, so a quoted path with a
// blank in it comes back as two words, as the program's word rule expects.
std::string commandLineText(int argc, char** argv);

}  // namespace quill::app
