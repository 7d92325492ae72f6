// Start-up, the cycle of new games and replays, and the play loop with its commands.
#include <cmath>

#include "control/control.h"
#include "screen/surface.h"

namespace control {

int32_t shownScore = 0;
Cell previousCell = {0, 0};
std::string lastKey;

namespace {

constexpr int32_t START_PAUSE_MS = 200;
constexpr int32_t TITLE_FOREGROUND = 10;
constexpr int32_t NORMAL_FOREGROUND = 7;
constexpr int32_t KEEP = -1;
constexpr unsigned char BAR_CHARACTER = 196;  // a one-pixel line across the cell
constexpr char GAME_TITLE[] = " Corvane ";
constexpr char CREDIT_TEXT[] = " a puzzle of colours";  // twenty characters
constexpr char ESCAPE_KEY[] = "\x1b";

}  // namespace

void showTitleLine() {
    const int32_t textColumns = board::BOARD_SIZE * board::CELL_SIZE / 8;
    const int32_t row = textColumns + 13;
    surface::setColours(TITLE_FOREGROUND, KEEP);
    surface::locate(row, 1);
    surface::printText(
        std::string(static_cast<size_t>(textColumns), static_cast<char>(BAR_CHARACTER)));
    surface::locate(row, 1);
    surface::printText(GAME_TITLE);
    surface::locate(row, textColumns - 18);
    surface::printText(CREDIT_TEXT);
    surface::setColours(NORMAL_FOREGROUND, KEEP);
}

void startPlay() {
    board::score = 0;
    board::groupSize = 0;  // marks made before a deal or replay never make a move
    surface::pause(START_PAUSE_MS);
}

void newGame() {
    surface::clearScreen();
    showTitleLine();
    board::dealBoard();
    startPlay();
}

void replay() {
    board::restoreDeal();
    startPlay();
}

void quit() {
    surface::endProgram(0);
}

void startUp() {
    board::createGrids();
    surface::openWindow(WINDOW_WIDTH, WINDOW_HEIGHT);
    // Whole seconds of the clock: runs started within the same second deal alike.
    surface::seedRandom(surface::clockSeconds());
    newGame();
}

void playIteration() {
    const surface::PointerState pointer = surface::pollPointer();
    playTurnFirstHalf(pointer.x, pointer.y, pointer.buttons);
    if (buttonHeld(pointer.buttons, surface::BUTTON_RIGHT)) {
        quit();
    }
    if (playTurnSecondHalf()) {
        return;  // the panel started a new game: its loop begins with a pointer poll
    }
    lastKey = surface::pollKey();
    if (lastKey == " ") {
        newGame();
    } else if (lastKey == ESCAPE_KEY) {
        quit();
    } else if (lastKey == "r") {
        replay();
    }
}

void run() {
    startUp();
    for (;;) {
        playIteration();
    }
}

}  // namespace control
