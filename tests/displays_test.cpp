// The board redraw, legend, group outline, info text, score line and game-over panel,
// checked cell by cell and pixel by pixel on the frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "control/control.h"
#include "screen/displays.h"
#include "screen/surface.h"
#include "tests/fixtures.h"
#include "tests/scripted_host.h"

namespace {

constexpr int32_t WIDTH = control::WINDOW_WIDTH;
constexpr int32_t HEIGHT = control::WINDOW_HEIGHT;

class Displays : public ::testing::Test {
  protected:
    void SetUp() override {
        script::reset();
        surface::openWindow(WIDTH, HEIGHT);
        surface::setColours(7, 0);  // the colours the game keeps outside its displays
        board::createGrids();
        board::GroupMarks = {};
        board::groupColour = board::EMPTY;
        board::groupSize = 0;
        board::score = 0;
    }

    static std::string text(int32_t row, int32_t column, int32_t length, int32_t foreground,
                            int32_t background = 0) {
        return fixtures::readText(surface::frame(), WIDTH, row, column, length, foreground,
                                  background);
    }

    static int32_t pixel(int32_t x, int32_t y) {
        return surface::frame()[static_cast<size_t>(y * WIDTH + x)];
    }

    static void pointAt(int32_t x, int32_t y) {
        board::markGroup(x, y);
        displays::showGroup();
    }
};

// Fills the board column by column from the top with the given number of tiles per colour.
void fillWithCounts(const std::vector<int32_t>& counts) {
    int32_t cell = 0;
    for (size_t h = 0; h < counts.size(); ++h) {
        for (int32_t i = 0; i < counts[h]; ++i, ++cell) {
            board::at(board::Board, cell / board::BOARD_SIZE + 1, cell % board::BOARD_SIZE + 1) =
                board::colourCode(static_cast<int32_t>(h) + 1);
        }
    }
}

TEST_F(Displays, LegendBoxesAndCountsStandUnderTheBoard) {
    fillWithCounts({100, 0, 5, 7, 113});
    displays::redrawBoard();

    for (int32_t h = 1; h <= 5; ++h) {
        const int32_t left = 32 * h - 16;
        const int32_t right = 32 * h;
        EXPECT_EQ(pixel(left, 512), board::colourCode(h)) << "colour " << h;
        EXPECT_EQ(pixel(right, 528), board::colourCode(h)) << "colour " << h;
        EXPECT_EQ(pixel(left - 1, 512), 0) << "colour " << h;
        EXPECT_EQ(pixel(right + 1, 528), 0) << "colour " << h;
        EXPECT_EQ(pixel(left, 529), 0) << "colour " << h;
        EXPECT_EQ(pixel(left, 511), 0) << "colour " << h;
    }
    // A colour with no tiles shows " 0"; counts of 100 or more take three places.
    EXPECT_EQ(text(68, 3, 3, 7), "100");
    EXPECT_EQ(text(68, 7, 2, 7), " 0");
    EXPECT_EQ(text(68, 11, 2, 7), " 5");
    EXPECT_EQ(text(68, 15, 2, 7), " 7");
    EXPECT_EQ(text(68, 19, 3, 7), "113");

    // The info text follows the fifth count, one column further right here.
    pointAt(1, 1);
    EXPECT_EQ(text(68, 22, 21, 10), "   100 (+333333)     ");
}

TEST_F(Displays, TilesAreRepaintedAndEmptyCellsErased) {
    surface::fillBox(0, 0, WIDTH - 1, 500, 9);  // stale pixels everywhere on the board
    fixtures::setBoard({"bm"});
    displays::redrawBoard();

    EXPECT_EQ(pixel(8, 456), board::colourCode(1));
    EXPECT_EQ(pixel(484, 484), 0);  // empty cell (15, 15) drawn black
    EXPECT_EQ(pixel(40, 456), board::colourCode(2));
    EXPECT_EQ(pixel(37, 456), 9);   // the gaps between tiles are not the tiles' to draw
    EXPECT_EQ(pixel(490, 490), 9);  // the right margin is not the board's
}

struct InfoCase {
    const char* name;
    int32_t column;
    int32_t row;
    const char* text;
};

TEST_F(Displays, InfoTextDescribesTheMarkedGroup) {
    const InfoCase cases[] = {
        {"group of five", 1, 15, "   5 (+41)     "},
        {"lone tile", 3, 15, "   1 (+0)     "},
        {"empty cell", 5, 1, "   0 (+0)     "},
        {"pair", 4, 15, "   2 (+2)     "},
    };
    fixtures::setBoard({
        "b....",
        "bbmrr",
        "bbgyy",
    });
    for (const InfoCase& c : cases) {
        displays::redrawBoard();
        pointAt(c.column, c.row);
        EXPECT_EQ(text(68, 21, static_cast<int32_t>(std::string(c.text).size()), 10), c.text)
            << c.name;
        EXPECT_EQ(surface::textState().foreground, 7) << c.name;
    }
    // An empty cell gets no outline: it stays black throughout.
    displays::redrawBoard();
    pointAt(5, 1);
    for (int32_t i = 0; i < 29; ++i) {
        EXPECT_EQ(pixel(board::cellToPixel(5) + i, board::cellToPixel(1) + 2), 0);
    }
}

TEST_F(Displays, OutlineLiesTwoPixelsInsideEachMarkedTile) {
    fixtures::setBoard({
        "bm",
        "bb",
    });
    displays::redrawBoard();
    pointAt(1, 15);

    // Tile (2, 15): 29 pixels from (40, 456); its outline runs from +2 to +26.
    const int32_t left = 40;
    const int32_t top = 456;
    const int32_t outline = board::colourCode(1) + 32;
    for (int32_t i = 2; i <= 26; ++i) {
        EXPECT_EQ(pixel(left + i, top + 2), outline);
        EXPECT_EQ(pixel(left + i, top + 26), outline);
        EXPECT_EQ(pixel(left + 2, top + i), outline);
        EXPECT_EQ(pixel(left + 26, top + i), outline);
    }
    EXPECT_EQ(pixel(left + 1, top + 1), board::colourCode(1));    // the ring outside
    EXPECT_EQ(pixel(left + 27, top + 27), board::colourCode(1));  // ... on both sides
    EXPECT_EQ(pixel(left + 3, top + 3), board::colourCode(1));    // the 23 x 23 interior
    EXPECT_EQ(pixel(left + 25, top + 25), board::colourCode(1));
    EXPECT_EQ(pixel(40 + 2, 424 + 2), board::colourCode(2));  // the magenta tile is not marked
    EXPECT_EQ(board::groupSize, 3);
}

TEST_F(Displays, ScoreLinePrintsTheScoreInSixPlacesOrMore) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "score:      0"}, {41, "score:     41"}, {1000000, "score: 1000000"}};
    for (const auto& [score, expected] : cases) {
        board::score = score;
        displays::showScore();
        EXPECT_EQ(text(65, 45, static_cast<int32_t>(std::string(expected).size()), 11), expected);
        EXPECT_EQ(surface::textState().foreground, 7);
    }
}

TEST_F(Displays, EndPanelShowsItsLinesAndBeeps) {
    displays::showEndPanel();

    const char* heading[] = {"             ", " END of GAME ", "             "};
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(text(29 + i, 25, 13, 15, 4), heading[i]);
    }
    const char* question[] = {"          New game?       ", " Press left mouse button  ",
                              "         Quit game?       ", " Press right mouse button "};
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(text(33 + i, 19, 26, 1, 7), question[i]);
    }
    EXPECT_EQ(pixel(8 * 24 - 1, 8 * 28), 0);  // just left of the heading
    EXPECT_EQ(pixel(8 * 24, 8 * 31), 0);      // row 32 stays clear

    const surface::TextState state = surface::textState();
    EXPECT_EQ(state.foreground, 7);
    EXPECT_EQ(state.background, 0);
    ASSERT_EQ(script::tones().size(), 1u);
    EXPECT_EQ(script::tones()[0].hertz, 1000);
    EXPECT_EQ(script::tones()[0].ms, 250);
    // The panel was on screen as the tone began.
    EXPECT_EQ(script::tones()[0].shown[static_cast<size_t>(8 * 28 * WIDTH + 8 * 24)], 4);
}

}  // namespace
