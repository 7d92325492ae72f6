// Real-window soak: random XTest input against the real binary in a private X server —
// motion in and out of the window, both buttons held and let go, keys of every kind, the
// close box, the keyboard focus taken away and given back. The game must not crash, must
// print nothing, and must still answer at the end. Ways out it is given on purpose (Esc,
// the right button) must end it with status 0 and a blank console; it is started again.
//
// CORVANE_WINDOW_SOAK_SECONDS sets the length (default 10).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <random>
#include <string>

#include "board/board.h"
#include "tests/xsession.h"
#include "tools/xharness/timing.h"

namespace {

constexpr int32_t DEFAULT_SECONDS = 10;
constexpr int32_t FOCUS_SETTLE_MS = 400;  // SDL takes the focus ~200 ms after X reports it
constexpr uint32_t LEFT_BUTTON = 1;
constexpr uint32_t MIDDLE_BUTTON = 2;
constexpr uint32_t RIGHT_BUTTON = 3;

// Keys that are no way out, the commands space and "r" among them; Esc is sent apart.
constexpr const char* KEYS[] = {"space",  "r",    "space", "r",      "a",     "z",     "1",
                                "Return", "Tab",  "Up",    "Down",   "Left",  "Right", "F1",
                                "F10",    "Home", "End",   "Delete", "Prior", "Next",  "BackSpace"};

bool tileShown(const xsession::Image& image) {
    return image.width == xsession::WINDOW_WIDTH && image.height == xsession::WINDOW_HEIGHT &&
           !(xsession::pixel(image, board::cellToPixel(8), board::cellToPixel(8)) ==
             xsession::Rgb{0, 0, 0});
}

class WindowSoak : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(xsession::startServer(error)) << error;
        ASSERT_TRUE(xsession::openOtherWindow());
    }
    void TearDown() override { xsession::stop(); }

    void startGame() {
        std::string error;
        ASSERT_TRUE(xsession::startGame(error)) << error;
        ASSERT_TRUE(xsession::findWindow(xsession::SHOW_MS))
            << "stderr: " << xsession::capturedStderr();
        xsession::Image image;
        ASSERT_TRUE(xsession::waitForImage(tileShown, xsession::SHOW_MS, image)) << "no board";
        ++starts;
        focused = true;
        focusedSince = timing::nowMs();
        inside = true;
        leftHeld = false;
        wayOutGiven = false;
    }

    // After a way out: status 0, nothing printed; then a fresh game.
    void expectCleanEndAndRestart(const char* how) {
        ASSERT_EQ(xsession::exitFault(xsession::EXIT_MS), "") << how;
        ASSERT_NO_FATAL_FAILURE(startGame());
    }

    bool readyForAWayOut() const {
        return focused && inside && timing::nowMs() - focusedSince >= FOCUS_SETTLE_MS;
    }

    // Esc is taken at the next key poll, which the game-over panel does not make: there it
    // stays queued until a left press starts a new game.
    void escape() {
        xsession::tapKey("Escape");
        int32_t status = -1;
        if (!xsession::waitExit(xsession::EXIT_MS / 2, status) &&
            xsession::panelShown(xsession::grab())) {
            // Held until the game ends: a short click could fall wholly within the beep.
            xsession::pressButton(LEFT_BUTTON);
            xsession::waitExit(xsession::EXIT_MS, status);
            xsession::releaseButton(LEFT_BUTTON);
        }
    }

    int32_t starts = 0;
    bool focused = false;
    int64_t focusedSince = 0;
    bool inside = false;
    bool leftHeld = false;
    bool wayOutGiven = false;  // a right press or Esc went out since the game started
};

