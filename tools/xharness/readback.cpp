#include "tools/xharness/readback.h"

#include <algorithm>

#include "screen/palette.h"

namespace readback {

namespace {

using board::BOARD_SIZE;

// The code whose colour is `rgb`: a tile colour's code, EMPTY for black, -1 for others.
int32_t codeOf(uint32_t rgb) {
    for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
        if (paletteRgb(board::colourCode(h)) == rgb) {
            return board::colourCode(h);
        }
    }
    return rgb == paletteRgb(board::EMPTY) ? board::EMPTY : -1;
}

bool readTile(const Pixels& pixel, int32_t x, int32_t y, int32_t& code, bool& outlined) {
    const int32_t left = board::cellToPixel(x);
    const int32_t top = board::cellToPixel(y);
    const uint32_t fill = pixel(left, top);
    code = codeOf(fill);
    if (code < 0) {
        return false;
    }
    const uint32_t outline = paletteRgb(code + OUTLINE_OFFSET);
    outlined = code != board::EMPTY && pixel(left + RING, top + RING) == outline;
    for (int32_t dy = 0; dy < TILE; ++dy) {
        for (int32_t dx = 0; dx < TILE; ++dx) {
            const int32_t depth = std::min({dx, dy, TILE - 1 - dx, TILE - 1 - dy});
            if (pixel(left + dx, top + dy) != (outlined && depth == RING ? outline : fill)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

uint32_t paletteRgb(int32_t index) {
    const uint8_t* entry = surface::DEFAULT_PALETTE[index & 255];
    return (static_cast<uint32_t>(entry[0]) << 16) | (static_cast<uint32_t>(entry[1]) << 8) |
           entry[2];
}

bool readCorner(const Pixels& pixel, int32_t x, int32_t y, int32_t& code, bool& outlined) {
    const int32_t left = board::cellToPixel(x);
    const int32_t top = board::cellToPixel(y);
    code = codeOf(pixel(left, top));
    outlined =
        code > board::EMPTY && pixel(left + RING, top + RING) == paletteRgb(code + OUTLINE_OFFSET);
    return code >= 0;
}

bool readCodes(const Pixels& pixel, board::Grid& codes) {
    codes = {};
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            bool outlined = false;
            if (!readCorner(pixel, x, y, board::at(codes, x, y), outlined)) {
                return false;
            }
        }
    }
    return true;
}

bool readTiles(const Pixels& pixel, board::Grid& codes, board::Grid& outlines) {
    codes = {};
    outlines = {};
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            bool outlined = false;
            if (!readTile(pixel, x, y, board::at(codes, x, y), outlined)) {
                return false;
            }
            board::at(outlines, x, y) = outlined ? 1 : 0;
        }
    }
    const int32_t first = board::cellToPixel(1);
    const int32_t end = board::cellToPixel(BOARD_SIZE + 1);
    const uint32_t black = paletteRgb(board::EMPTY);
    for (int32_t y = first; y < end; ++y) {
        for (int32_t x = first; x < end; ++x) {
            const bool gap =
                (x - first) % board::CELL_SIZE >= TILE || (y - first) % board::CELL_SIZE >= TILE;
            if (gap && pixel(x, y) != black) {
                return false;
            }
        }
    }
    return true;
}

bool full(const board::Grid& codes) {
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            if (board::at(codes, x, y) == board::EMPTY) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace readback
