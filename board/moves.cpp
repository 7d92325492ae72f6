// A move's board transformations (removal, falling tiles, closing columns) and its points.
#include <cmath>

#include "board/board.h"

namespace board {

void removeMarked() {
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            if (at(GroupMarks, x, y) == 1) {
                at(Board, x, y) = EMPTY;
            }
        }
    }
}

// Scanning each column downward, every hole pulls the cells above it down by one; the
// cells above the scan point are already packed, so one pass per column suffices.
void settleColumns() {
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            if (at(Board, x, y) == EMPTY) {
                for (int32_t k = y; k >= 2; --k) {
                    at(Board, x, k) = at(Board, x, k - 1);
                }
                at(Board, x, 1) = EMPTY;
            }
        }
    }
}

// After settling an empty bottom cell means an empty column. A pass shifts each empty
// column out once and moves on, so N passes close any number of empty columns.
void closeEmptyColumns() {
    for (int32_t pass = 0; pass < BOARD_SIZE; ++pass) {
        for (int32_t c = 1; c <= BOARD_SIZE; ++c) {
            if (at(Board, c, BOARD_SIZE) != EMPTY) {
                continue;
            }
            for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
                for (int32_t k = c; k <= BOARD_SIZE - 1; ++k) {
                    at(Board, k, y) = at(Board, k + 1, y);
                }
                at(Board, BOARD_SIZE, y) = EMPTY;
            }
        }
    }
}

namespace {

double cubeThird(int32_t n) {
    const auto size = static_cast<double>(n);
    return size * size * size / 3.0;
}

}  // namespace

// n^3 / 3 is never exactly a half, so the rounding mode's tie rule never matters here.
int32_t moveGain(int32_t n) {
    return static_cast<int32_t>(std::nearbyint(cubeThird(n)));
}

// The preview rounds down, so for n^3 mod 3 = 2 the move earns one point more than shown.
int32_t previewGain(int32_t n) {
    return static_cast<int32_t>(std::floor(cubeThird(n)));
}

}  // namespace board
