#include "shell/form1.h"

namespace quill {

void Form1::cbUser_Click() {
    chooseUserFile();
    Status.setFocus();
}

void Form1::cbBoot_Click() {
    chooseBootFile();
    Status.setFocus();
}

void Form1::cbWrite_Click() {
    Status.setFocus();
    writeFlash();
}

void Form1::cbNMI_Click() {
    nmiToH8();
}
void Form1::cbReset_Click() {
    resetH8();
}
void Form1::H8stat_Click() {
    checkH8Power();
}
void Form1::mnuBt_Click() {
    BootFileN.setText(askFileName());
}
void Form1::mnuProg_Click() {
    HexFileN.setText(askFileName());
}
void Form1::mnuExit_Click() {
    quitProgram();
}

void Form1::mnuWrite_Click() {
    Status.setFocus();
    writeFlash();
}

// Verify and Read are disabled items with no operation behind them.
void Form1::mnuVerify_Click() {}
void Form1::mnuRead_Click() {}
void Form1::H8Reset_Click() {
    resetH8();
}
void Form1::H8NMI_Click() {
    nmiToH8();
}

}  // namespace quill
