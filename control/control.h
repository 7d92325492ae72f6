// Game control: start-up, the cycle of new games and replays, the play loop and the play turn.
#pragma once

#include <cstdint>
#include <string>

#include "board/board.h"

namespace control {

struct Cell {
    int32_t column;
    int32_t row;
};

extern int32_t shownScore;   // score at the last redraw of the play turn
extern Cell previousCell;    // cell under the pointer at the end of the last turn
extern std::string lastKey;  // the last key poll's result, "" when none was waiting

// Window size derived from the board constants.
constexpr int32_t WINDOW_WIDTH = board::BOARD_SIZE * board::CELL_SIZE + 16;
constexpr int32_t WINDOW_HEIGHT = board::BOARD_SIZE * board::CELL_SIZE + 112;

void startUp();           // grids, window, seed, first game
void playIteration();     // one iteration of the play loop
[[noreturn]] void run();  // startUp, then the play loop until the program ends

void newGame();
void replay();
void startPlay();
[[noreturn]] void quit();
void showTitleLine();

// Whether a polled button mask holds the button; a mask of -1 (pointer away) holds none.
bool buttonHeld(int32_t buttons, int32_t button);

// The play turn's two halves around the right-button test. The second half returns true
// when the game-over panel started a new game, which begins the loop afresh.
void playTurnFirstHalf(int32_t x, int32_t y, int32_t buttons);
bool playTurnSecondHalf();

}  // namespace control
