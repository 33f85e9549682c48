#pragma once

#include <array>
#include <string>
#include <vector>

namespace quill {

// The entries the line settings are stepped through, in index order. The data-bit table runs
// downwards while the speed table runs upwards.
inline const std::array<std::string, 8> kSpeedEntries = {"300",  "600",  "1200",  "2400",
                                                         "4800", "9600", "19200", "38400"};
inline const std::array<std::string, 4> kDataEntries = {"8", "7", "6", "5"};
inline const std::array<std::string, 3> kParityEntries = {"N", "E", "O"};
inline const std::array<std::string, 2> kStopEntries = {"1", "2"};

// The text a port takes: speed, parity, data bits, stop bits; parity before the data bits.
std::string settingsText(const std::string& speed, const std::string& parity,
                         const std::string& data, const std::string& stop);

// The next index of a table of `size` entries, wrapping to 0 past the last.
int nextIndex(int index, int size);

// Console lines for a port that would not do what was asked.
std::string portOpenFailedLine(const std::string& port, const std::string& reason);
std::string settingsRefusedLine(const std::string& port, const std::string& settings,
                                const std::string& reason);
// A device that went away, and its return with the line state it was given back.
std::string portLostLine(const std::string& port, const std::string& reason);
std::string portBackLine(const std::string& port, const std::string& settings, bool rts, bool dtr);

// What to do about devices this user may not open: join `group` (empty: no group would
// help), then log in again. One paragraph without a line end, for a console line, a message
// box or a terminal alike.
std::string permissionAdvice(const std::vector<std::string>& ports, const std::string& group);

}  // namespace quill
