// The real game in a private X server: what its window shows, and how it answers the
// keyboard, the mouse, the window manager and a missing or vanishing display.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "board/board.h"
#include "screen/palette.h"
#include "screen/surface.h"
#include "tests/groups.h"
#include "tests/wine_session.h"
#include "tests/xsession.h"
#include "tools/xharness/desktop.h"
#include "tools/xharness/readback.h"

namespace {

using xsession::Image;
using xsession::Rgb;

constexpr int32_t SCREEN_WIDTH = 1024;
constexpr int32_t SCREEN_HEIGHT = 768;
constexpr int32_t N = board::BOARD_SIZE;
constexpr int32_t CENTRE_PIXEL = 243;
constexpr int32_t CENTRE_CELL = 8;
constexpr int32_t SERVER_GONE_MS = 1000;
constexpr int32_t EXIT_RUNS = 5;  // exits once in a while failed with an X error

// The board as read back: each cell's code and its outline.
struct Cells {
    board::Grid codes{};
    board::Grid outlines{};
};

using readback::cellMiddle;

int32_t colour(const Cells& cells, int32_t x, int32_t y) {
    return board::at(cells.codes, x, y);
}

bool outlined(const Cells& cells, int32_t x, int32_t y) {
    return board::at(cells.outlines, x, y) == 1;
}

// Waits until the window shows a readable board for which `holds` is true.
template <typename Predicate>
bool waitForBoard(Predicate holds, Cells& cells) {
    Image image;
    return xsession::waitForImage(
        [&](const Image& shown) {
            return xsession::readTiles(shown, cells.codes, cells.outlines) && holds(cells);
        },
        xsession::SHOW_MS, image);
}

// A failure to reach the display ends the game with one line saying why.
void expectOneLineAndStatusOne(int32_t status) {
    EXPECT_EQ(status, 1);
    EXPECT_EQ(xsession::capturedStdout(), "");
    const std::string errors = xsession::capturedStderr();
    EXPECT_GT(errors.size(), 1U);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_TRUE(errors.ends_with('\n')) << errors;
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(xsession::startServer(error)) << error;
    }
    void TearDown() override { xsession::stop(); }

    // Starts the game and waits for its first turn: a full board with the group under the
    // centred pointer outlined.
    void startGame(Cells& cells) {
        std::string error;
        ASSERT_TRUE(xsession::startGame(error)) << error;
        ASSERT_TRUE(xsession::findWindow(xsession::SHOW_MS))
            << "no window; stderr: " << xsession::capturedStderr();
        ASSERT_TRUE(waitForBoard(
            [](const Cells& shown) {
                return readback::full(shown.codes) && outlined(shown, CENTRE_CELL, CENTRE_CELL);
            },
            cells));
    }
};

