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
#include "tests/scripted_host.h"
#include "tests/wine_session.h"
#include "tests/xsession.h"

namespace {

using xsession::BLACK;
using xsession::Image;
using xsession::Rgb;
using xsession::TILE_FILL;
using xsession::TILE_OUTLINE;

constexpr int32_t N = board::BOARD_SIZE;
constexpr int32_t RING = 2;  // the outline sits this far inside the tile's edge
constexpr int32_t SIGNAL_MS = 1000;
constexpr int32_t BEEP_MS = 250;
constexpr int32_t MOVE_PAUSE_MS = 200;
constexpr int32_t START_PAUSE_MS = 200;

// A pixel of the game-over panel's heading, red behind its text.
constexpr int32_t PANEL_X = 8 * 24 + 2;
constexpr int32_t PANEL_Y = 8 * 28 + 2;
constexpr Rgb PANEL_RED = {170, 0, 0};

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
    EXPECT_GE(
        surface::frame()[static_cast<size_t>((board::BOARD_MARGIN + RING) * xsession::WINDOW_WIDTH +
                                             board::BOARD_MARGIN + RING)],
        64);
}

// ---- The real binary ----

using Codes = std::array<std::array<int32_t, N + 1>, N + 1>;  // [x][y]: colour 1..5, 0 empty

bool panelShown(const Image& image) {
    return image.width == xsession::WINDOW_WIDTH &&
           xsession::pixel(image, PANEL_X, PANEL_Y) == PANEL_RED;
}

// The tiles' colours from their outer ring; false if a cell shows no tile colour.
bool readCodes(const Image& image, Codes& codes) {
    if (image.width != xsession::WINDOW_WIDTH || image.height != xsession::WINDOW_HEIGHT ||
        panelShown(image)) {
        return false;
    }
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            const Rgb ring = xsession::pixel(image, board::cellToPixel(x), board::cellToPixel(y));
            int32_t colour = ring == BLACK ? 0 : -1;
            for (int32_t h = 1; h <= 5; ++h) {
                if (ring == TILE_FILL[static_cast<size_t>(h - 1)]) {
                    colour = h;
                }
            }
            if (colour < 0) {
                return false;
            }
            codes[static_cast<size_t>(x)][static_cast<size_t>(y)] = colour;
        }
    }
    return true;
}

int32_t at(const Codes& codes, int32_t x, int32_t y) {
    return x < 1 || y < 1 || x > N || y > N ? 0
                                            : codes[static_cast<size_t>(x)][static_cast<size_t>(y)];
}

int32_t groupSize(const Codes& codes, int32_t x, int32_t y, Codes& seen) {
    const int32_t colour = at(codes, x, y);
    if (colour == 0 || at(seen, x, y) != 0) {
        return 0;
    }
    seen[static_cast<size_t>(x)][static_cast<size_t>(y)] = 1;
    int32_t size = 1;
    for (const auto& [dx, dy] : {std::array{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        if (at(codes, x + dx, y + dy) == colour) {
            size += groupSize(codes, x + dx, y + dy, seen);
        }
    }
    return size;
}

// A cell of the largest group; size 0 or 1 when no move is left.
int32_t largestGroup(const Codes& codes, int32_t& cellX, int32_t& cellY) {
    Codes seen{};
    int32_t best = 0;
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            const int32_t size = groupSize(codes, x, y, seen);
            if (size > best) {
                best = size;
                cellX = x;
                cellY = y;
            }
        }
    }
    return best;
}

bool full(const Codes& codes) {
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            if (at(codes, x, y) == 0) {
                return false;
            }
        }
    }
    return true;
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
            [&](const Image& shown) { return readCodes(shown, codes) && full(codes); },
            xsession::SHOW_MS, image))
            << "no board";
    }
    void TearDown() override { xsession::stop(); }

    Codes codes{};
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
        const int32_t colour = at(codes, x, y);
        xsession::movePointer(board::cellToPixel(x) + 14, board::cellToPixel(y) + 14);
        Image image;
        ASSERT_TRUE(xsession::waitForImage(
            [&](const Image& shown) {
                return xsession::pixel(shown, board::cellToPixel(x) + RING,
                                       board::cellToPixel(y) + RING) ==
                       TILE_OUTLINE[static_cast<size_t>(colour - 1)];
            },
            xsession::SHOW_MS, image))
            << "no outline on move " << moves;
        const Codes before = codes;
        xsession::click(1);
        Codes after{};
        ASSERT_TRUE(xsession::waitForImage(
            [&](const Image& shown) {
                return panelShown(shown) || (readCodes(shown, after) && after != before);
            },
            xsession::SHOW_MS, image))
            << "move " << moves << " made no change";
        if (panelShown(image)) {
            break;
        }
        codes = after;
    }

    Image image;
    ASSERT_TRUE(xsession::waitForImage(panelShown, xsession::SHOW_MS, image))
        << "no panel after " << moves << " moves";
    const auto panelAt = std::chrono::steady_clock::now();
    expectBlankConsole("at the game-over panel");

    // Held until the new game shows, so that the press is seen even while the beep's wait
    // lasts; below the board, where the new game's first turn marks nothing to remove.
    xsession::movePointer(xsession::WINDOW_WIDTH / 2, xsession::WINDOW_HEIGHT - 40);
    xsession::pressButton(1);
    const bool dealt = xsession::waitForImage(
        [&](const Image& shown) { return readCodes(shown, codes) && full(codes); },
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
    int32_t status = -1;
    ASSERT_TRUE(xsession::waitExit(xsession::EXIT_MS, status)) << "still running";
    EXPECT_EQ(status, 0);
    expectBlankConsole("after Esc");
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
