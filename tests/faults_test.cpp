// Faults of the environment: no sound device (on the scripted host, and for real on this
// machine, which has no sound card, through a whole game to its panel and on to the next),
// and the termination signals.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "board/board.h"
#include "control/control.h"
#include "screen/surface.h"
#include "tests/fixtures.h"
#include "tests/groups.h"
#include "tests/scripted_host.h"
#include "tests/wine_session.h"
#include "tests/xsession.h"
#include "tools/xharness/readback.h"

namespace {

using xsession::Image;

constexpr int32_t N = board::BOARD_SIZE;
constexpr int32_t SIGNAL_MS = 1000;
constexpr int32_t BEEP_MS = 250;
constexpr int32_t MOVE_PAUSE_MS = 200;
constexpr int32_t START_PAUSE_MS = 200;

TEST(NoSoundDevice, TheBeepIsASilentQuarterSecondAndPlayGoesOn) {
    script::reset();
    script::setSound(false);
    fixtures::resetProgramState();
    control::startUp();
    fixtures::setBoard({"bbm"});  // one move left
    script::moveTo(board::cellToPixel(1) + 10, board::cellToPixel(N) + 10);
    control::playIteration();

    const int64_t pressedAt = script::now();
    script::press(surface::BUTTON_LEFT);
    script::after(100);
    script::release(surface::BUTTON_LEFT);
    script::after(MOVE_PAUSE_MS + 100);  // pressed again while the beep would sound
    script::press(surface::BUTTON_LEFT);
    const board::Grid lastDeal = board::SavedDeal;
    control::playIteration();

    ASSERT_EQ(script::tones().size(), 1U);
    EXPECT_EQ(script::tones()[0].startMs, pressedAt + MOVE_PAUSE_MS);
    // The panel's wait began only after the full silent quarter second; the new game's
    // start pause follows.
    EXPECT_EQ(script::now(), pressedAt + MOVE_PAUSE_MS + BEEP_MS + START_PAUSE_MS);
    EXPECT_NE(board::SavedDeal, lastDeal);
    EXPECT_EQ(board::Board, board::SavedDeal);
    EXPECT_EQ(board::score, 0);

    script::release(surface::BUTTON_LEFT);
    script::moveTo(board::cellToPixel(1) + 10, board::cellToPixel(1) + 10);
    control::playIteration();  // the new game plays: the corner group is outlined
    EXPECT_GE(surface::frame()[static_cast<size_t>((board::BOARD_MARGIN + readback::RING) *
                                                       xsession::WINDOW_WIDTH +
                                                   board::BOARD_MARGIN + readback::RING)],
              64);
}

// ---- The real binary ----

// The board the window shows, unless the game-over panel covers it.
bool readBoard(const Image& image, board::Grid& codes) {
    return !xsession::panelShown(image) && xsession::readCodes(image, codes);
}

// A cell of the largest group; size 0 or 1 when no move is left.
int32_t largestGroup(const board::Grid& codes, int32_t& cellX, int32_t& cellY) {
    int32_t best = 0;
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            if (board::at(codes, x, y) == board::EMPTY) {
                continue;
            }
            const int32_t size = groups::cellCount(groups::wholeGroup(codes, x, y));
            if (size > best) {
                best = size;
                cellX = x;
                cellY = y;
            }
        }
    }
    return best;
}

void expectBlankConsole(const char* when) {
    EXPECT_EQ(xsession::capturedStdout(), "") << when;
    EXPECT_EQ(xsession::capturedStderr(), "") << when;
}

class RealFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("SDL_AUDIODRIVER");  // the machine's own lack of a sound card, not a stand-in
        std::string error;
        ASSERT_TRUE(xsession::startServer(error)) << error;
        ASSERT_TRUE(xsession::startGame(error)) << error;
        ASSERT_TRUE(xsession::findWindow(xsession::SHOW_MS))
            << "stderr: " << xsession::capturedStderr();
        Image image;
        ASSERT_TRUE(xsession::waitForImage(
            [&](const Image& shown) { return readBoard(shown, codes) && readback::full(codes); },
            xsession::SHOW_MS, image))
            << "no board";
    }
    void TearDown() override { xsession::stop(); }

    board::Grid codes{};
};