TEST_F(WindowTest, OpensCentredWithTheTitleLineAndTheCentreGroupOutlined) {
    Cells cells{};
    ASSERT_NO_FATAL_FAILURE(startGame(cells));

    EXPECT_EQ(xsession::windowName(), "corvane");
    int32_t width = 0;
    int32_t height = 0;
    xsession::clientSize(width, height);
    EXPECT_EQ(width, xsession::WINDOW_WIDTH);
    EXPECT_EQ(height, xsession::WINDOW_HEIGHT);
    // A desktop places the window itself, under a title bar of its own.
    if (desktop::running() == desktop::Kind::Bare) {
        int32_t left = 0;
        int32_t top = 0;
        xsession::clientOrigin(left, top);
        EXPECT_EQ(left, (SCREEN_WIDTH - xsession::WINDOW_WIDTH) / 2);
        EXPECT_EQ(top, (SCREEN_HEIGHT - xsession::WINDOW_HEIGHT) / 2);
    }
    int32_t pointerX = 0;
    int32_t pointerY = 0;
    ASSERT_TRUE(xsession::pointerPosition(pointerX, pointerY));
    EXPECT_EQ(pointerX, CENTRE_PIXEL);
    EXPECT_EQ(pointerY, CENTRE_PIXEL);

    const board::Grid group = groups::wholeGroup(cells.codes, CENTRE_CELL, CENTRE_CELL);
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            EXPECT_EQ(board::at(cells.outlines, x, y), board::at(group, x, y))
                << "cell " << x << ", " << y;
        }
    }

    // The title line as the surface draws it, in the palette's colours.
    surface::openFrame(xsession::WINDOW_WIDTH, xsession::WINDOW_HEIGHT);
    surface::clearScreen();
    surface::setColours(10, 0);
    surface::locate(73, 1);
    surface::printText(std::string(60, static_cast<char>(196)));
    surface::locate(73, 1);
    surface::printText(" Corvane ");
    surface::locate(73, 42);
    surface::printText(" a puzzle of colours");
    const Image image = xsession::grab();
    ASSERT_EQ(image.width, xsession::WINDOW_WIDTH);
    int32_t wrong = 0;
    for (int32_t y = 576; y <= 583; ++y) {
        for (int32_t x = 0; x < xsession::WINDOW_WIDTH; ++x) {
            const uint8_t index = surface::frame()[y * xsession::WINDOW_WIDTH + x];
            const Rgb expected = {surface::DEFAULT_PALETTE[index][0],
                                  surface::DEFAULT_PALETTE[index][1],
                                  surface::DEFAULT_PALETTE[index][2]};
            if (xsession::pixel(image, x, y) != expected && wrong++ == 0) {
                ADD_FAILURE() << "first wrong title pixel at " << x << ", " << y;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(WindowTest, SpaceDealsAnotherBoardAndRBringsItBackAfterAMove) {
    Cells first{};
    ASSERT_NO_FATAL_FAILURE(startGame(first));

    xsession::tapKey("space");
    Cells dealt{};
    ASSERT_TRUE(waitForBoard(
        [&](const Cells& shown) {
            return readback::full(shown.codes) && shown.codes != first.codes;
        },
        dealt));

    // A move empties cells, so that the replay has something to bring back.
    const groups::CellList movable = groups::cellsWithAPartner(dealt.codes);
    ASSERT_FALSE(movable.empty()) << "no two neighbours alike";
    const auto [moveX, moveY] = movable.front();
    xsession::movePointer(cellMiddle(moveX), cellMiddle(moveY));
    Cells shown{};
    ASSERT_TRUE(waitForBoard([&](const Cells& c) { return outlined(c, moveX, moveY); }, shown));
    xsession::click(1);
    ASSERT_TRUE(waitForBoard([](const Cells& c) { return !readback::full(c.codes); }, shown));

    xsession::tapKey("r");
    ASSERT_TRUE(waitForBoard([&](const Cells& c) { return c.codes == dealt.codes; }, shown));
    // Under weston the warp cannot move the pointer (desktop_test checks what the game does
    // there), and XWayland's idea of the pointer is not the player's.
    if (desktop::warpsMovePointer()) {
        int32_t pointerX = 0;
        int32_t pointerY = 0;
        ASSERT_TRUE(xsession::pointerPosition(pointerX, pointerY));
        EXPECT_EQ(pointerX, CENTRE_PIXEL);
        EXPECT_EQ(pointerY, CENTRE_PIXEL);
    }
}

enum class WayOut : int32_t { EscapeKey, RightButton, CloseBoxThenEscape };

class ExitTest : public WindowTest, public ::testing::WithParamInterface<WayOut> {};

TEST_P(ExitTest, EndsWithStatusZeroAndABlankConsole) {
    for (int32_t run = 0; run < EXIT_RUNS; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        Cells cells{};
        ASSERT_NO_FATAL_FAILURE(startGame(cells));
        switch (GetParam()) {
            case WayOut::EscapeKey:
                xsession::tapKey("Escape");
                break;
            case WayOut::RightButton:
                xsession::click(3);
                break;
            case WayOut::CloseBoxThenEscape: {
                xsession::requestClose();
                // Still playing after the close request: the outline follows the pointer to
                // a group apart from the centre's.
                int32_t otherX = 1;
                const int32_t centre = colour(cells, CENTRE_CELL, CENTRE_CELL);
                while (otherX < N && colour(cells, otherX, 1) == centre) {
                    ++otherX;
                }
                ASSERT_NE(colour(cells, otherX, 1), centre);
                xsession::movePointer(cellMiddle(otherX), cellMiddle(1));
                Cells shown{};
                ASSERT_TRUE(waitForBoard(
                    [&](const Cells& c) {
                        return outlined(c, otherX, 1) && !outlined(c, CENTRE_CELL, CENTRE_CELL);
                    },
                    shown));
                EXPECT_TRUE(xsession::running());
                xsession::tapKey("Escape");
                break;
            }
        }
        ASSERT_EQ(xsession::exitFault(xsession::EXIT_MS), "");
    }
}

INSTANTIATE_TEST_SUITE_P(WaysOut, ExitTest,
                         ::testing::Values(WayOut::EscapeKey, WayOut::RightButton,
                                           WayOut::CloseBoxThenEscape),
                         [](const ::testing::TestParamInfo<WayOut>& entry) {
                             switch (entry.param) {
                                 case WayOut::EscapeKey:
                                     return std::string("EscapeKey");
                                 case WayOut::RightButton:
                                     return std::string("RightButton");
                                 case WayOut::CloseBoxThenEscape:
                                     return std::string("CloseBoxThenEscape");
                             }
                             return std::string();
                         });

TEST_F(WindowTest, SaysWhyInOneLineAndEndsWithStatusOneWhenTheXServerGoes) {
    if (wine_session::active()) {
        GTEST_SKIP() << "a lost X server is a Linux fault; under Wine it ends Wine, not the game";
    }
    Cells cells{};
    ASSERT_NO_FATAL_FAILURE(startGame(cells));
    xsession::killServer();
    int32_t status = -1;
    ASSERT_TRUE(xsession::waitExit(SERVER_GONE_MS, status)) << "still running";
    expectOneLineAndStatusOne(status);
}

struct NoDisplay {
    const char* name;
    const char* display;  // nullptr: DISPLAY unset
};

class NoDisplayTest : public ::testing::TestWithParam<NoDisplay> {
  protected:
    void TearDown() override { xsession::stop(); }
};

TEST_P(NoDisplayTest, SaysWhyInOneLineAndEndsWithStatusOne) {
    if (wine_session::active()) {
        GTEST_SKIP() << "DISPLAY is Linux's; without it Wine, not the game, fails to start";
    }
    std::string error;
    ASSERT_TRUE(xsession::startGameWithDisplay(GetParam().display, error)) << error;
    int32_t status = -1;
    ASSERT_TRUE(xsession::waitExit(xsession::EXIT_MS, status)) << "still running";
    expectOneLineAndStatusOne(status);
}

INSTANTIATE_TEST_SUITE_P(Displays, NoDisplayTest,
                         ::testing::Values(NoDisplay{"Unset", nullptr},
                                           NoDisplay{"Unreachable", ":9999"}),
                         [](const ::testing::TestParamInfo<NoDisplay>& entry) {
                             return std::string(entry.param.name);
                         });

}  // namespace
