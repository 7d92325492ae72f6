// The board rules: geometry, dealing and replay, group marking, the move test, removal
// with falling tiles and closing columns, and the points of a move.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "control/control.h"
#include "screen/surface.h"
#include "tests/fixtures.h"
#include "tests/groups.h"
#include "tests/scripted_host.h"

namespace {

using board::at;
using board::Board;
using board::BOARD_SIZE;
using board::EMPTY;
using board::GroupMarks;
using board::SavedDeal;
using fixtures::codeOf;
using fixtures::letterOf;
using fixtures::LETTERS;
using fixtures::setBoard;

constexpr int32_t N = BOARD_SIZE;
using control::WINDOW_HEIGHT;
using control::WINDOW_WIDTH;

// The full N-row picture of a short bottom-aligned one, padded with EMPTY.
std::vector<std::string> fullPicture(const std::vector<std::string>& picture) {
    std::vector<std::string> rows(static_cast<size_t>(N) - picture.size(),
                                  std::string(static_cast<size_t>(N), '.'));
    for (const std::string& line : picture) {
        rows.push_back(line + std::string(static_cast<size_t>(N) - line.size(), '.'));
    }
    return rows;
}

// Playing cells as N rows of letters, top row first.
std::vector<std::string> boardPicture(const board::Grid& grid = Board) {
    std::vector<std::string> rows;
    for (int32_t y = 1; y <= N; ++y) {
        std::string line;
        for (int32_t x = 1; x <= N; ++x) {
            line += letterOf(at(grid, x, y));
        }
        rows.push_back(line);
    }
    return rows;
}

// Marked playing cells as '#'.
std::vector<std::string> marksPicture() {
    std::vector<std::string> rows;
    for (int32_t y = 1; y <= N; ++y) {
        std::string line;
        for (int32_t x = 1; x <= N; ++x) {
            line += at(GroupMarks, x, y) == 1 ? '#' : '.';
        }
        rows.push_back(line);
    }
    return rows;
}

bool edgesEmpty(const board::Grid& grid) {
    for (int32_t i = 0; i <= N; ++i) {
        if (at(grid, 0, i) != 0 || at(grid, i, 0) != 0) {
            return false;
        }
    }
    return true;
}

int32_t framePixel(int32_t x, int32_t y) {
    return surface::frame()[static_cast<size_t>(y) * static_cast<size_t>(WINDOW_WIDTH) +
                            static_cast<size_t>(x)];
}

// Each cell's tile as the frame shows it: the letter of the colour that fills the tile's
// corners and centre, or '?' where they disagree.
std::vector<std::string> framePicture() {
    std::vector<std::string> rows;
    for (int32_t y = 1; y <= N; ++y) {
        std::string line;
        for (int32_t x = 1; x <= N; ++x) {
            const int32_t left = board::cellToPixel(x);
            const int32_t top = board::cellToPixel(y);
            const int32_t colour = framePixel(left, top);
            const bool filled = framePixel(left + 28, top + 28) == colour &&
                                framePixel(left + 14, top + 14) == colour &&
                                framePixel(left + 28, top) == colour &&
                                framePixel(left, top + 28) == colour;
            line += filled ? letterOf(colour) : '?';
        }
        rows.push_back(line);
    }
    return rows;
}

// A move as the game makes it: points first, then the board transformations.
void makeMove(int32_t x, int32_t y) {
    board::markGroup(x, y);
    board::score += board::moveGain(board::countGroup());
    board::removeMarked();
    board::settleColumns();
    board::closeEmptyColumns();
}

class BoardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        script::reset();
        surface::openWindow(WINDOW_WIDTH, WINDOW_HEIGHT);
        board::createGrids();
        GroupMarks = {};
        board::groupColour = EMPTY;
        board::groupSize = 0;
        board::score = 0;
    }
};

// ---- Geometry ----

