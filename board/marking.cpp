// Marking the group of same-coloured tiles around a cell, and the test for remaining moves.
#include "board/board.h"

namespace board {

namespace {

// Enough sweeps for any compact group; a long winding one may stay partly marked.
constexpr int32_t MARKING_SWEEPS = 2 * BOARD_SIZE;

bool isPlayingCell(int32_t x, int32_t y) {
    return x >= 1 && x <= BOARD_SIZE && y >= 1 && y <= BOARD_SIZE;
}

void markIfGroupColour(int32_t x, int32_t y) {
    if (isPlayingCell(x, y) && at(Board, x, y) == groupColour) {
        at(GroupMarks, x, y) = 1;
    }
}

}  // namespace

// Each sweep runs columns left to right and each column top to bottom, so a mark set
// right or below is spread further in the same sweep, one set left or above only in the
// next. The sweep count is fixed, which decides how much of a long group is reached.
void markGroup(int32_t cx, int32_t cy) {
    for (auto& column : GroupMarks) {
        column.fill(0);
    }
    at(GroupMarks, cx, cy) = 1;
    groupColour = at(Board, cx, cy);
    if (groupColour == EMPTY) {
        return;
    }
    for (int32_t sweep = 0; sweep < MARKING_SWEEPS; ++sweep) {
        for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
            for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
                if (at(GroupMarks, x, y) == 1) {
                    markIfGroupColour(x + 1, y);
                    markIfGroupColour(x - 1, y);
                    markIfGroupColour(x, y + 1);
                    markIfGroupColour(x, y - 1);
                }
            }
        }
    }
}

int32_t countGroup() {
    groupSize = 0;
    if (groupColour == EMPTY) {
        return groupSize;
    }
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            groupSize += at(GroupMarks, x, y);
        }
    }
    return groupSize;
}

bool hasMoves() {
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            const int32_t code = at(Board, x, y);
            if (code == EMPTY) {
                continue;
            }
            if (x < BOARD_SIZE && at(Board, x + 1, y) == code) {
                return true;
            }
            if (y < BOARD_SIZE && at(Board, x, y + 1) == code) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace board
