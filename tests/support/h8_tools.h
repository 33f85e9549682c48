#pragma once

// The GNU H8 toolchain (binutils-h8300-hms, gcc-h8300-hms) and GDB's H8/300 simulator, run as
// programs that the emulated CPU is checked against. A test that needs one and does not find
// it is skipped with the reason.

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/program_files.h"

namespace quill::testing {

struct Ran {
    int status = -1;  // the exit status, -1 when it could not be run
    std::string out;  // stdout and stderr
};

// `command` through the shell; what it writes to stderr is kept too, unless it sends that
// elsewhere itself.
inline Ran runCommand(const std::string& command) {
    Ran r;
    FILE* p = popen(("{ " + command + "; } 2>&1").c_str(), "r");
    if (p == nullptr) return r;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

inline bool haveProgram(const std::string& name) {
    return runCommand("command -v " + name).status == 0;
}

inline std::vector<uint8_t> readBinary(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Assembles (or compiles, for a .c file name) `source` for the H8/300H in normal mode and
// links it at `origin`; the image from `origin` on, or an empty vector with `error` set.
inline std::vector<uint8_t> buildH8(ScratchFolder& folder, const std::string& name,
                                    const std::string& source, uint16_t origin,
                                    std::string& error) {
    const std::string src = folder.write(name, source);
    const std::string base = src.substr(0, src.rfind('.'));
    char org[16];
    std::snprintf(org, sizeof org, "0x%x", origin);
    const std::string object =
        name.ends_with(".c")
            ? "h8300-hms-gcc -std=gnu99 -mh -mn -O2 -nostdlib -nostartfiles -c -o " + base + ".o " +
                  src
            : "h8300-hms-as -o " + base + ".o " + src;
    const Ran r = runCommand(
        object + " && h8300-hms-ld -m h8300hn -Ttext " + org + " -e _start -o " + base + ".coff " +
        base + ".o && h8300-hms-objcopy -O binary " + base + ".coff " + base + ".bin");
    if (r.status != 0) {
        error = r.out;
        return {};
    }
    return readBinary(base + ".bin");
}

}  // namespace quill::testing
