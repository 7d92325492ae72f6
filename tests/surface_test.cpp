#include "screen/surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "control/control.h"
#include "screen/font.h"
#include "screen/keys.h"
#include "screen/palette.h"
#include "tests/fixtures.h"
#include "tests/scripted_host.h"

namespace {

constexpr int32_t GAME_WIDTH = control::WINDOW_WIDTH;
constexpr int32_t GAME_HEIGHT = control::WINDOW_HEIGHT;

int32_t pixelAt(int32_t x, int32_t y) {
    return surface::frame()[static_cast<size_t>(y) * static_cast<size_t>(surface::frameWidth()) +
                            static_cast<size_t>(x)];
}

std::vector<uint8_t> frameCopy() {
    const auto size =
        static_cast<size_t>(surface::frameWidth()) * static_cast<size_t>(surface::frameHeight());
    return {surface::frame(), surface::frame() + size};
}

// Fails with the first pixel whose colour differs from what `expected` says.
void expectFrame(const std::function<int32_t(int32_t, int32_t)>& expected) {
    for (int32_t y = 0; y < surface::frameHeight(); ++y) {
        for (int32_t x = 0; x < surface::frameWidth(); ++x) {
            if (pixelAt(x, y) != expected(x, y)) {
                FAIL() << "pixel (" << x << ", " << y << ") is " << pixelAt(x, y) << ", expected "
                       << expected(x, y);
            }
        }
    }
}

void openGameWindow() {
    script::reset();
    surface::openWindow(GAME_WIDTH, GAME_HEIGHT);
}

std::string readText(int32_t row, int32_t column, int32_t length) {
    const surface::TextState text = surface::textState();
    return fixtures::readText(surface::frame(), surface::frameWidth(), row, column, length,
                              text.foreground, text.background);
}

// --- Palette and font ---------------------------------------------------------------------

TEST(Palette, EntriesTheGameUses) {
    struct Entry {
        int32_t index;
        uint8_t r, g, b;
    };
    const Entry entries[] = {
        {0, 0, 0, 0},        {1, 0, 0, 170},      {4, 170, 0, 0},      {7, 170, 170, 170},
        {10, 85, 255, 85},   {11, 85, 255, 255},  {15, 255, 255, 255}, {32, 0, 0, 255},
        {36, 255, 0, 255},   {40, 255, 0, 0},     {44, 255, 255, 0},   {48, 0, 255, 0},
        {64, 255, 125, 125}, {68, 255, 255, 125}, {72, 125, 255, 125}, {76, 125, 255, 255},
        {80, 182, 182, 255},
    };
    for (const Entry& e : entries) {
        const uint8_t* rgb = surface::DEFAULT_PALETTE[e.index];
        EXPECT_EQ((std::vector<int>{rgb[0], rgb[1], rgb[2]}), (std::vector<int>{e.r, e.g, e.b}))
            << "palette index " << e.index;
    }
}

TEST(Palette, BrownGreyRampAndTrailingBlacks) {
    const uint8_t* brown = surface::DEFAULT_PALETTE[6];
    EXPECT_EQ((std::vector<int>{brown[0], brown[1], brown[2]}), (std::vector<int>{170, 85, 0}));
    for (int32_t i = 16; i < 32; ++i) {
        const uint8_t* grey = surface::DEFAULT_PALETTE[i];
        EXPECT_TRUE(grey[0] == grey[1] && grey[1] == grey[2]) << i;
        if (i > 16) {
            EXPECT_GT(grey[0], surface::DEFAULT_PALETTE[i - 1][0]) << i;
        }
    }
    EXPECT_EQ(surface::DEFAULT_PALETTE[16][0], 0);
    EXPECT_EQ(surface::DEFAULT_PALETTE[31][0], 255);
    for (int32_t i = 248; i < 256; ++i) {
        const uint8_t* black = surface::DEFAULT_PALETTE[i];
        EXPECT_EQ(black[0] + black[1] + black[2], 0) << i;
    }
}

TEST(Font, EveryVisibleCharacterHasAGlyph) {
    for (int32_t code = 1; code < 255; ++code) {
        if (code == ' ') {
            continue;
        }
        bool lit = false;
        for (int32_t row = 0; row < 8; ++row) {
            lit = lit || surface::FONT_8X8[code][row] != 0;
        }
        EXPECT_TRUE(lit) << "character " << code << " is blank";
    }
    for (const int32_t blank : {0, 32, 255}) {
        for (int32_t row = 0; row < 8; ++row) {
            EXPECT_EQ(surface::FONT_8X8[blank][row], 0) << blank;
        }
    }
}

TEST(Font, HorizontalBarIsOneFullLineOnRowFour) {
    for (int32_t row = 0; row < 8; ++row) {
        EXPECT_EQ(surface::FONT_8X8[196][row], row == 4 ? 0xFF : 0x00) << "row " << row;
    }
}

// --- Boxes --------------------------------------------------------------------------------

constexpr int32_t SMALL_WIDTH = 40;
constexpr int32_t SMALL_HEIGHT = 32;

TEST(Boxes, FillCoversBothCornersInAnyOrderClippedToTheFrame) {
    struct Case {
        const char* what;
        double x1, y1, x2, y2;
        int32_t left, top, right, bottom;  // expected, both included; empty if left > right
    };
    const double huge = 1e300;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"ordered", 10, 20, 13, 22, 10, 20, 13, 22},
        {"reversed", 13, 22, 10, 20, 10, 20, 13, 22},
        {"one pixel", 5, 5, 5, 5, 5, 5, 5, 5},
        {"past top-left", -5, -7, 2, 3, 0, 0, 2, 3},
        {"past bottom-right", 35, 30, 60, 90, 35, 30, 39, 31},
        {"wholly outside", -10, -10, -2, -2, 1, 0, 0, 0},
        {"wholly past the right", 40, 0, 50, 5, 1, 0, 0, 0},
        {"halves away from zero", 1.5, 2.5, 3.4, 4.5, 2, 3, 3, 5},
        {"negative half", -0.5, 0, 1, 0, 0, 0, 1, 0},
        {"huge", -huge, -huge, huge, huge, 0, 0, 39, 31},
        {"not a number", nan, nan, nan, nan, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        surface::openFrame(SMALL_WIDTH, SMALL_HEIGHT);
        surface::fillBox(c.x1, c.y1, c.x2, c.y2, 256 + 9);
        expectFrame([&](int32_t x, int32_t y) {
            return x >= c.left && x <= c.right && y >= c.top && y <= c.bottom ? 9 : 0;
        });
    }
}

