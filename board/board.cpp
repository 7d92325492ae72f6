// The grids and the mapping between cells and window pixels.
#include "board/board.h"

#include "screen/surface.h"

namespace board {

Grid Board{};
Grid SavedDeal{};
Grid GroupMarks{};

int32_t groupColour = EMPTY;
int32_t groupSize = 0;
int32_t score = 0;

int32_t cellToPixel(int32_t a) {
    return (a - 1) * CELL_SIZE + BOARD_MARGIN;
}

// Integer division truncates toward zero, so the margin and the small negative values
// just left of or above the board fall into cell 1.
int32_t pixelToCell(int32_t p) {
    return (p - BOARD_MARGIN) / CELL_SIZE + 1;
}

void createGrids() {
    for (auto& column : Board) {
        column.fill(EMPTY);
    }
    SavedDeal = Board;
}

// The box stops 3 pixels short of the next cell, leaving the gap between tiles.
void drawTile(int32_t x, int32_t y) {
    surface::fillBox(cellToPixel(x), cellToPixel(y), cellToPixel(x + 1) - 4, cellToPixel(y + 1) - 4,
                     at(Board, x, y));
}

}  // namespace board