TEST(Geometry, CellsAndPixelsMapBothWays) {
    const std::vector<std::array<int32_t, 2>> cellEdges = {{1, 8},   {2, 40},   {3, 72},
                                                           {8, 232}, {15, 456}, {16, 488}};
    for (const auto& [cell, pixel] : cellEdges) {
        EXPECT_EQ(board::cellToPixel(cell), pixel) << "cell " << cell;
    }
    // The quotient truncates toward zero: the margin and -1..-23 belong to cell 1.
    const std::vector<std::array<int32_t, 2>> pixelCells = {
        {-24, 0}, {-23, 1}, {-1, 1},  {0, 1},    {7, 1},    {39, 1},   {40, 2},
        {71, 2},  {72, 3},  {243, 8}, {456, 15}, {487, 15}, {488, 16}, {495, 16}};
    for (const auto& [pixel, cell] : pixelCells) {
        EXPECT_EQ(board::pixelToCell(pixel), cell) << "pixel " << pixel;
    }
}

TEST(Geometry, TileLeavesGapAndMarginUntouched) {
    surface::openFrame(WINDOW_WIDTH, WINDOW_HEIGHT);
    constexpr int32_t BACKDROP = 7;
    surface::fillBox(0, 0, WINDOW_WIDTH - 1, WINDOW_HEIGHT - 1, BACKDROP);
    board::createGrids();
    const int32_t red = board::colourCode(3);
    at(Board, 15, 15) = red;
    board::drawTile(15, 15);
    board::drawTile(1, 1);  // EMPTY: erases to black
    for (int32_t p = 440; p < WINDOW_WIDTH; ++p) {
        const int32_t expected = p >= 456 && p <= 484 ? red : BACKDROP;
        EXPECT_EQ(framePixel(p, 470), expected) << "x " << p;
        EXPECT_EQ(framePixel(470, p), expected) << "y " << p;
    }
    for (int32_t p = 0; p < 50; ++p) {
        const int32_t expected = p >= 8 && p <= 36 ? 0 : BACKDROP;
        EXPECT_EQ(framePixel(p, 20), expected) << "x " << p;
        EXPECT_EQ(framePixel(20, p), expected) << "y " << p;
    }
}

// ---- Deal and replay ----

TEST_F(BoardTest, DealFillsBoardDrawsItAndCentresPointer) {
    surface::seedRandom(12345);
    board::dealBoard();
    for (const std::string& row : boardPicture()) {
        EXPECT_EQ(row.find_first_not_of(LETTERS), std::string::npos) << row;
    }
    EXPECT_EQ(SavedDeal, Board);
    EXPECT_TRUE(edgesEmpty(Board));
    EXPECT_TRUE(edgesEmpty(SavedDeal));
    EXPECT_EQ(framePicture(), boardPicture());
    const surface::PointerState pointer = surface::pollPointer();
    EXPECT_EQ(pointer.x, 243);
    EXPECT_EQ(pointer.y, 243);
}

// The deal takes one number per cell, column by column from the left and each column
// from the top, and splits [0, 1) into five equal bands for the colours.
TEST_F(BoardTest, DealFollowsTheSeededSequence) {
    surface::seedRandom(777);
    std::vector<std::string> expected(static_cast<size_t>(N), std::string(15, '.'));
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            const auto band = static_cast<size_t>(surface::nextRandom() * 5);
            expected[static_cast<size_t>(y - 1)][static_cast<size_t>(x - 1)] = LETTERS[band];
        }
    }
    surface::seedRandom(777);
    board::dealBoard();
    EXPECT_EQ(boardPicture(), expected);
    const board::Grid first = Board;
    surface::seedRandom(778);
    board::dealBoard();
    EXPECT_NE(Board, first);
    EXPECT_EQ(SavedDeal, Board);
}

TEST_F(BoardTest, ColoursAreNearlyEquallyFrequent) {
    constexpr int32_t DEALS = 200;
    surface::seedRandom(2024);
    std::array<int32_t, board::COLOUR_COUNT> counts{};
    for (int32_t deal = 0; deal < DEALS; ++deal) {
        board::dealBoard();
        for (const std::string& row : boardPicture()) {
            for (char letter : row) {
                ++counts[LETTERS.find(letter)];
            }
        }
    }
    // 45000 tiles: each colour expects 9000 with a standard deviation near 85.
    const int32_t expected = DEALS * N * N / board::COLOUR_COUNT;
    for (int32_t count : counts) {
        EXPECT_NEAR(count, expected, expected / 20);
    }
}

