#pragma once

#include <QStringList>
#include <string>

#include "platform/net/host_port.h"

namespace quill::board {

inline constexpr const char* kDefaultListen = "127.0.0.1:2217";

// What quillmont-board's command line asks for.
struct BoardServerOptions {
    enum class Action { Serve, Help, Version, ListSimOptions, UsageError };
    Action action = Action::Serve;
    HostPort listen{"127.0.0.1", 2217};
    // The virtual board's options: QUILLMONT_SIM's, then every --sim, joined by commas.
    std::string simOptions;
    std::string dumpFlash;  // empty: no dump
    bool once = false;
    bool verbose = false;
    // For Help, ListSimOptions and UsageError: the text to print.
    std::string message;
};

// Exit status of a usage error.
inline constexpr int kUsageExit = 2;
// Exit status when the address cannot be listened on.
inline constexpr int kListenFailedExit = 1;

// Reads the arguments (program name first); `simVariable` is QUILLMONT_SIM's value, null
// when unset.
BoardServerOptions parseBoardServerOptions(const QStringList& arguments, const char* simVariable);

}  // namespace quill::board
