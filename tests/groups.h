// The test's own reading of a board: whole same-coloured groups by flood fill, the cells
// that have a same-coloured neighbour, and tile counts. Independent of the board code, so
// that tests can check the game against it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "board/board.h"

namespace groups {

using CellList = std::vector<std::array<int32_t, 2>>;  // {x, y} pairs

// 1 for each cell of the whole same-coloured group around (x, y), 0 elsewhere.
board::Grid wholeGroup(const board::Grid& codes, int32_t x, int32_t y);

// The number of 1 cells in a grid of 0/1 marks.
int32_t cellCount(const board::Grid& cells);

// Tiles with a neighbour of their colour above, below, left or right: the cells where a
// left press removes a group. Columns from the left, each from the top.
CellList cellsWithAPartner(const board::Grid& codes);

// Whether any move is left: two neighbouring tiles of one colour.
bool hasMoves(const board::Grid& codes);

// Tiles of each colour: [h - 1] for colour h = 1..5.
std::array<int32_t, board::COLOUR_COUNT> colourCounts(const board::Grid& codes);

}  // namespace groups
