// The real play loop on the scripted host: pointer states, buttons and keys go in, the frame,
// the board, the score and the way the program ends come out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "control/control.h"
#include "screen/surface.h"
#include "tests/fixtures.h"
#include "tests/scripted_host.h"

namespace {

constexpr int32_t WIDTH = control::WINDOW_WIDTH;
constexpr int32_t LEFT = surface::BUTTON_LEFT;
constexpr int32_t RIGHT = surface::BUTTON_RIGHT;

// A full board of 3 x 3 blocks, each one colour and unlike its neighbours: every group
// has nine tiles, and cell (8, 8) lies in a green block.
void setBlockBoard() {
    for (int32_t x = 1; x <= board::BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= board::BOARD_SIZE; ++y) {
            board::at(board::Board, x, y) = board::colourCode(((x - 1) / 3 + (y - 1) / 3) % 5 + 1);
        }
    }
}

class Play : public ::testing::Test {
  protected:
    // A fresh program: the game's module state as at start-up, then start-up itself.
    void SetUp() override {
        script::reset();
        fixtures::resetProgramState();
        control::startUp();
    }

    static void iterate(int32_t times = 1) {
        for (int32_t i = 0; i < times; ++i) {
            control::playIteration();
        }
    }

    // Runs the loop until the program ends and returns its exit status.
    static int32_t runToEnd() {
        try {
            for (;;) {
                control::playIteration();
            }
        } catch (const script::ProgramEnded& ended) {
            return ended.status;
        }
    }

    static void pointAt(int32_t column, int32_t row) {
        script::moveTo(board::cellToPixel(column) + 10, board::cellToPixel(row) + 10);
    }

    // A board with one move left, its pair outlined under the pointer.
    static void pointAtTheLastPair() {
        fixtures::setBoard({"bbm"});
        pointAt(1, 15);
        iterate();
    }

    // Clicks the last move (press now, release 100 ms later); returns when it was pressed.
    static int64_t clickTheLastMove() {
        pointAtTheLastPair();
        const int64_t pressedAt = script::now();
        script::press(LEFT);
        script::after(100);
        script::release(LEFT);
        return pressedAt;
    }

    static std::string text(int32_t row, int32_t column, int32_t length, int32_t foreground) {
        return fixtures::readText(surface::frame(), WIDTH, row, column, length, foreground, 0);
    }
    // The info text after the legend, read over the length it is expected to have.
    static std::string info(const std::string& expected) {
        return text(68, 21, static_cast<int32_t>(expected.size()), 10);
    }
    static std::string scoreLine() { return text(65, 45, 13, 11); }

    static bool outlined(int32_t column, int32_t row) {
        const int32_t at = (board::cellToPixel(row) + 2) * WIDTH + board::cellToPixel(column) + 2;
        return surface::frame()[static_cast<size_t>(at)] >= 64;
    }

    static board::Grid boardOf(const std::vector<std::string>& picture) {
        const board::Grid saved = board::Board;
        fixtures::setBoard(picture);
        const board::Grid result = board::Board;
        board::Board = saved;
        return result;
    }
};

TEST_F(Play, StartUpOpensTheWindowAndDeals) {
    EXPECT_TRUE(script::windowOpen());
    EXPECT_EQ(script::caption(), "corvane");
    EXPECT_EQ(text(73, 1, 9, 10), " Corvane ");
    EXPECT_EQ(text(73, 10, 32, 10), std::string(32, '\xc4'));
    EXPECT_EQ(text(73, 42, 20, 10), " a puzzle of colours");
    EXPECT_EQ(board::Board, board::SavedDeal);
    EXPECT_EQ(script::now(), 200);  // the start pause
    EXPECT_EQ(surface::pollPointer().x, 243);
}

TEST_F(Play, FirstTurnRedrawsAndOutlinesTheCentreGroup) {
    setBlockBoard();
    iterate();
    EXPECT_TRUE(outlined(8, 8));
    EXPECT_TRUE(outlined(7, 7));
    EXPECT_FALSE(outlined(6, 6));
    EXPECT_EQ(info("   9 (+243)     "), "   9 (+243)     ");
    EXPECT_EQ(text(68, 19, 2, 7), "45");
}

