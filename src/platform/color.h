#pragma once

#include <cstdint>

namespace quill {

// A control colour: either an RGB value or one of the desktop's own colours, which the
// window system resolves (the button face of cbWrite after a write, the menu colour of the
// line labels).
struct Color {
    enum class System : uint8_t { None, ButtonFace, Menu, WindowText };

    System system = System::None;
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;

    static constexpr Color rgb(uint8_t r, uint8_t g, uint8_t b) { return {System::None, r, g, b}; }
    static constexpr Color of(System s) { return {s, 0, 0, 0}; }
    // #RRGGBB as the window design writes it.
    static constexpr Color hex(uint32_t rrggbb) {
        return rgb(uint8_t(rrggbb >> 16), uint8_t(rrggbb >> 8), uint8_t(rrggbb));
    }
    bool isSystem() const { return system != System::None; }
    friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace quill
