#include "screen/palette.h"

namespace surface {
namespace {

// All levels are 6-bit VGA DAC values, shown as floor(v * 255 / 63).
constexpr uint8_t toByte(int32_t level) {
    return static_cast<uint8_t>(level * 255 / 63);
}

constexpr int32_t EGA_COLOURS[16][3] = {
    {0, 0, 0},    {0, 0, 42},   {0, 42, 0},   {0, 42, 42},  {42, 0, 0},   {42, 0, 42},
    {42, 21, 0},  {42, 42, 42}, {21, 21, 21}, {21, 21, 63}, {21, 63, 21}, {21, 63, 63},
    {63, 21, 21}, {63, 21, 63}, {63, 63, 21}, {63, 63, 63},
};

constexpr int32_t GREY_RAMP[16] = {0, 5, 8, 11, 14, 17, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63};

// Each hue block runs once round the colour circle between a low level (index 0) and a
// full level (index 4); the nine blocks differ in intensity and saturation.
constexpr int32_t BLOCK_LEVELS[9][5] = {
    {0, 16, 31, 47, 63}, {31, 39, 47, 55, 63}, {45, 49, 54, 58, 63},
    {0, 7, 14, 21, 28},  {14, 17, 21, 24, 28}, {20, 22, 24, 26, 28},
    {0, 4, 8, 12, 16},   {8, 10, 12, 14, 16},  {11, 12, 13, 15, 16},
};

// Level indices (red, green, blue) of the 24 hues of a block: blue to magenta to red to
// yellow to green to cyan and back towards blue.
constexpr int32_t HUE_STEPS[24][3] = {
    {0, 0, 4}, {1, 0, 4}, {2, 0, 4}, {3, 0, 4}, {4, 0, 4}, {4, 0, 3}, {4, 0, 2}, {4, 0, 1},
    {4, 0, 0}, {4, 1, 0}, {4, 2, 0}, {4, 3, 0}, {4, 4, 0}, {3, 4, 0}, {2, 4, 0}, {1, 4, 0},
    {0, 4, 0}, {0, 4, 1}, {0, 4, 2}, {0, 4, 3}, {0, 4, 4}, {0, 3, 4}, {0, 2, 4}, {0, 1, 4},
};

constexpr int32_t FIRST_GREY = 16;
constexpr int32_t FIRST_HUE = 32;
constexpr int32_t FIRST_BLACK = FIRST_HUE + 9 * 24;

constexpr int32_t levelOf(int32_t index, int32_t component) {
    if (index < FIRST_GREY) {
        return EGA_COLOURS[index][component];
    }
    if (index < FIRST_HUE) {
        return GREY_RAMP[index - FIRST_GREY];
    }
    if (index < FIRST_BLACK) {
        const int32_t block = (index - FIRST_HUE) / 24;
        const int32_t hue = (index - FIRST_HUE) % 24;
        return BLOCK_LEVELS[block][HUE_STEPS[hue][component]];
    }
    return 0;
}

}  // namespace

// The table is filled at compile time from the rules above.
#define PALETTE_ENTRY(i) \
    { toByte(levelOf(i, 0)), toByte(levelOf(i, 1)), toByte(levelOf(i, 2)) }
#define PALETTE_ROW(i)                                                                            \
    PALETTE_ENTRY(i), PALETTE_ENTRY(i + 1), PALETTE_ENTRY(i + 2), PALETTE_ENTRY(i + 3),           \
        PALETTE_ENTRY(i + 4), PALETTE_ENTRY(i + 5), PALETTE_ENTRY(i + 6), PALETTE_ENTRY(i + 7),   \
        PALETTE_ENTRY(i + 8), PALETTE_ENTRY(i + 9), PALETTE_ENTRY(i + 10), PALETTE_ENTRY(i + 11), \
        PALETTE_ENTRY(i + 12), PALETTE_ENTRY(i + 13), PALETTE_ENTRY(i + 14), PALETTE_ENTRY(i + 15)

constexpr uint8_t DEFAULT_PALETTE[256][3] = {
    PALETTE_ROW(0),   PALETTE_ROW(16),  PALETTE_ROW(32),  PALETTE_ROW(48),
    PALETTE_ROW(64),  PALETTE_ROW(80),  PALETTE_ROW(96),  PALETTE_ROW(112),
    PALETTE_ROW(128), PALETTE_ROW(144), PALETTE_ROW(160), PALETTE_ROW(176),
    PALETTE_ROW(192), PALETTE_ROW(208), PALETTE_ROW(224), PALETTE_ROW(240),
};

#undef PALETTE_ROW
#undef PALETTE_ENTRY

}  // namespace surface