TEST(Boxes, OutlineIsTheFourEdgesOnly) {
    surface::openFrame(SMALL_WIDTH, SMALL_HEIGHT);
    surface::outlineBox(6, 8, 2, 3, 300);  // reversed corners; 300 AND 255 is 44
    expectFrame([](int32_t x, int32_t y) {
        const bool across = (y == 3 || y == 8) && x >= 2 && x <= 6;
        const bool down = (x == 2 || x == 6) && y >= 3 && y <= 8;
        return across || down ? 44 : 0;
    });

    // Edges off the frame are simply not drawn; the others still are.
    surface::openFrame(SMALL_WIDTH, SMALL_HEIGHT);
    surface::outlineBox(-3, 2, 5, 40, 7);
    expectFrame(
        [](int32_t x, int32_t y) { return (y == 2 && x <= 5) || (x == 5 && y >= 2) ? 7 : 0; });
}

// --- Text ---------------------------------------------------------------------------------

TEST(Text, CellsAreOpaqueInTheCurrentColoursAndAdvanceTheCursor) {
    surface::openFrame(GAME_WIDTH, GAME_HEIGHT);
    surface::fillBox(0, 0, GAME_WIDTH - 1, GAME_HEIGHT - 1, 9);
    surface::setColours(10, 4);
    surface::setColours(-1, -1);  // negative keeps
    surface::locate(3, 5);
    surface::printText("A");
    EXPECT_TRUE(fixtures::cellShows(surface::frame(), GAME_WIDTH, 3, 5, 'A', 10, 4));
    EXPECT_EQ(pixelAt(8 * 5, 8 * 2), 9) << "the next cell is untouched";
    const surface::TextState text = surface::textState();
    EXPECT_EQ(text.row, 3);
    EXPECT_EQ(text.column, 6);

    surface::setColours(256 + 11, -5);  // AND 255; background kept
    EXPECT_EQ(surface::textState().foreground, 11);
    EXPECT_EQ(surface::textState().background, 4);
}

