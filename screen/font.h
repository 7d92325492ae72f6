// The 8x8 code page 437 character set of the text layer.
#pragma once

#include <cstdint>

namespace surface {

// One byte per pixel row of a character cell, bit 7 the leftmost pixel; indexed by the
// character code 0..255.
extern const uint8_t FONT_8X8[256][8];

}  // namespace surface
