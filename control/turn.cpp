// The play turn: follow the pointer from cell to cell, outline the group under it, make a
// move on a held left button, and run the game-over panel when no move is left.
#include "control/control.h"
#include "screen/displays.h"
#include "screen/surface.h"

namespace control {

namespace {

constexpr int32_t MOVE_PAUSE_MS = 200;
constexpr int32_t QUIT_PAUSE_MS = 200;

Cell pointerCell = {0, 0};

bool onBoard(Cell cell) {
    return cell.column >= 1 && cell.column <= board::BOARD_SIZE && cell.row >= 1 &&
           cell.row <= board::BOARD_SIZE;
}

}  // namespace

bool buttonHeld(int32_t buttons, int32_t button) {
    return buttons != -1 && (buttons & button) != 0;
}

void playTurnFirstHalf(int32_t x, int32_t y, int32_t buttons) {
    pointerCell = {board::pixelToCell(x), board::pixelToCell(y)};

    // Redraw when anything visible may have changed; a game begun with the space bar
    // always redraws on its first turn.
    if (pointerCell.column != previousCell.column || pointerCell.row != previousCell.row ||
        board::score != shownScore || lastKey == " ") {
        shownScore = board::score;
        displays::redrawBoard();
        if (onBoard(pointerCell)) {
            board::markGroup(pointerCell.column, pointerCell.row);
            displays::showGroup();
        }
    }

    // The move acts on the last marked group, wherever the pointer is now.
    if (buttonHeld(buttons, surface::BUTTON_LEFT) && board::groupSize > 1) {
        board::score = shownScore + board::moveGain(board::groupSize);
        displays::showScore();
        board::removeMarked();
        board::settleColumns();
        board::closeEmptyColumns();
        displays::redrawBoard();
        surface::pause(MOVE_PAUSE_MS);
        board::groupSize = 0;
    }
}

bool playTurnSecondHalf() {
    previousCell = pointerCell;
    if (board::hasMoves()) {
        return false;
    }
    displays::showEndPanel();
    // Only the mouse leaves the panel; keys typed meanwhile stay queued.
    for (;;) {
        const surface::PointerState pointer = surface::pollPointer();
        if (buttonHeld(pointer.buttons, surface::BUTTON_LEFT)) {
            newGame();
            return true;
        }
        if (buttonHeld(pointer.buttons, surface::BUTTON_RIGHT)) {
            surface::pause(QUIT_PAUSE_MS);
            quit();
        }
    }
}

}  // namespace control