TEST(Text, HorizontalBarsJoinIntoOneLine) {
    surface::openFrame(GAME_WIDTH, GAME_HEIGHT);
    surface::locate(2, 1);
    surface::printText(std::string(3, '\xc4'));
    for (int32_t x = 0; x < 24; ++x) {
        for (int32_t y = 8; y < 16; ++y) {
            EXPECT_EQ(pixelAt(x, y), y == 12 ? 15 : 0) << x << ", " << y;
        }
    }
}

TEST(Text, ClearScreenFillsWithTheBackgroundAndHomesTheCursor) {
    surface::openFrame(SMALL_WIDTH, SMALL_HEIGHT);
    surface::setColours(3, 6);
    surface::locate(2, 3);
    surface::clearScreen();
    expectFrame([](int32_t, int32_t) { return 6; });
    const surface::TextState text = surface::textState();
    EXPECT_EQ((std::vector<int32_t>{text.row, text.column, text.foreground, text.background}),
              (std::vector<int32_t>{1, 1, 3, 6}));
}

TEST(Text, InvalidLocateChangesNothing) {
    surface::openFrame(GAME_WIDTH, GAME_HEIGHT);
    surface::locate(5, 6);
    const std::vector<uint8_t> before = frameCopy();
    const int32_t invalid[][2] = {{74, 70}, {75, 1}, {1, 63}, {-1, 1}, {1, -1}, {0, 63}, {75, 0}};
    for (const auto& rc : invalid) {
        surface::locate(rc[0], rc[1]);
        EXPECT_EQ(surface::textState().row, 5) << rc[0] << ", " << rc[1];
        EXPECT_EQ(surface::textState().column, 6) << rc[0] << ", " << rc[1];
    }
    EXPECT_TRUE(frameCopy() == before);
    surface::printText("x");
    EXPECT_EQ(readText(5, 6, 1), "x");

    surface::locate(0, 62);  // 0 keeps that coordinate
    EXPECT_EQ(surface::textState().row, 5);
    EXPECT_EQ(surface::textState().column, 62);
    surface::locate(74, 0);
    EXPECT_EQ(surface::textState().row, 74);
    EXPECT_EQ(surface::textState().column, 62);
}

TEST(Text, SixtyTwoCharactersWrapToTheNextRow) {
    surface::openFrame(GAME_WIDTH, GAME_HEIGHT);
    surface::locate(10, 1);
    surface::printText(std::string(61, '-') + "!");
    EXPECT_EQ(surface::textState().row, 11);
    EXPECT_EQ(surface::textState().column, 1);
    EXPECT_EQ(readText(10, 60, 3), "--!");
    surface::printText("w");
    EXPECT_EQ(readText(11, 1, 1), "w");
}

TEST(Text, OutputBelowTheLastRowScrollsTheWholeFrame) {
    surface::openFrame(GAME_WIDTH, GAME_HEIGHT);
    surface::fillBox(100, 8, 120, 15, 5);  // graphics on text row 2
    surface::setColours(15, 3);
    surface::locate(74, 62);
    surface::printText("A");
    EXPECT_EQ(pixelAt(100, 8), 5) << "filling the last cell alone does not scroll";

    surface::printText("B");
    EXPECT_EQ(pixelAt(100, 0), 5);
    EXPECT_EQ(pixelAt(120, 7), 5);
    EXPECT_EQ(pixelAt(100, 8), 0);
    EXPECT_EQ(readText(73, 62, 1), "A");
    EXPECT_EQ(readText(74, 1, 1), "B");
    for (int32_t y = GAME_HEIGHT - 8; y < GAME_HEIGHT; ++y) {
        for (int32_t x = 8; x < GAME_WIDTH; ++x) {
            ASSERT_EQ(pixelAt(x, y), 3) << "freed line " << y << " at " << x;
        }
    }
    EXPECT_EQ(surface::textState().row, 74);
    EXPECT_EQ(surface::textState().column, 2);
}

