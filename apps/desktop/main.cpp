#include <cstdio>
#include <stdexcept>

#include "common/command_line.h"
#include "desktop/application.h"
#include "desktop/main_window.h"

int main(int argc, char** argv) {
    quill::app::Application application(argc, argv);
    try {
        // After the application has taken its own options (-platform ...) out of argv.
        quill::app::MainWindow window(quill::app::commandLineText(argc, argv));
        window.show();
        return application.exec();
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "quillmont: %s\n", e.what());
        return 2;
    }
}
