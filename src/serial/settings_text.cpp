#include "serial/settings_text.h"

namespace quill {

std::string settingsText(const std::string& speed, const std::string& parity,
                         const std::string& data, const std::string& stop) {
    return speed + "," + parity + "," + data + "," + stop;
}

int nextIndex(int index, int size) {
    return index + 1 > size - 1 ? 0 : index + 1;
}

std::string portOpenFailedLine(const std::string& port, const std::string& reason) {
    return "can't open COM port " + port + " : " + reason + "\r\n";
}

std::string settingsRefusedLine(const std::string& port, const std::string& settings,
                                const std::string& reason) {
    return "COM port " + port + " refused the settings " + settings + " : " + reason + "\r\n";
}

}  // namespace quill
