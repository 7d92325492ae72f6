// The fixed 256-colour palette of the frame.
#pragma once

#include <cstdint>

namespace surface {

// The VGA default palette: 16 EGA colours, a 16-step grey ramp, nine blocks of 24 hues
// and 8 blacks, as 8-bit red, green, blue.
extern const uint8_t DEFAULT_PALETTE[256][3];

}  // namespace surface
