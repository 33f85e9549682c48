#pragma once

#include <cstdint>
#include <string>

namespace quill {

// Numbers as the console writes them: decimal with one leading blank when not negative.
std::string decimalForm(int64_t value);
// Upper-case hexadecimal without leading zeros (0 as "0"); a negative value as its 32-bit
// two's complement.
std::string hexForm(int32_t value);
// Exactly two upper-case hexadecimal digits, as a byte is shown in an error text.
std::string hexByteForm(uint8_t value);

}  // namespace quill
