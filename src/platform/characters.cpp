#include "platform/characters.h"

namespace quill {

namespace {

bool continuation(unsigned char c, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return c >= low && c <= high;
}

}  // namespace

size_t characterAt(std::string_view text, size_t at, char32_t& code) {
    const auto byte = [&](size_t i) {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0;
    };
    const unsigned char lead = byte(0);
    code = lead;
    size_t length = 1;
    // The second byte's range rules out overlong forms, surrogates and codes above U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 1;
    }
    if (!continuation(byte(1), low, high)) return 1;
    for (size_t i = 2; i < length; ++i)
        if (!continuation(byte(i))) return 1;
    code = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) code = (code << 6) | (byte(i) & 0x3F);
    return length;
}

size_t characterCount(std::string_view text) {
    size_t count = 0;
    char32_t code;
    for (size_t i = 0; i < text.size(); i += characterAt(text, i, code)) ++count;
    return count;
}

size_t characterOffset(std::string_view text, size_t index) {
    size_t i = 0;
    char32_t code;
    for (; i < text.size() && index > 0; --index) i += characterAt(text, i, code);
    return i;
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

}  // namespace quill
