#include "board/board_server_options.h"

#include <QCommandLineParser>

#include "sim/board_options.h"

namespace quill::board {

namespace {

BoardServerOptions usageError(const std::string& message) {
    BoardServerOptions options;
    options.action = BoardServerOptions::Action::UsageError;
    options.message = message + "\nTry 'quillmont-board --help'.";
    return options;
}

}  // namespace

BoardServerOptions parseBoardServerOptions(const QStringList& arguments, const char* simVariable) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Serves the virtual H8/3694 board over the network as an RFC 2217 serial port, in real\n"
        "time: any RFC 2217 client (quillmont-cli --port rfc2217://HOST:PORT, pyserial)\n"
        "drives its DTR (reset), RTS (boot mode, NMI) and data, and reads its CTS (power).\n"
        "One client at a time.");
    const QCommandLineOption help({"h", "help"}, "Shows this help.");
    const QCommandLineOption version({"v", "version"}, "Shows the version.");
    const QCommandLineOption listen(
        "listen",
        std::string("The address to serve on; port 0 takes any free port (the one taken is "
                    "printed). Default: ")
                .append(kDefaultListen)
                .c_str(),
        "HOST:PORT");
    const QCommandLineOption sim(
        "sim",
        "A virtual board option or fault (repeatable), added to QUILLMONT_SIM. "
        "--list-sim-options lists them; the virtual board's README (sim/README.md, installed "
        "as virtual-board.md) says what each does.",
        "NAME[=VALUE]");
    const QCommandLineOption listSimOptions(
        "list-sim-options", "Lists the virtual board's option names (for --sim).");
    const QCommandLineOption dump(
        "dump-flash", "Writes the board's 32 KB flash to FILE each time a client disconnects.",
        "FILE");
    const QCommandLineOption once("once", "Ends when the first client disconnects.");
    const QCommandLineOption verbose("verbose",
                                     "Prints the clients' comings and goings and the board's "
                                     "events as they happen.");
    parser.addOptions({help, version, listen, sim, listSimOptions, dump, once, verbose});

    if (!parser.parse(arguments)) return usageError(parser.errorText().toStdString());
    BoardServerOptions options;
    if (parser.isSet(help)) {
        options.action = BoardServerOptions::Action::Help;
        options.message = parser.helpText().toStdString();
        return options;
    }
    if (parser.isSet(version)) {
        options.action = BoardServerOptions::Action::Version;
        return options;
    }
    if (parser.isSet(listSimOptions)) {
        options.action = BoardServerOptions::Action::ListSimOptions;
        for (std::string_view name : sim::kBoardOptionNames) options.message += std::string(name) + "\n";
        return options;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError("unexpected argument " + parser.positionalArguments()[0].toStdString());
    if (parser.isSet(listen)) {
        auto parsed = parseHostPort(parser.value(listen).toStdString(), true);
        if (!parsed.address) return usageError("--listen " + parsed.error);
        options.listen = *parsed.address;
    }
    options.simOptions = simVariable ? simVariable : "";
    for (const QString& item : parser.values(sim)) {
        if (!options.simOptions.empty()) options.simOptions += ',';
        options.simOptions += item.toStdString();
    }
    if (const auto parsed = sim::parseBoardOptions(options.simOptions); !parsed.ok())
        return usageError("virtual board: " + parsed.error);
    options.dumpFlash = parser.value(dump).toStdString();
    options.once = parser.isSet(once);
    options.verbose = parser.isSet(verbose);
    return options;
}

}  // namespace quill::board
