#include "common/command_line.h"
#include "desktop/application.h"

int main(int argc, char** argv) {
    quill::app::Application application(argc, argv);
    // After the application has taken its own options (-platform ...) out of argv.
    return application.run(quill::app::commandLineText(argc, argv));
}
