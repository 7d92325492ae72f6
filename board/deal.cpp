// Dealing a random board, replaying the deal, and centring the pointer after either.
#include <cmath>

#include "board/board.h"
#include "screen/surface.h"

namespace board {

void dealBoard() {
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            const double r = surface::nextRandom();
            const auto k = static_cast<int32_t>(std::floor(r * COLOUR_COUNT));
            at(Board, x, y) = colourCode(k + 1);
            at(SavedDeal, x, y) = at(Board, x, y);
            drawTile(x, y);
        }
    }
    centrePointer();
}

void restoreDeal() {
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            at(Board, x, y) = at(SavedDeal, x, y);
            drawTile(x, y);
        }
    }
    centrePointer();
}

// A third of a cell into the centre tile, so the pointer rests on the tile, not the gap.
void centrePointer() {
    const auto centre = static_cast<int32_t>(std::nearbyint(BOARD_SIZE / 2.0));
    const auto p = static_cast<int32_t>(std::nearbyint(cellToPixel(centre) + CELL_SIZE / 3.0));
    surface::movePointer(p, p);
}

}  // namespace board
