// Small pictures of boards and readers of the frame, shared by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "board/board.h"
#include "control/control.h"
#include "screen/font.h"

namespace fixtures {

// The game's module state as at program start (before control::startUp).
inline void resetProgramState() {
    control::shownScore = 0;
    control::previousCell = {0, 0};
    control::lastKey.clear();
    board::GroupMarks = {};
    board::groupColour = board::EMPTY;
    board::groupSize = 0;
}

// Letters of a board picture: b blue, m magenta, r red, y yellow, g green (colours 1..5),
// '.' EMPTY.
constexpr std::string_view LETTERS = "bmryg";

inline int32_t codeOf(char letter) {
    const size_t h = LETTERS.find(letter);
    return h == std::string_view::npos ? board::EMPTY
                                       : board::colourCode(static_cast<int32_t>(h) + 1);
}

inline char letterOf(int32_t code) {
    for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
        if (code == board::colourCode(h)) {
            return LETTERS[static_cast<size_t>(h - 1)];
        }
    }
    return code == board::EMPTY ? '.' : '?';
}

// Sets Board to the picture, its last line on the bottom row and its first column on
// column 1; every other cell is EMPTY.
inline void setBoard(const std::vector<std::string>& picture) {
    board::Board = {};
    const int32_t top = board::BOARD_SIZE - static_cast<int32_t>(picture.size()) + 1;
    for (int32_t line = 0; line < static_cast<int32_t>(picture.size()); ++line) {
        const std::string& cells = picture[static_cast<size_t>(line)];
        for (int32_t column = 0; column < static_cast<int32_t>(cells.size()); ++column) {
            board::at(board::Board, column + 1, top + line) =
                codeOf(cells[static_cast<size_t>(column)]);
        }
    }
}

inline bool cellShows(const uint8_t* frame, int32_t width, int32_t row, int32_t column,
                      int32_t code, int32_t foreground, int32_t background) {
    for (int32_t py = 0; py < 8; ++py) {
        for (int32_t px = 0; px < 8; ++px) {
            const bool lit = ((surface::FONT_8X8[code][py] >> (7 - px)) & 1) != 0;
            const size_t at = static_cast<size_t>((row - 1) * 8 + py) * static_cast<size_t>(width) +
                              static_cast<size_t>((column - 1) * 8 + px);
            if (frame[at] != (lit ? foreground : background)) {
                return false;
            }
        }
    }
    return true;
}

// The text of `length` cells from (row, column), each cell read as the character whose
// glyph it shows in the given colours; printable ASCII is tried first, so a blank cell
// reads ' '. '?' where no glyph matches.
inline std::string readText(const uint8_t* frame, int32_t width, int32_t row, int32_t column,
                            int32_t length, int32_t foreground, int32_t background) {
    std::string text;
    for (int32_t c = column; c < column + length; ++c) {
        char found = '?';
        for (int32_t i = 0; i < 256; ++i) {
            const int32_t code = (i + 32) % 256;
            if (cellShows(frame, width, row, c, code, foreground, background)) {
                found = static_cast<char>(code);
                break;
            }
        }
        text += found;
    }
    return text;
}

// A line of text as the game prints it: from (row, column), in these colours.
struct TextLine {
    int32_t row;
    int32_t column;
    int32_t foreground;
    int32_t background;
    std::string text;
};

// The game-over panel over the middle of the board.
inline const std::vector<TextLine> END_PANEL = {
    {29, 25, 15, 4, "             "},
    {30, 25, 15, 4, " END of GAME "},
    {31, 25, 15, 4, "             "},
    {33, 19, 1, 7, "          New game?       "},
    {34, 19, 1, 7, " Press left mouse button  "},
    {35, 19, 1, 7, "         Quit game?       "},
    {36, 19, 1, 7, " Press right mouse button "},
};

// Whether every cell of the line shows its character's glyph in the line's colours.
inline bool lineShows(const uint8_t* frame, int32_t width, const TextLine& line) {
    for (size_t i = 0; i < line.text.size(); ++i) {
        if (!cellShows(frame, width, line.row, line.column + static_cast<int32_t>(i),
                       static_cast<unsigned char>(line.text[i]), line.foreground,
                       line.background)) {
            return false;
        }
    }
    return true;
}

}  // namespace fixtures
