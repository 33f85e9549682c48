#include "cli/cli_options.h"

#include <QCommandLineParser>
#include <QSerialPortInfo>
#include <map>

#include "common/port_factory.h"
#include "platform/net/host_port.h"
#include "platform/qt/host_device.h"
#include "serial/settings_text.h"
#include "sim/board_options.h"

namespace quill::cli {

namespace {

// Marks a port this user may not open, and the advice that says what to do about it.
constexpr const char* kNoPermissionMark = "(no permission)";

CliOptions usageError(const std::string& message) {
    CliOptions options;
    options.action = CliOptions::Action::UsageError;
    options.message = message + "\nTry 'quillmont-cli --help'.";
    return options;
}

std::string joined(const std::string& base, const QStringList& more) {
    std::string text = base;
    for (const QString& item : more) {
        if (!text.empty()) text += ',';
        text += item.toStdString();
    }
    return text;
}

}  // namespace

CliOptions parseCliOptions(const QStringList& arguments, const char* portVariable,
                           const char* simVariable) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes USERFILE into the flash ROM of an H8/3694 through its serial boot mode, with\n"
        "BOOTFILE as the flash-writing kernel. Both are S-record or Intel HEX files.\n"
        "Exit status: 0 written, 2 usage error, else the write's error code (below 100).");
    const QCommandLineOption help({"h", "help"}, "Shows this help.");
    const QCommandLineOption version({"v", "version"}, "Shows the version.");
    const QCommandLineOption port(
        "port",
        "Serial device (/dev/ttyUSB0, COM3), rfc2217://HOST:PORT for a port shared over "
        "the network (ser2net, quillmont-board), or sim for the virtual board. Default: "
        "QUILLMONT_PORT, else the first serial port.",
        "NAME");
    const QCommandLineOption listPortsOption(
        "list-ports",
        "Lists the serial ports with their descriptions, marking those this user may not open.");
    const QCommandLineOption listSimOptionsOption(
        "list-sim-options", "Lists the virtual board's option names (for --sim).");
    const QCommandLineOption quiet(
        "quiet", "Prints only the report lines: the error report and the final result.");
    const QCommandLineOption sim(
        "sim",
        "A virtual board option or fault (repeatable; port sim only), added to QUILLMONT_SIM. "
        "--list-sim-options lists them; the virtual board's README (sim/README.md, installed "
        "as virtual-board.md) says what each does.",
        "NAME[=VALUE]");
    const QCommandLineOption dump("dump-flash",
                                  "Writes the virtual board's 32 KB flash to FILE after the "
                                  "run, whatever its outcome (port sim only).",
                                  "FILE");
    parser.addOptions(
        {help, version, port, listPortsOption, listSimOptionsOption, quiet, sim, dump});
    parser.addPositionalArgument("BOOTFILE", "The boot program (kernel) file.");
    parser.addPositionalArgument("USERFILE", "The user program file.");

    if (!parser.parse(arguments)) return usageError(parser.errorText().toStdString());
    CliOptions options;
    if (parser.isSet(help)) {
        options.action = CliOptions::Action::Help;
        // The usage line names the program as a user types it, not the path it ran from.
        std::string text = parser.helpText().toStdString();
        const std::string usage = "Usage: ";
        if (text.starts_with(usage))
            text.replace(0, text.find(' ', usage.size()), usage + "quillmont-cli");
        options.message = text;
        return options;
    }
    if (parser.isSet(version)) {
        options.action = CliOptions::Action::Version;
        return options;
    }
    if (parser.isSet(listPortsOption)) {
        options.action = CliOptions::Action::ListPorts;
        return options;
    }

    if (parser.isSet(listSimOptionsOption)) {
        options.action = CliOptions::Action::ListSimOptions;
        return options;
    }

    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        return usageError("expected two files, BOOTFILE and USERFILE, got " +
                          std::to_string(files.size()));
    options.bootFile = files[0].toStdString();
    options.userFile = files[1].toStdString();
    options.quiet = parser.isSet(quiet);
    options.port =
        parser.isSet(port) ? parser.value(port).toStdString() : (portVariable ? portVariable : "");
    const app::PortKind kind = app::portKind(options.port.c_str());
    if (kind == app::PortKind::Network) {
        if (auto parsed = parseRfc2217Name(options.port); !parsed.address)
            return usageError(parsed.error);
    }
    const bool onSim = kind == app::PortKind::Sim;
    if (!onSim && parser.isSet(sim)) return usageError("--sim needs --port sim");
    if (!onSim && parser.isSet(dump)) return usageError("--dump-flash needs --port sim");
    if (onSim) {
        options.simOptions = joined(simVariable ? simVariable : "", parser.values(sim));
        const auto parsed = sim::parseBoardOptions(options.simOptions);
        if (!parsed.ok()) return usageError("virtual board: " + parsed.error);
    }
    options.dumpFlash = parser.value(dump).toStdString();
    return options;
}

std::string portList(const std::vector<PortListing>& ports) {
    std::string out;
    std::map<std::string, std::vector<std::string>> deniedByGroup;
    for (const PortListing& port : ports) {
        out += port.device;
        if (!port.about.empty()) out += "\t" + port.about;
        if (port.access.denied) {
            out += "\t" + std::string(kNoPermissionMark);
            deniedByGroup[port.access.group].push_back(port.device);
        }
        out += "\n";
    }
    out += "sim\tthe virtual H8/3694 board (options: --sim, QUILLMONT_SIM)\n";
    out += "rfc2217://HOST:PORT\ta serial port shared over the network (ser2net, quillmont-board)\n";
    for (const auto& [group, devices] : deniedByGroup)
        out += std::string(kNoPermissionMark) + " " + permissionAdvice(devices, group) + "\n";
    return out;
}

std::string listPorts() {
    std::vector<PortListing> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortListing port;
        port.device = info.systemLocation().toStdString();
        port.about = info.description().toStdString();
        if (!info.manufacturer().isEmpty())
            port.about += (port.about.empty() ? "" : ", ") + info.manufacturer().toStdString();
        port.access = deviceAccess(port.device);
        ports.push_back(std::move(port));
    }
    return portList(ports);
}

std::string listSimOptions() {
    std::string out;
    for (std::string_view name : sim::kBoardOptionNames) out += std::string(name) + "\n";
    return out;
}

}  // namespace quill::cli
