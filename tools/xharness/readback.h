// The board read back from the game's window pixels, shared by the real-window tests and
// the benchmark: each tile's colour code, and whether it is outlined.
#pragma once

#include <cstdint>
#include <functional>

#include "board/board.h"

namespace readback {

// Tiles are 29 pixels square; an outline is a one-pixel ring this far inside the tile.
constexpr int32_t TILE = board::CELL_SIZE - 3;
constexpr int32_t RING = 2;
// A tile's outline is drawn in its code plus this.
constexpr int32_t OUTLINE_OFFSET = 32;

// The middle of a cell's tile on one axis, in client pixels: where a pointer aimed at the
// cell goes.
inline int32_t cellMiddle(int32_t cell) {
    return board::cellToPixel(cell) + TILE / 2;
}

// The 0xRRGGBB colour of the client-area pixel (x, y).
using Pixels = std::function<uint32_t(int32_t x, int32_t y)>;

// The 0xRRGGBB colour the window shows for a palette index.
uint32_t paletteRgb(int32_t index);

// One cell from two pixels: its code from the tile's top-left pixel, which an outline never
// covers, and whether the outline's ring shows two pixels in. False where the corner shows
// neither a tile colour nor black.
bool readCorner(const Pixels& pixel, int32_t x, int32_t y, int32_t& code, bool& outlined);

// Each cell's code from its tile's top-left pixel, which an outline never covers: the code
// of a tile colour, or EMPTY for black. False where a cell shows anything else.
bool readCodes(const Pixels& pixel, board::Grid& codes);

// Whole tiles: false unless every tile is one fill colour throughout but for, on an
// outlined tile, its outline ring, and the gaps between tiles are black. `outlines` gets 1
// for each outlined cell.
bool readTiles(const Pixels& pixel, board::Grid& codes, board::Grid& outlines);

// Whether every cell holds a tile, as after a deal.
bool full(const board::Grid& codes);

}  // namespace readback