TEST(Text, PrintNumberRightAlignsInTheFieldAndNeverCuts) {
    struct Case {
        const char* format;
        int32_t value;
        const char* shown;
    };
    const Case cases[] = {
        {"##", 0, " 0"},
        {"##", 45, "45"},
        {"##", 100, "100"},
        {"score: ######", 0, "score:      0"},
        {"score: ######", 41, "score:     41"},
        {"score: ######", 1000000, "score: 1000000"},
    };
    for (const Case& c : cases) {
        surface::openFrame(GAME_WIDTH, GAME_HEIGHT);
        surface::locate(4, 7);
        surface::printNumber(c.format, c.value);
        const auto length = static_cast<int32_t>(std::string(c.shown).size());
        EXPECT_EQ(readText(4, 7, length + 1), std::string(c.shown) + " ") << c.format << c.value;
        EXPECT_EQ(surface::textState().column, 7 + length) << c.format << c.value;
    }
    EXPECT_EQ(surface::decimalText(41), "41");
    EXPECT_EQ(surface::decimalText(0), "0");
}

// --- Keys ---------------------------------------------------------------------------------

// The two-character key of keys without a name of their own.
const std::string UNNAMED("\xff\0", 2);

TEST(Keys, EventsMapToKeyStrings) {
    using host::EventKind;
    using host::KeyName;
    const auto key = [](KeyName name) {
        return host::Event{EventKind::Key, static_cast<int32_t>(name)};
    };
    const auto text = [](int32_t codePoint) { return host::Event{EventKind::Text, codePoint}; };
    struct Case {
        host::Event event;
        std::string expected;
    };
    const Case cases[] = {
        {text(' '), " "},
        {text('r'), "r"},
        {text('R'), "R"},
        {text(0xE9), "\x82"},     // é
        {text(0x2500), "\xc4"},   // box-drawing horizontal
        {text(0x03B1), "\xe0"},   // alpha
        {text(0x4E2D), UNNAMED},  // not in code page 437
        {text(0x20AC), UNNAMED},  // euro sign
        {key(KeyName::Unnamed), UNNAMED},
        {key(KeyName::Escape), "\x1b"},
        {key(KeyName::Enter), "\r"},
        {key(KeyName::Backspace), "\b"},
        {key(KeyName::Tab), "\t"},
        {key(KeyName::ControlA), "\x01"},
        {{EventKind::Key, static_cast<int32_t>(KeyName::ControlA) + 25}, "\x1a"},
        {{EventKind::Key, static_cast<int32_t>(KeyName::ControlA) + 26}, ""},
        {key(KeyName::Up), "\xffH"},
        {key(KeyName::Down), "\xffP"},
        {key(KeyName::Left), "\xffK"},
        {key(KeyName::Right), "\xffM"},
        {key(KeyName::Home), "\xffG"},
        {key(KeyName::End), "\xffO"},
        {key(KeyName::PageUp), "\xffI"},
        {key(KeyName::PageDown), "\xffQ"},
        {key(KeyName::Insert), "\xffR"},
        {key(KeyName::Delete), "\xffS"},
        {key(KeyName::F1), "\xff;"},
        {key(KeyName::F5), "\xff?"},
        {key(KeyName::F10),
         "\xff"
         "D"},
        {key(KeyName::F11), "\xff\x85"},
        {key(KeyName::F12), "\xff\x86"},
        {{EventKind::CloseRequest, 0}, "\xffk"},
        {{EventKind::ButtonDown, 1}, ""},
        {{EventKind::ButtonUp, 1}, ""},
        {{EventKind::Wheel, 1}, ""},
        {{EventKind::Other, 0}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(surface::keyString(c.event), c.expected)
            << "kind " << static_cast<int32_t>(c.event.kind) << " value " << c.event.value;
    }
}

TEST(Keys, SixteenUnreadKeysKeepTheLastFifteen) {
    openGameWindow();
    script::typeText("abcdefghijklmnop");
    std::string read;
    for (std::string key = surface::pollKey(); !key.empty(); key = surface::pollKey()) {
        read += key;
    }
    EXPECT_EQ(read, "bcdefghijklmnop");
}

TEST(Keys, KeysWithoutANameEndAPauseAndTakeASlotLikeAnyOther) {
    openGameWindow();
    script::after(60);
    script::typeKey(host::KeyName::Unnamed);
    surface::pause(200);
    EXPECT_EQ(script::now(), 100);
    EXPECT_EQ(surface::pollKey(), UNNAMED) << "the key stays queued";

    // Fifteen characters and an unnamed key: the queue of fifteen drops the oldest.
    script::typeText("abcdefghijklmno");
    script::typeKey(host::KeyName::Unnamed);
    std::string read;
    for (std::string key = surface::pollKey(); !key.empty(); key = surface::pollKey()) {
        read += key;
    }
    EXPECT_EQ(read, "bcdefghijklmno" + UNNAMED);
}

TEST(Keys, CloseBoxQueuesAKeyAndKeepsTheWindowOpen) {
    openGameWindow();
    script::closeBox();
    script::typeKey(host::KeyName::Escape);
    EXPECT_EQ(surface::pollKey(), "\xffk");
    EXPECT_EQ(surface::pollKey(), "\x1b");
    EXPECT_EQ(surface::pollKey(), "");
    EXPECT_TRUE(script::windowOpen());
}

// --- Pauses and the tone ------------------------------------------------------------------

TEST(Pause, AKeyEndsItAtTheNextCheck) {
    struct Case {
        int64_t keyAtMs;  // -1: typed before the pause starts
        int32_t pauseMs;
        int64_t returnsAtMs;
    };
    const Case cases[] = {
        {-1, 200, 0},    {20, 200, 50}, {50, 200, 50}, {60, 200, 100},
        {120, 200, 200}, {-1, 100, 0},  {-1, 99, 99},  {10, 60, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("key at " + std::to_string(c.keyAtMs) + ", pause " +
                     std::to_string(c.pauseMs));
        openGameWindow();
        script::after(std::max<int64_t>(c.keyAtMs, 0));
        script::typeText("x");
        surface::pause(c.pauseMs);
        EXPECT_EQ(script::now(), c.returnsAtMs);
        EXPECT_EQ(surface::pollKey(), "x") << "the key stays queued";
    }
}

TEST(Pause, ButtonsDoNotEndItAndInputIsStillTaken) {
    openGameWindow();
    script::moveTo(30, 40);
    script::after(20);
    script::press(surface::BUTTON_LEFT);
    script::after(70);
    script::wheel(2);
    surface::pause(200);
    EXPECT_EQ(script::now(), 200);
    const surface::PointerState pointer = surface::pollPointer();
    EXPECT_EQ(pointer.buttons, surface::BUTTON_LEFT);
    EXPECT_EQ(pointer.wheel, 2);
}

TEST(Pause, AKeyPolledBeforeThePauseDoesNotEndIt) {
    openGameWindow();
    script::typeText("x");
    EXPECT_EQ(surface::pollKey(), "x");
    surface::pause(200);
    EXPECT_EQ(script::now(), 200);
}

TEST(Pause, WhatWasDrawnIsShownBeforeItBegins) {
    openGameWindow();
    surface::fillBox(10, 10, 20, 20, 40);
    surface::locate(5, 5);
    surface::printText("Hi");
    script::typeText("x");  // ends the pause at once: nothing is shown while it waits
    surface::pause(200);
    EXPECT_EQ(script::now(), 0);
    EXPECT_TRUE(script::shownFrame() == frameCopy());

    surface::fillBox(30, 30, 31, 31, 36);
    surface::beep();
    EXPECT_EQ(script::pixel(30, 30), 36);
}

TEST(Beep, SoundsTheToneAndWaitsItOut) {
    for (const bool sound : {true, false}) {
        SCOPED_TRACE(sound ? "with sound" : "without sound");
        openGameWindow();
        script::setSound(sound);
        surface::beep();
        EXPECT_EQ(script::now(), 250);
        ASSERT_EQ(script::tones().size(), 1U);
        EXPECT_EQ(script::tones()[0].hertz, 1000);
        EXPECT_EQ(script::tones()[0].ms, 250);
    }
}

// --- Pointer ------------------------------------------------------------------------------

TEST(Pointer, ReportsPositionWheelAndHeldButtons) {
    openGameWindow();
    script::moveTo(10, 20);
    script::press(surface::BUTTON_LEFT);
    script::press(surface::BUTTON_MIDDLE);
    script::wheel(3);
    script::wheel(-1);
    surface::PointerState p = surface::pollPointer();
    EXPECT_EQ((std::vector<int32_t>{p.x, p.y, p.wheel, p.buttons}),
              (std::vector<int32_t>{10, 20, 2, 5}));

    script::release(surface::BUTTON_LEFT);
    p = surface::pollPointer();
    EXPECT_EQ(p.buttons, surface::BUTTON_MIDDLE);
}

TEST(Pointer, OutsideGivesMinusOnesAndForgetsHeldButtons) {
    openGameWindow();
    script::moveTo(10, 20);
    script::press(surface::BUTTON_LEFT);
    EXPECT_EQ(surface::pollPointer().buttons, surface::BUTTON_LEFT);

    script::leave();
    surface::PointerState p = surface::pollPointer();
    EXPECT_EQ((std::vector<int32_t>{p.x, p.y, p.wheel, p.buttons}),
              (std::vector<int32_t>{-1, -1, -1, -1}));

    script::moveTo(12, 22);  // the button was never released
    p = surface::pollPointer();
    EXPECT_EQ((std::vector<int32_t>{p.x, p.y, p.wheel, p.buttons}),
              (std::vector<int32_t>{12, 22, 0, 0}));

    script::release(surface::BUTTON_LEFT);
    script::press(surface::BUTTON_LEFT);
    EXPECT_EQ(surface::pollPointer().buttons, surface::BUTTON_LEFT);
}

TEST(Pointer, AnInactiveWindowReportsMinusOnesButKeepsTheHeldButtons) {
    openGameWindow();
    script::moveTo(10, 20);
    script::press(surface::BUTTON_LEFT);
    EXPECT_EQ(surface::pollPointer().buttons, surface::BUTTON_LEFT);

    script::setActive(false);  // another application has the focus; the pointer stays over
    surface::PointerState p = surface::pollPointer();
    EXPECT_EQ((std::vector<int32_t>{p.x, p.y, p.wheel, p.buttons}),
              (std::vector<int32_t>{-1, -1, -1, -1}));
    script::setActive(true);
    EXPECT_EQ(surface::pollPointer().buttons, surface::BUTTON_LEFT);

    // Found outside while inactive: forgotten, as when active.
    script::setActive(false);
    script::leave();
    EXPECT_EQ(surface::pollPointer().buttons, -1);
    script::moveTo(10, 20);
    script::setActive(true);
    EXPECT_EQ(surface::pollPointer().buttons, 0);
}

TEST(Pointer, IdleWaitOnlyWhenNothingHappened) {
    openGameWindow();
    surface::pollPointer();  // the window was just painted: no wait
    EXPECT_EQ(script::now(), 0);

    surface::pollPointer();  // nothing since: a full idle wait
    EXPECT_EQ(script::now(), 100);

    surface::fillBox(0, 0, 1, 1, 2);  // drawing: the game is busy, no wait
    surface::pollPointer();
    EXPECT_EQ(script::now(), 100);

    script::moveTo(5, 5);  // an event: no wait
    surface::pollPointer();
    EXPECT_EQ(script::now(), 100);

    script::typeText("q");
    surface::pollPointer();  // the key arrived: no wait
    EXPECT_EQ(script::now(), 100);
    surface::pollPointer();  // it waits unread, but nothing new happened
    EXPECT_EQ(script::now(), 200);
    EXPECT_EQ(surface::pollKey(), "q");

    script::typeText("ab");  // a loop taking one key per turn does not sleep between them
    surface::pollPointer();
    EXPECT_EQ(surface::pollKey(), "a");
    surface::pollPointer();
    EXPECT_EQ(script::now(), 200);
    EXPECT_EQ(surface::pollKey(), "b");
    surface::pollPointer();  // the queue is empty again: back to sleeping
    EXPECT_EQ(script::now(), 300);

    script::after(30);  // an event during the wait ends it at once
    script::moveTo(7, 8);
    const surface::PointerState p = surface::pollPointer();
    EXPECT_EQ(script::now(), 330);
    EXPECT_EQ(p.x, 7);
}

TEST(Pointer, MoveIsClampedIntoTheWindow) {
    openGameWindow();
    surface::movePointer(-5, 1000);
    const surface::PointerState p = surface::pollPointer();
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, GAME_HEIGHT - 1);
    EXPECT_EQ(script::warpCount(), 1);
}

// --- Window, clock, random numbers, ending ------------------------------------------------

TEST(Window, OpensWithTheProgramNameAndAFreshState) {
    openGameWindow();
    EXPECT_TRUE(script::windowOpen());
    EXPECT_EQ(script::caption(), "corvane");
    EXPECT_EQ(surface::textColumns(), 62);
    EXPECT_EQ(surface::textRows(), 74);
    const surface::TextState text = surface::textState();
    EXPECT_EQ((std::vector<int32_t>{text.row, text.column, text.foreground, text.background}),
              (std::vector<int32_t>{1, 1, 15, 0}));
    expectFrame([](int32_t, int32_t) { return 0; });
}

TEST(Window, CaptionIsTheFileNameWithoutExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/games/corvane", "corvane"},
        {"corvane", "corvane"},
        {"./build/corvane.exe", "corvane"},
        {"/a/b.d/prog", "prog"},
        {"a.b.c", "a.b"},
        {".hidden", ".hidden"},
        {"/x/.hidden.tar", ".hidden"},
        {"", ""},
        {"Z:\\work\\build\\corvane.exe", "corvane"},
        {"C:/mixed\\dir.d/corvane.exe", "corvane"},
    };
    for (const auto& [path, caption] : cases) {
        EXPECT_EQ(surface::captionFromPath(path), caption) << path;
    }
}

