#include "shell/form1.h"

namespace quill {

// The dialog opens with an empty name every time, so that no earlier choice is offered; a
// cancel gives the empty name, which then empties the field as well.
std::string Form1::askFileName() {
    std::string result;
    CommonDialog1.setFileName("");
    CommonDialog1.showOpen();
    const std::string chosen = CommonDialog1.fileName();
    if (!chosen.empty()) result = chosen;
    return result;
}

void Form1::chooseBootFile() {
    bootFileName = askFileName();
    BootFileN.setText(bootFileName);
}

void Form1::chooseUserFile() {
    userFileName = askFileName();
    HexFileN.setText(userFileName);
}

void Form1::HexFileN_Change() {
    userFileName = HexFileN.text();
}
void Form1::BootFileN_Change() {
    bootFileName = BootFileN.text();
}

}  // namespace quill
