#include "screen/displays.h"

#include <array>
#include <cmath>
#include <string>

#include "board/board.h"
#include "screen/surface.h"

namespace displays {

namespace {

using board::BOARD_SIZE;
using board::CELL_SIZE;

constexpr int32_t NORMAL_FOREGROUND = 7;
constexpr int32_t NORMAL_BACKGROUND = 0;
constexpr int32_t INFO_FOREGROUND = 10;
constexpr int32_t SCORE_FOREGROUND = 11;
constexpr int32_t KEEP = -1;  // setColours: leave that colour as it is

// Layout values derive from the board constants in double precision.
constexpr double N = BOARD_SIZE;
constexpr double CELL = CELL_SIZE;

int32_t nearest(double value) {
    return static_cast<int32_t>(std::nearbyint(value));
}

struct PanelLine {
    int32_t row;
    int32_t column;
    int32_t foreground;
    int32_t background;
    const char* text;
};

}  // namespace

void redrawBoard() {
    // counts[h - 1] for colour h = 1..5.
    std::array<int32_t, board::COLOUR_COUNT> counts{};
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            board::drawTile(x, y);
            for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
                if (board::at(board::Board, x, y) == board::colourCode(h)) {
                    ++counts[static_cast<size_t>(h - 1)];
                }
            }
        }
    }
    const int32_t countRow = nearest(N * CELL / 8 + CELL / 8 + 4);
    for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
        surface::fillBox(h * CELL - CELL / 2, N * CELL + CELL, h * CELL, N * CELL + CELL + CELL / 2,
                         board::colourCode(h));
        surface::locate(countRow, nearest(CELL * h / 8 - 1));
        surface::printNumber("##", counts[static_cast<size_t>(h - 1)]);
    }
}

void showGroup() {
    board::groupSize = 0;
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            if (board::at(board::GroupMarks, x, y) == 1 && board::groupColour != board::EMPTY) {
                ++board::groupSize;
                surface::outlineBox(board::cellToPixel(x) + 2, board::cellToPixel(y) + 2,
                                    board::cellToPixel(x + 1) - 6, board::cellToPixel(y + 1) - 6,
                                    board::at(board::Board, x, y) + 32);
            }
        }
    }
    // The text continues where the legend's last count left the cursor; the trailing
    // spaces wipe the end of a longer previous text.
    surface::setColours(INFO_FOREGROUND, KEEP);
    surface::printText("   " + surface::decimalText(board::groupSize) + " (+" +
                       surface::decimalText(board::previewGain(board::groupSize)) + ")     ");
    surface::setColours(NORMAL_FOREGROUND, KEEP);
}

void showScore() {
    surface::setColours(SCORE_FOREGROUND, KEEP);
    surface::locate(nearest(N * CELL / 8 + 5), nearest(N * CELL / 8 - 15));
    surface::printNumber("score: ######", board::score);
    surface::setColours(NORMAL_FOREGROUND, KEEP);
}

void showEndPanel() {
    const int32_t b = nearest(N * CELL / 16);
    const PanelLine lines[] = {
        {b - 1, b - 5, 15, 4, "             "},
        {b, b - 5, 15, 4, " END of GAME "},
        {b + 1, b - 5, 15, 4, "             "},
        {b + 3, b - 11, 1, 7, "          New game?       "},
        {b + 4, b - 11, 1, 7, " Press left mouse button  "},
        {b + 5, b - 11, 1, 7, "         Quit game?       "},
        {b + 6, b - 11, 1, 7, " Press right mouse button "},
    };
    for (const PanelLine& line : lines) {
        surface::locate(line.row, line.column);
        surface::setColours(line.foreground, line.background);
        surface::printText(line.text);
    }
    surface::setColours(NORMAL_FOREGROUND, NORMAL_BACKGROUND);
    surface::beep();
}

}  // namespace displays