TEST_F(Play, OnlyCrossingIntoAnotherCellRedraws) {
    setBlockBoard();
    iterate();
    iterate();  // shows the first turn's drawing
    const int32_t presents = script::presentCount();

    script::moveTo(250, 250);  // still cell (8, 8)
    iterate(2);
    EXPECT_EQ(script::presentCount(), presents);

    pointAt(1, 1);
    iterate();
    EXPECT_TRUE(outlined(1, 1));
    EXPECT_FALSE(outlined(8, 8));
}

struct MoveCase {
    const char* name;
    std::vector<std::string> before;
    std::string preview;
    int32_t gain;
    std::vector<std::string> after;
};

TEST_F(Play, MoveRemovesTheGroupAndScoresMoreThanThePreviewPromised) {
    const MoveCase cases[] = {
        {"pair", {"mmy", "gyr", "bbr"}, "   2 (+2)     ", 3, {"..y", "mmr", "gyr"}},
        {"five closing a column",
         {"bm..", "bbyy", "bbmr"},
         "   5 (+41)     ",
         42,
         {"...", ".yy", "mmr"}},
    };
    for (const MoveCase& c : cases) {
        SetUp();
        fixtures::setBoard(c.before);
        pointAt(1, 15);
        iterate();
        EXPECT_EQ(info(c.preview), c.preview) << c.name;

        script::press(LEFT);
        script::after(50);
        script::release(LEFT);
        const int64_t pressedAt = script::now();
        iterate();
        EXPECT_EQ(board::score, c.gain) << c.name;
        EXPECT_EQ(scoreLine(), "score: " + std::string(6 - std::to_string(c.gain).size(), ' ') +
                                   std::to_string(c.gain))
            << c.name;
        EXPECT_EQ(board::Board, boardOf(c.after)) << c.name;
        EXPECT_EQ(script::now() - pressedAt, 200) << c.name;  // the pause after a move
        EXPECT_EQ(board::groupSize, 0) << c.name;

        iterate();  // the changed score redraws and marks the group now under the pointer
        EXPECT_TRUE(outlined(1, 15)) << c.name;
    }
}

TEST_F(Play, PressOnALoneTileDoesNothing) {
    fixtures::setBoard({"bmm"});
    pointAt(1, 15);
    iterate();
    script::press(LEFT);
    iterate(2);
    EXPECT_EQ(board::Board, boardOf({"bmm"}));
    EXPECT_EQ(board::score, 0);
    EXPECT_EQ(text(65, 45, 13, 11), "             ");  // no score line until a move
}

TEST_F(Play, HeldButtonMovesAgainOnlyOverTheBoard) {
    fixtures::setBoard({
        "yy.",
        "bbm",
        "mmr",
    });
    pointAt(1, 14);
    iterate();
    script::moveTo(490, 300);  // right margin: off the board, the blue pair stays marked
    iterate();
    script::press(LEFT);
    iterate();  // the press removes the last outlined group
    EXPECT_EQ(board::score, 3);
    EXPECT_EQ(board::Board, boardOf({"yym", "mmr"}));

    iterate(3);  // still held, still off the board: nothing more
    EXPECT_EQ(board::Board, boardOf({"yym", "mmr"}));

    pointAt(1, 14);  // still held, over the yellow pair
    iterate(2);
    EXPECT_EQ(board::score, 6);
    EXPECT_EQ(board::Board, boardOf({"..m", "mmr"}));
}

TEST_F(Play, PointerOutsideTheWindowMarksTheTopLeftCellAndPressesNothing) {
    setBlockBoard();
    iterate();
    script::leave();
    script::press(LEFT);
    iterate();
    EXPECT_TRUE(outlined(1, 1));
    EXPECT_FALSE(outlined(8, 8));
    EXPECT_EQ(board::score, 0);

    pointAt(8, 8);  // back inside with the button still held: not seen until a new press
    iterate(2);
    EXPECT_EQ(board::score, 0);
    script::release(LEFT);
    script::press(LEFT);
    iterate();
    EXPECT_EQ(board::score, 243);
}

TEST_F(Play, LastMoveBringsThePanelAndTheBeepInTheSameTurn) {
    const int64_t pressedAt = clickTheLastMove();
    script::after(2000);
    script::press(RIGHT);
    EXPECT_EQ(runToEnd(), 0);

    EXPECT_EQ(fixtures::readText(surface::frame(), WIDTH, 30, 25, 13, 15, 4), " END of GAME ");
    EXPECT_EQ(scoreLine(), "score:      3");  // the final score stays visible
    ASSERT_EQ(script::tones().size(), 1u);
    EXPECT_EQ(script::tones()[0].startMs, pressedAt + 200);  // right after the move's pause
    EXPECT_EQ(script::now(), pressedAt + 2000 + 200);        // a right press quits after 200 ms
}

