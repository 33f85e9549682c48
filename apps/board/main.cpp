#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "board/board_server.h"
#include "platform/qt/qt_scheduler.h"
#include "sim/board_options.h"

int main(int argc, char** argv) {
    using quill::board::BoardServerOptions;
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillmont-board"));
    const BoardServerOptions options = quill::board::parseBoardServerOptions(
        QCoreApplication::arguments(), std::getenv(quill::sim::kBoardOptionsVariable));
    switch (options.action) {
        case BoardServerOptions::Action::Help:
        case BoardServerOptions::Action::ListSimOptions:
            std::fputs(options.message.c_str(), stdout);
            return 0;
        case BoardServerOptions::Action::Version:
            std::printf("quillmont-board %s\n", QUILLMONT_VERSION);
            return 0;
        case BoardServerOptions::Action::UsageError:
            std::fprintf(stderr, "quillmont-board: %s\n", options.message.c_str());
            return quill::board::kUsageExit;
        case BoardServerOptions::Action::Serve:
            break;
    }
    quill::QtScheduler scheduler;
    quill::board::BoardServer server(scheduler, options, stdout, stderr);
    if (!server.listen()) {
        std::fprintf(stderr, "quillmont-board: cannot listen on %s: %s\n",
                     options.listen.text().c_str(), server.errorString().c_str());
        return quill::board::kListenFailedExit;
    }
    // The first line says where: with port 0 the system chose it.
    std::printf("quillmont-board: serving the virtual H8/3694 board on rfc2217://%s\n",
                server.address().text().c_str());
    std::fflush(stdout);
    int status = 0;
    server.setFinishedHandler([&] {
        status = server.errorString().empty() ? 0 : 1;
        QCoreApplication::exit(status);
    });
    return application.exec() == 0 ? status : 1;
}