TEST_F(BoardTest, ReplayRestoresTheDealAfterMoves) {
    surface::seedRandom(99);
    board::dealBoard();
    const board::Grid dealt = Board;
    makeMove(8, 8);
    at(Board, 1, 15) = EMPTY;
    at(Board, 15, 1) = board::colourCode(1);
    surface::fillBox(0, 0, WINDOW_WIDTH - 1, WINDOW_HEIGHT - 1, 0);
    surface::movePointer(0, 0);

    board::restoreDeal();
    EXPECT_EQ(Board, dealt);
    EXPECT_EQ(SavedDeal, dealt);
    EXPECT_EQ(framePicture(), boardPicture());
    const surface::PointerState pointer = surface::pollPointer();
    EXPECT_EQ(pointer.x, 243);
    EXPECT_EQ(pointer.y, 243);
}

// ---- Points ----

TEST(Points, MoveGainRoundsAndPreviewFloors) {
    struct Case {
        int32_t n;
        int32_t move;
        int32_t preview;
    };
    const std::vector<Case> cases = {
        {1, 0, 0},     {2, 3, 2},      {3, 9, 9},      {4, 21, 21},    {5, 42, 41},
        {8, 171, 170}, {10, 333, 333}, {11, 444, 443}, {14, 915, 914}, {225, 3796875, 3796875}};
    for (const Case& c : cases) {
        EXPECT_EQ(board::moveGain(c.n), c.move) << "n " << c.n;
        EXPECT_EQ(board::previewGain(c.n), c.preview) << "n " << c.n;
    }
}

// ---- Marking ----

TEST_F(BoardTest, MarkingStopsAtOtherColoursDiagonalsAndEmptyCells) {
    struct Case {
        const char* name;
        std::vector<std::string> picture;
        int32_t x;
        int32_t y;
        std::vector<std::string> marks;
        int32_t size;
    };
    const std::vector<Case> cases = {
        {"lone tile", {"mbm", "bmb", "mbm"}, 2, 14, {"...", ".#.", "..."}, 1},
        {"diagonal chain", {"b.r", "rbr", "rrb"}, 1, 13, {"#..", "...", "..."}, 1},
        {"empty start", {"b.b", "bbb"}, 2, 14, {".#.", "..."}, 0},
        {"pair", {"yg", "yr"}, 1, 15, {"#.", "#."}, 2},
    };
    for (const Case& c : cases) {
        setBoard(c.picture);
        board::markGroup(c.x, c.y);
        EXPECT_EQ(marksPicture(), fullPicture(c.marks)) << c.name;
        EXPECT_EQ(board::groupColour, at(Board, c.x, c.y)) << c.name;
        EXPECT_EQ(board::countGroup(), c.size) << c.name;
        EXPECT_EQ(board::groupSize, c.size) << c.name;
    }
}

// From the bottom-right corner every cell of a one-colour board lies 28 upward and
// leftward steps away at most, within the 30 sweeps, so all of it is marked.
TEST_F(BoardTest, GroupSpanningTheBoardIsMarkedWhole) {
    setBoard(std::vector<std::string>(static_cast<size_t>(N), std::string(15, 'g')));
    board::markGroup(N, N);
    EXPECT_EQ(marksPicture(),
              std::vector<std::string>(static_cast<size_t>(N), std::string(15, '#')));
    EXPECT_EQ(board::countGroup(), N * N);
    EXPECT_TRUE(edgesEmpty(GroupMarks));
}

// A serpentine of 127 blue cells: full rows 1, 3, ..., 15 joined alternately at the right
// and the left end.
const std::vector<std::string> SERPENTINE = {
    "bbbbbbbbbbbbbbb", "rrrrrrrrrrrrrrb", "bbbbbbbbbbbbbbb", "brrrrrrrrrrrrrr", "bbbbbbbbbbbbbbb",
    "rrrrrrrrrrrrrrb", "bbbbbbbbbbbbbbb", "brrrrrrrrrrrrrr", "bbbbbbbbbbbbbbb", "rrrrrrrrrrrrrrb",
    "bbbbbbbbbbbbbbb", "brrrrrrrrrrrrrr", "bbbbbbbbbbbbbbb", "rrrrrrrrrrrrrrb", "bbbbbbbbbbbbbbb"};