TEST(Clock, IsTheWallClock) {
    openGameWindow();
    script::setWallClock(1234.5);
    EXPECT_DOUBLE_EQ(surface::clockSeconds(), 1234.5);
}

TEST(Random, FollowsTheSeedDeterministically) {
    // The 15-bit linear congruential generator seeded with 1 gives 16838, 5758, 10113, ...;
    // seeding draws and drops the first.
    surface::seedRandom(1);
    EXPECT_EQ(surface::nextRandom(), 5758 / 32768.0);
    EXPECT_EQ(surface::nextRandom(), 10113 / 32768.0);

    const auto firstValues = [](double seed) {
        surface::seedRandom(seed);
        std::vector<double> values;
        for (int32_t i = 0; i < 8; ++i) {
            values.push_back(surface::nextRandom());
        }
        return values;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, double> sameSeeds[] = {
        {7.9, 7}, {-7.9, -7}, {4294967296.0 + 5, 5}, {-1, 4294967295.0}, {nan, 0},
        {inf, 0}, {-inf, 0},
    };
    for (const auto& [seed, same] : sameSeeds) {
        EXPECT_EQ(firstValues(seed), firstValues(same)) << seed;
    }
    EXPECT_NE(firstValues(1), firstValues(2));
    // Seeds far out of the 32-bit range are safe.
    for (const double seed : {123456.0, 2147483648.0, 1e19, 1e300, -1e300}) {
        for (const double value : firstValues(seed)) {
            EXPECT_GE(value, 0.0) << seed;
            EXPECT_LE(value, 32767 / 32768.0) << seed;
        }
    }
}

TEST(Ending, EndProgramExitsWithTheStatus) {
    openGameWindow();
    try {
        surface::endProgram(3);
        FAIL() << "endProgram returned";
    } catch (const script::ProgramEnded& ended) {
        EXPECT_EQ(ended.status, 3);
    }
}

}  // namespace