TEST_F(Play, LeftPressOnThePanelStartsANewGameAndKeysWaitInTheQueue) {
    const int64_t pressedAt = clickTheLastMove();
    script::after(1000);
    script::typeText("r");  // typed while the panel waits: stays queued
    script::after(1500);
    script::press(LEFT);
    script::after(1550);
    script::release(LEFT);
    iterate();
    // The new game's start pause was cut short by the queued key.
    EXPECT_EQ(script::now(), pressedAt + 1500);
    EXPECT_EQ(board::score, 0);
    EXPECT_EQ(board::Board, board::SavedDeal);

    iterate();  // its first key poll acts on the key
    EXPECT_EQ(control::lastKey, "r");
}

TEST_F(Play, LeftPressHeldThroughTheLastMoveStartsANewGameAtOnce) {
    pointAtTheLastPair();
    script::press(LEFT);
    iterate();
    EXPECT_EQ(script::tones().size(), 1u);
    EXPECT_EQ(board::Board, board::SavedDeal);  // dealt afresh
    EXPECT_EQ(board::score, 0);
}

TEST_F(Play, LeftPressHeldPastTheNewGamesPauseMovesOnItsFirstTurn) {
    pointAtTheLastPair();
    script::press(LEFT);
    iterate();  // the last move, the panel, and at once a new game
    setBlockBoard();
    iterate();  // the first turn marks the centre group under the pointer and removes it
    EXPECT_EQ(board::score, 243);
    EXPECT_EQ(board::at(board::Board, 8, 3), board::EMPTY);  // the column above fell by three
    EXPECT_EQ(board::at(board::Board, 8, 4), board::colourCode(3));  // the top block, fallen
}

TEST_F(Play, KeysSpaceDealsRReplaysAndOthersDoNothing) {
    const board::Grid firstDeal = board::SavedDeal;
    iterate();

    // "R", an arrow and the close box do nothing.
    script::typeText("R");
    script::typeKey(host::KeyName::Up);
    script::closeBox();
    iterate(3);
    EXPECT_EQ(board::SavedDeal, firstDeal);
    EXPECT_TRUE(script::windowOpen());

    script::typeText(" ");
    iterate();
    EXPECT_NE(board::SavedDeal, firstDeal);
    EXPECT_EQ(board::Board, board::SavedDeal);
    // The first turn of a game begun with the space bar redraws even on the same cell.
    iterate();
    EXPECT_EQ(surface::frame()[512 * WIDTH + 16], board::colourCode(1));
    EXPECT_EQ(text(73, 1, 9, 10), " Corvane ");
}

TEST_F(Play, ReplayRestoresTheDealWithScoreZeroButKeepsTheOldScoreLine) {
    fixtures::setBoard({"mmy", "gyr", "bbr"});
    board::SavedDeal = board::Board;
    pointAt(1, 15);
    iterate();
    script::press(LEFT);
    script::after(50);
    script::release(LEFT);
    iterate(2);
    ASSERT_EQ(board::score, 3);

    script::typeText("r");
    iterate();
    EXPECT_EQ(board::Board, board::SavedDeal);
    EXPECT_EQ(board::score, 0);
    EXPECT_EQ(scoreLine(), "score:      3");
    EXPECT_EQ(surface::pollPointer().x, 243);  // back on the centre cell
}

TEST_F(Play, ReplayRightAfterTheDealOnTheCentreCellLeavesNoOutline) {
    setBlockBoard();
    board::SavedDeal = board::Board;
    iterate();
    EXPECT_TRUE(outlined(8, 8));
    script::typeText("r");
    iterate(3);
    EXPECT_FALSE(outlined(8, 8));
}

TEST_F(Play, EscAndTheRightButtonQuitWithStatusZero) {
    iterate();
    script::typeText("\x1b");
    EXPECT_EQ(runToEnd(), 0);

    SetUp();
    setBlockBoard();
    iterate();
    script::press(RIGHT);
    EXPECT_EQ(runToEnd(), 0);
}

}  // namespace