// A sweep carries marks any distance rightward and downward, but only one step leftward
// or upward. From (1, 15): sweep 1 marks row 15 and (15, 14); sweep 2 (15, 13); sweeps
// 3..16 walk row 13 leftward; 17 and 18 climb to (1, 11); sweep 19 marks row 11 and
// (15, 10); 20 marks (15, 9); sweeps 21..30 walk row 9 from column 14 to 5. That is 59
// of the 127 cells.
TEST_F(BoardTest, LongSerpentineIsOnlyPartlyMarked) {
    setBoard(SERPENTINE);
    board::markGroup(1, 15);
    EXPECT_EQ(marksPicture(), fullPicture({"....###########", "..............#", "###############",
                                           "#..............", "###############", "..............#",
                                           "###############"}));
    EXPECT_EQ(board::countGroup(), 59);

    // From (1, 1) the leftward rows are 3, 7 and 11: sweep 1 marks row 1, (15, 2), (15, 3)
    // and (14, 3); row 3 is done by sweep 14, row 7 by sweep 28, and sweeps 29 and 30
    // reach (14, 11) and (13, 11): 83 cells.
    board::markGroup(1, 1);
    std::vector<std::string> expected(SERPENTINE.begin(), SERPENTINE.begin() + 10);
    for (std::string& row : expected) {
        std::replace(row.begin(), row.end(), 'r', '.');
        std::replace(row.begin(), row.end(), 'b', '#');
    }
    expected.push_back("............###");
    expected.resize(static_cast<size_t>(N), std::string(15, '.'));
    EXPECT_EQ(marksPicture(), expected);
    EXPECT_EQ(board::countGroup(), 83);
}

// ---- Move test ----

// Two colours in a checkerboard: equal neighbours only along the diagonals.
std::vector<std::string> checkerboard() {
    std::vector<std::string> rows;
    for (int32_t y = 1; y <= N; ++y) {
        std::string line;
        for (int32_t x = 1; x <= N; ++x) {
            line += (x + y) % 2 == 0 ? 'b' : 'm';
        }
        rows.push_back(line);
    }
    return rows;
}

TEST_F(BoardTest, MovesNeedAnOrthogonalPairOfTiles) {
    const std::vector<std::string> diagonals = checkerboard();
    std::vector<std::string> bottomPair = diagonals;
    bottomPair[14][13] = 'y';
    bottomPair[14][14] = 'y';
    std::vector<std::string> lastColumnPair = diagonals;
    lastColumnPair[0][14] = 'g';
    lastColumnPair[1][14] = 'g';
    struct Case {
        const char* name;
        std::vector<std::string> picture;
        bool moves;
    };
    const std::vector<Case> cases = {
        {"diagonals only", diagonals, false},
        {"pair on the bottom row", bottomPair, true},
        {"pair in the last column", lastColumnPair, true},
        {"two tiles stacked in the corner", {"r", "r"}, true},
        {"a single tile", {"r"}, false},
        {"empty board", {}, false},
    };
    for (const Case& c : cases) {
        setBoard(c.picture);
        EXPECT_EQ(board::hasMoves(), c.moves) << c.name;
    }
}

// ---- Removal and collapse ----

TEST_F(BoardTest, RemovedGroupsLetTilesFallAndColumnsClose) {
    struct Case {
        const char* name;
        std::vector<std::string> before;
        int32_t x;
        int32_t y;
        std::vector<std::string> after;
    };
    const std::vector<Case> cases = {
        {"group on the bottom row: tiles fall by the holes below them",
         {"r..", "bm.", "bbm"},
         1,
         15,
         {"rmm"}},
        {"holes apart in one column keep the order of the tiles",
         {"m..", "bb.", "rb.", "bb."},
         2,
         15,
         {"m", "r"}},
        {"emptying column 1 shifts every column left",
         {"g..............", "gbmrybmrybmrybm"},
         1,
         15,
         {"bmrybmrybmrybm."}},
        {"emptying columns 3 and 4 shifts columns 5..15 two places",
         {"ymg.b..........", "brggybrymbrymbr"},
         3,
         15,
         {"ymb............", "brybrymbrymbr.."}},
        {"emptying column 15 shifts nothing",
         {"..............y", "bmrgbmrgbmrgbmy"},
         15,
         14,
         {"bmrgbmrgbmrgbm."}},
    };
    for (const Case& c : cases) {
        setBoard(c.before);
        SavedDeal = Board;
        const board::Grid dealt = SavedDeal;
        makeMove(c.x, c.y);
        EXPECT_EQ(boardPicture(), fullPicture(c.after)) << c.name;
        EXPECT_TRUE(edgesEmpty(Board)) << c.name;
        EXPECT_EQ(SavedDeal, dealt) << c.name;
    }
}

