#include "shell/form1.h"
#include "terminal/help_text.h"

namespace quill {

void Form1::showHelp() {
    HelpForm.showText(helpText());
}

}  // namespace quill
