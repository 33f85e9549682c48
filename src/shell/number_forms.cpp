#include "shell/number_forms.h"

namespace quill {

std::string decimalForm(int64_t value) {
    return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}

std::string hexForm(int32_t value) {
    static const char kDigits[] = "0123456789ABCDEF";
    uint32_t v = static_cast<uint32_t>(value);
    std::string out;
    do {
        out.insert(out.begin(), kDigits[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    return out;
}

std::string hexByteForm(uint8_t value) {
    std::string two = "0" + hexForm(value);
    return two.substr(two.size() - 2);
}

}  // namespace quill
