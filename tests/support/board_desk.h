#pragma once

// The whole program against the virtual board, in virtual time, with a boot program and a
// user program on disk.

#include <memory>
#include <string>
#include <vector>

#include "shell/number_forms.h"
#include "sim/board.h"
#include "support/program_files.h"
#include "support/virtual_desk.h"

namespace quill::testing {

// The console after a successful write: `banner` is what the kernel sends before its prompt.
inline std::string successTranscript(const std::string& bootFile, const std::string& userFile,
                                     int bootLength, int matchTry, const std::string& speed,
                                     const std::string& banner) {
    std::string kernelText;
    for (char c : banner) kernelText += c == '\r' ? std::string("\r\n") : std::string(1, c);
    const std::string n = decimalForm(bootLength);
    return "Boot Program [ " + bootFile + " ] ... exist\r\n" + "User Program [ " + userFile +
           " ] ... exist\r\n" + "check H8 Power ... ON\r\n" + "read Boot Program ... [" + n +
           " ]  OK\r\n" + "set H8 to Boot mode ... OK\r\n" + "set COM Speed ... [" +
           decimalForm(matchTry) + " ] " + speed + " OK\r\n" + "erace Flash-ROM ...  OK\r\n" +
           "send Length(Boot Program) [" + n + " ] to H8 ...  OK\r\n" +
           "send Image(Boot Program) to H8 ...  OK\r\n" + "waiting Start Boot Program ...  OK\r\n" +
           "--- Start User Boot Program ---" + kernelText + "\r\n" +
           "send Image(User Program) to H8 ...  OK\r\n" + "Flash write end ! (Success)\r\n";
}

struct BoardDesk {
    ScratchFolder folder;
    std::vector<uint8_t> bootBytes = patternBytes(300, 7);
    std::vector<uint8_t> userBytes = patternBytes(1000, 3);
    std::string bootFile;
    std::string userFile;
    std::unique_ptr<VirtualDesk> desk;
    std::unique_ptr<sim::Board> board;

    // Board options as the QUILLMONT_SIM text takes them. The stand-in kernel unless they say
    // kernel=run: it takes the made-up boot programs of the tests and obeys the fault options.
    explicit BoardDesk(const std::string& options = "") {
        auto parsed = sim::parseBoardOptions("kernel=model," + options);
        if (!parsed.ok()) throw std::invalid_argument(parsed.error);
        desk = std::make_unique<VirtualDesk>();
        board = std::make_unique<sim::Board>(desk->clock, desk->port, parsed.options);
        writeFiles();
    }

    void writeFiles() {
        bootFile = folder.write("boot.mot", sRecords(0xF780, bootBytes));
        userFile = folder.write("user.mot", sRecords(0x0000, userBytes));
    }

    Form1& form() { return *desk->form; }

    // Start-up with the two files named in the fields, as a user would have typed them.
    void start() {
        desk->start();
        desk->bootFileN.setText(bootFile);
        desk->hexFileN.setText(userFile);
    }

    void write() { desk->form->cbWrite_Click(); }

    // The flash as the user program should leave it: its bytes from H'0000, H'FF after them.
    std::vector<uint8_t> expectedFlash() const {
        std::vector<uint8_t> flash(0x8000, 0xFF);
        for (size_t i = 0; i < userBytes.size(); ++i) flash[i] = userBytes[i];
        return flash;
    }
    std::vector<uint8_t> flash() const {
        const auto& bytes = board->flash().bytes();
        return {bytes.begin(), bytes.end()};
    }
};

}  // namespace quill::testing
