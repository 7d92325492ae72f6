// The playing field: grids, colour codes, geometry, dealing, marking, moves and points.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace board {

constexpr int32_t BOARD_SIZE = 15;   // cells per side
constexpr int32_t COLOUR_COUNT = 5;  // tile colours
constexpr int32_t CELL_SIZE = 32;    // pixel pitch of one cell
constexpr int32_t BOARD_MARGIN = 8;  // pixels from the window edge to cell 1
constexpr int32_t EMPTY = 0;         // colour code of a cell without a tile

// Colour h (1..5) has code 4h + 28; the code is the tile's palette index.
constexpr int32_t colourCode(int32_t h) {
    return 4 * h + 28;
}

// (N + 1) x (N + 1) codes indexed [x][y]; index 0 is always EMPTY and N + 1 does not exist.
using Grid = std::array<std::array<int32_t, BOARD_SIZE + 1>, BOARD_SIZE + 1>;

// Element (x, y) of a grid for the signed indices the game computes with, 0..N.
constexpr int32_t& at(Grid& grid, int32_t x, int32_t y) {
    return grid[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)];
}
constexpr int32_t at(const Grid& grid, int32_t x, int32_t y) {
    return grid[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)];
}

extern Grid Board;       // the current position
extern Grid SavedDeal;   // the board as last dealt; only dealing writes it
extern Grid GroupMarks;  // 0/1 marks of the last marked group

extern int32_t groupColour;  // code of the starting cell at the last marking
extern int32_t groupSize;    // cells of the last counted group; 0 for an EMPTY start
extern int32_t score;        // running score of the current game

// Geometry: the same mapping serves columns and rows.
int32_t cellToPixel(int32_t a);
int32_t pixelToCell(int32_t p);

// Creates both grids all EMPTY (start-up).
void createGrids();

// Dealing and replay draw the tiles and put the pointer on the centre cell.
void drawTile(int32_t x, int32_t y);
void dealBoard();
void restoreDeal();
void centrePointer();

// Marking and the move test.
void markGroup(int32_t cx, int32_t cy);
int32_t countGroup();
bool hasMoves();

// A move's board transformations, in the order a move applies them.
void removeMarked();
void settleColumns();
void closeEmptyColumns();

// Points of a move and the preview shown before it.
int32_t moveGain(int32_t n);
int32_t previewGain(int32_t n);

}  // namespace board