TEST_F(BoardTest, ClearingTheWholeBoardInOneMoveScoresWithinRange) {
    setBoard(std::vector<std::string>(static_cast<size_t>(N), std::string(15, 'y')));
    makeMove(8, 8);
    EXPECT_EQ(board::groupSize, 225);
    EXPECT_EQ(board::score, 3796875);
    EXPECT_LT(board::score, std::numeric_limits<int32_t>::max() / 100);
    EXPECT_EQ(boardPicture(), fullPicture({}));
    EXPECT_FALSE(board::hasMoves());
}

// Tiles of each column, top to bottom, with EMPTY cells left out.
using Columns = std::vector<std::vector<int32_t>>;

Columns columnsOf(const board::Grid& grid, const board::Grid* removed = nullptr) {
    Columns columns;
    for (int32_t x = 1; x <= N; ++x) {
        std::vector<int32_t> tiles;
        for (int32_t y = 1; y <= N; ++y) {
            const bool gone = removed != nullptr && at(*removed, x, y) == 1;
            if (at(grid, x, y) != EMPTY && !gone) {
                tiles.push_back(at(grid, x, y));
            }
        }
        if (!tiles.empty()) {
            columns.push_back(tiles);
        }
    }
    return columns;
}

bool packedDownAndLeft(const board::Grid& grid) {
    bool emptyColumnSeen = false;
    for (int32_t x = 1; x <= N; ++x) {
        bool tileSeen = false;
        for (int32_t y = 1; y <= N; ++y) {
            if (at(grid, x, y) != EMPTY) {
                tileSeen = true;
            } else if (tileSeen) {
                return false;  // a hole below a tile
            }
        }
        if (tileSeen && emptyColumnSeen) {
            return false;  // a tile right of an empty column
        }
        emptyColumnSeen = emptyColumnSeen || !tileSeen;
    }
    return true;
}

// Whatever is removed, the board afterwards holds the other tiles, each column's tiles in
// their old top-to-bottom order at the bottom, and the non-empty columns in their old
// order against the left edge.
TEST_F(BoardTest, RandomGamesKeepTilesColumnsAndOrder) {
    std::mt19937 choose(7);
    int32_t moves = 0;
    for (int32_t game = 0; game < 40; ++game) {
        surface::seedRandom(1000 + game);
        board::dealBoard();
        const board::Grid dealt = SavedDeal;
        while (board::hasMoves()) {
            const groups::CellList movable = groups::cellsWithAPartner(Board);
            ASSERT_FALSE(movable.empty());
            const auto [x, y] = movable[choose() % movable.size()];
            const board::Grid before = Board;
            const int32_t scoreBefore = board::score;

            makeMove(x, y);
            ++moves;
            ASSERT_GE(board::groupSize, 2);
            int32_t marked = 0;
            for (int32_t mx = 1; mx <= N; ++mx) {
                for (int32_t my = 1; my <= N; ++my) {
                    if (at(GroupMarks, mx, my) == 1) {
                        ++marked;
                        EXPECT_EQ(at(before, mx, my), at(before, x, y));
                    }
                }
            }
            EXPECT_EQ(marked, board::groupSize);
            EXPECT_EQ(columnsOf(Board), columnsOf(before, &GroupMarks));
            EXPECT_TRUE(packedDownAndLeft(Board));
            EXPECT_TRUE(edgesEmpty(Board));
            EXPECT_EQ(SavedDeal, dealt);
            EXPECT_EQ(board::score - scoreBefore, board::moveGain(board::groupSize));
            if (HasFailure()) {
                return;
            }
        }
    }
    EXPECT_GT(moves, 400);  // the games really played
}

}  // namespace
