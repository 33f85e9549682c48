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

std::string portLostLine(const std::string& port, const std::string& reason) {
    return "COM port " + port + " lost : " + reason + " ; trying to reopen it every second\r\n";
}

std::string portBackLine(const std::string& port, const std::string& settings, bool rts, bool dtr) {
    return "COM port " + port + " is back : " + settings + (rts ? " RTS ON" : " RTS OFF") +
           (dtr ? " DTR ON" : " DTR OFF") + "\r\n";
}

std::string permissionAdvice(const std::vector<std::string>& ports, const std::string& group) {
    std::string devices;
    for (size_t i = 0; i < ports.size(); ++i) {
        if (i > 0) devices += i + 1 == ports.size() ? " and " : ", ";
        devices += ports[i];
    }
    if (group.empty())
        return "This user may not open " + devices +
               ", and no group gives the right to: ask the administrator of this computer for "
               "read and write access.";
    return "Only members of the group " + group + " may open " + devices +
           ". Join it (sudo "
           "usermod -a -G " +
           group + " $USER), then log out and log in again.";
}

}  // namespace quill