// This machine has no sound card: the game's only sound must neither print nor hold it up.
TEST_F(RealFaults, WithoutASoundCardAWholeGameEndsSilentlyInThePanelAndAnotherFollows) {
    int32_t moves = 0;
    for (;;) {
        int32_t x = 0;
        int32_t y = 0;
        if (largestGroup(codes, x, y) < 2) {
            break;
        }
        ASSERT_LT(moves++, N * N / 2) << "more moves than pairs of tiles";
        const int32_t code = board::at(codes, x, y);
        xsession::movePointer(board::cellToPixel(x) + 14, board::cellToPixel(y) + 14);
        Image image;
        ASSERT_TRUE(xsession::waitForImage(
            [&](const Image& shown) {
                return xsession::pixel(shown, board::cellToPixel(x) + readback::RING,
                                       board::cellToPixel(y) + readback::RING) ==
                       xsession::TILE_OUTLINE[static_cast<size_t>((code - board::colourCode(1)) /
                                                                  4)];
            },
            xsession::SHOW_MS, image))
            << "no outline on move " << moves;
        const board::Grid before = codes;
        xsession::click(1);
        board::Grid after{};
        ASSERT_TRUE(xsession::waitForImage(
            [&](const Image& shown) {
                return xsession::panelShown(shown) || (readBoard(shown, after) && after != before);
            },
            xsession::SHOW_MS, image))
            << "move " << moves << " made no change";
        if (xsession::panelShown(image)) {
            break;
        }
        codes = after;
    }

    Image image;
    ASSERT_TRUE(xsession::waitForImage(xsession::panelShown, xsession::SHOW_MS, image))
        << "no panel after " << moves << " moves";
    const auto panelAt = std::chrono::steady_clock::now();
    expectBlankConsole("at the game-over panel");

    // Held until the new game shows, so that the press is seen even while the beep's wait
    // lasts; below the board, where the new game's first turn marks nothing to remove.
    xsession::movePointer(xsession::WINDOW_WIDTH / 2, xsession::WINDOW_HEIGHT - 40);
    xsession::pressButton(1);
    const bool dealt = xsession::waitForImage(
        [&](const Image& shown) { return readBoard(shown, codes) && readback::full(codes); },
        xsession::SHOW_MS, image);
    const auto dealtAt = std::chrono::steady_clock::now();
    xsession::releaseButton(1);
    ASSERT_TRUE(dealt) << "no new game after the panel";
    // The silent beep holds the panel for its quarter second, not for a device's time-outs.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(dealtAt - panelAt).count(),
              BEEP_MS + 500);
    EXPECT_TRUE(xsession::running());
    expectBlankConsole("in the next game");

    xsession::tapKey("Escape");
    EXPECT_EQ(xsession::exitFault(xsession::EXIT_MS), "") << "after Esc";
}

class Signals : public RealFaults, public ::testing::WithParamInterface<int> {};

TEST_P(Signals, EndTheGameAtOnceAndSilently) {
    if (wine_session::active()) {
        GTEST_SKIP() << "Windows programs get no POSIX signals";
    }
    ASSERT_TRUE(xsession::signalGame(GetParam()));
    int32_t status = -1;
    ASSERT_TRUE(xsession::waitExit(SIGNAL_MS, status)) << "still running after a second";
    EXPECT_TRUE(status == 0 || status == 128 + GetParam()) << "status " << status;
    expectBlankConsole("after the signal");
}

INSTANTIATE_TEST_SUITE_P(Terminations, Signals, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& entry) {
                             return std::string(entry.param == SIGTERM ? "Sigterm" : "Sigint");
                         });

}  // namespace
