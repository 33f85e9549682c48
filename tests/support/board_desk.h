#pragma once

// The whole program against the virtual board, in virtual time, with a boot program and a
// user program on disk.

#include <memory>
#include <string>
#include <vector>

#include "sim/board.h"
#include "support/program_files.h"
#include "support/virtual_desk.h"

namespace quill::testing {

struct BoardDesk {
    ScratchFolder folder;
    std::vector<uint8_t> bootBytes = patternBytes(300, 7);
    std::vector<uint8_t> userBytes = patternBytes(1000, 3);
    uint16_t userAddress = 0x0000;
    std::string bootFile;
    std::string userFile;
    std::unique_ptr<VirtualDesk> desk;
    std::unique_ptr<sim::Board> board;

    // Board options as the QUILLMONT_SIM text takes them.
    explicit BoardDesk(const std::string& options = "") {
        auto parsed = sim::parseBoardOptions(options);
        if (!parsed.ok()) throw std::invalid_argument(parsed.error);
        desk = std::make_unique<VirtualDesk>();
        board = std::make_unique<sim::Board>(desk->clock, desk->port, parsed.options);
        writeFiles();
    }

    void writeFiles() {
        bootFile = folder.write("boot.mot", sRecords(0xF780, bootBytes));
        userFile = folder.write("user.mot", sRecords(userAddress, userBytes));
    }

    Form1& form() { return *desk->form; }

    // Start-up with the two files named in the fields, as a user would have typed them.
    void start() {
        desk->start();
        desk->bootFileN.setText(bootFile);
        desk->hexFileN.setText(userFile);
    }

    void write() { desk->form->cbWrite_Click(); }

    // The flash as the user program should leave it: its bytes, H'FF elsewhere.
    std::vector<uint8_t> expectedFlash() const {
        std::vector<uint8_t> flash(0x8000, 0xFF);
        for (size_t i = 0; i < userBytes.size(); ++i) flash[userAddress + i] = userBytes[i];
        return flash;
    }
    std::vector<uint8_t> flash() const {
        const auto& bytes = board->flash().bytes();
        return {bytes.begin(), bytes.end()};
    }
};

}  // namespace quill::testing
