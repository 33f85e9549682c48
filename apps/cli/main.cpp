#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/interrupt_notifier.h"
#include "common/port_factory.h"
#include "common/program_info.h"
#include "sim/board_options.h"

int main(int argc, char** argv) {
    using quill::cli::CliOptions;
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillmont-cli"));
    const CliOptions options = quill::cli::parseCliOptions(
        QCoreApplication::arguments(), std::getenv(quill::app::kPortVariable),
        std::getenv(quill::sim::kBoardOptionsVariable));
    switch (options.action) {
        case CliOptions::Action::Help:
            std::fputs(options.message.c_str(), stdout);
            return 0;
        case CliOptions::Action::Version:
            std::fputs(quill::app::versionLine("quillmont-cli").c_str(), stdout);
            return 0;
        case CliOptions::Action::ListPorts:
            std::fputs(quill::cli::listPorts().c_str(), stdout);
            return 0;
        case CliOptions::Action::ListSimOptions:
            std::fputs(quill::cli::listSimOptions().c_str(), stdout);
            return 0;
        case CliOptions::Action::UsageError:
            std::fprintf(stderr, "quillmont-cli: %s\n", options.message.c_str());
            return quill::cli::kUsageExit;
        case CliOptions::Action::Write:
            break;
    }
    try {
        quill::cli::CliStreams streams;
        streams.progress = ::isatty(STDERR_FILENO) != 0;
        quill::cli::CliSession session(options, streams);
        quill::cli::InterruptNotifier interrupts([&session] { session.interrupt(); });
        return session.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmont-cli: %s\n", e.what());
        return quill::cli::kInternalErrorExit;
    }
}