TEST_F(WindowSoak, RandomInputNeitherCrashesNorPrintsAndTheGameStillAnswers) {
    const char* secondsText = std::getenv("CORVANE_WINDOW_SOAK_SECONDS");
    const int64_t seconds = secondsText != nullptr ? std::atoll(secondsText) : DEFAULT_SECONDS;
    const auto seed = static_cast<uint32_t>(timing::nowMs());
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto between = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    };

    ASSERT_NO_FATAL_FAILURE(startGame());
    int64_t actions = 0;
    int32_t waysOut = 0;
    const int64_t end = timing::nowMs() + seconds * 1000;
    while (timing::nowMs() < end) {
        ++actions;
        const int32_t pick = between(0, 999);
        if (pick < 400) {
            inside = between(0, 9) != 0;
            if (inside) {
                xsession::movePointer(between(0, xsession::WINDOW_WIDTH - 1),
                                      between(0, xsession::WINDOW_HEIGHT - 1));
            } else {
                xsession::movePointer(between(-250, -1),
                                      between(-80, xsession::WINDOW_HEIGHT + 80));
            }
        } else if (pick < 560) {
            leftHeld ? xsession::releaseButton(LEFT_BUTTON) : xsession::pressButton(LEFT_BUTTON);
            leftHeld = !leftHeld;
        } else if (pick < 585) {
            xsession::click(MIDDLE_BUTTON);
        } else if (pick < 600) {
            xsession::click(RIGHT_BUTTON);  // quits if the game sees it, anywhere in the window
            wayOutGiven = true;
        } else if (pick < 800) {
            xsession::tapKey(KEYS[between(0, static_cast<int32_t>(std::size(KEYS)) - 1)]);
        } else if (pick < 830) {
            xsession::pressKey("Shift_L");
            xsession::tapKey("r");
            xsession::releaseKey("Shift_L");
        } else if (pick < 880) {
            xsession::requestClose();
        } else if (pick < 930) {
            if (focused) {
                xsession::focusOtherWindow();
            } else {
                xsession::focusGame();
                focusedSince = timing::nowMs();
            }
            focused = !focused;
        } else if (pick < 940) {
            xsession::tapKey("Escape");
            wayOutGiven = true;
        } else if (pick < 965 && readyForAWayOut()) {
            if (leftHeld) {
                xsession::releaseButton(LEFT_BUTTON);
            }
            if (between(0, 1) == 0) {
                ASSERT_NO_FATAL_FAILURE(escape());
                ASSERT_NO_FATAL_FAILURE(expectCleanEndAndRestart("Esc"));
            } else {
                // Held until the game's next poll sees it, even after a move's pause.
                xsession::pressButton(RIGHT_BUTTON);
                int32_t status = -1;
                xsession::waitExit(xsession::EXIT_MS, status);
                xsession::releaseButton(RIGHT_BUTTON);
                ASSERT_NO_FATAL_FAILURE(expectCleanEndAndRestart("the right button"));
            }
            ++waysOut;
            continue;
        }
        timing::sleepMs(between(0, 30));
        if (!xsession::running()) {
            ASSERT_TRUE(wayOutGiven) << "the game ended by itself after " << actions
                                     << " actions; stderr: " << xsession::capturedStderr();
            ASSERT_NO_FATAL_FAILURE(expectCleanEndAndRestart("a random way out"));
            ++waysOut;
        }
    }

    // Still answering: focus and pointer back, buttons up, then Esc ends it cleanly.
    if (leftHeld) {
        xsession::releaseButton(LEFT_BUTTON);
    }
    xsession::focusGame();
    focused = true;
    focusedSince = timing::nowMs();
    xsession::movePointer(xsession::WINDOW_WIDTH / 2, xsession::WINDOW_HEIGHT / 2);
    inside = true;
    timing::sleepMs(FOCUS_SETTLE_MS);
    ASSERT_NO_FATAL_FAILURE(escape());
    EXPECT_EQ(xsession::exitFault(xsession::EXIT_MS), "") << "Esc at the end";
    std::cout << "window soak: seed " << seed << ", " << actions << " actions, " << starts
              << " program starts, " << waysOut << " ways out taken\n";
}

}  // namespace
