#include <cstdio>

#include "common/command_line.h"
#include "desktop/application.h"
#include "desktop/desktop_options.h"

int main(int argc, char** argv) {
    if (auto answer = quill::app::answerWithoutWindow(argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    quill::app::Application application(argc, argv);
    // After the application has taken its own options (-platform ...) out of argv.
    return application.run(quill::app::commandLineText(argc, argv));
}
