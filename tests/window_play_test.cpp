// Playing the real game in a private X server. The board is read back from the window's
// pixels, and every hover, move, replay and the end of a game is checked against what the
// board code computes for that board: outlines, legend counts, info text, score line and
// the game-over panel, down to the pixel. The game-over beep is captured through SDL's
// disk audio driver and measured.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "board/board.h"
#include "screen/palette.h"
#include "screen/surface.h"
#include "tests/fixtures.h"
#include "tests/groups.h"
#include "tests/xsession.h"
#include "tools/xharness/desktop.h"
#include "tools/xharness/readback.h"

namespace {

using board::Grid;
using fixtures::END_PANEL;
using fixtures::TextLine;
using xsession::Image;
using xsession::Rgb;

constexpr int32_t N = board::BOARD_SIZE;
constexpr int32_t PITCH = board::CELL_SIZE;
constexpr int32_t TILE = readback::TILE;
constexpr int32_t RING = readback::RING;
constexpr int32_t OUTLINE_OFFSET = readback::OUTLINE_OFFSET;
constexpr int32_t CENTRE_CELL = 8;
constexpr int32_t AUDIO_MS = 5000;
constexpr int32_t AUDIO_POLL_MS = 20;

// Text positions and colours of the status displays.
constexpr int32_t LEGEND_ROW = 68;
constexpr int32_t COUNT_FOREGROUND = 7;
constexpr int32_t INFO_FOREGROUND = 10;
constexpr int32_t SCORE_ROW = 65;
constexpr int32_t SCORE_COLUMN = 45;
constexpr int32_t SCORE_FOREGROUND = 11;
constexpr int32_t LEGEND_TOP = 512;
constexpr int32_t LEGEND_BOTTOM = 528;

// The tone as the host plays it through the disk driver: signed 16-bit mono samples.
constexpr int32_t AUDIO_RATE = 48000;
constexpr int32_t TONE_HERTZ = 1000;
constexpr int32_t TONE_MS = 250;
// The game closes its audio device after each tone, so the disk driver's file stops growing;
// while open, the driver writes a block every ~21 ms.
constexpr int32_t STILL_FILE_MS = 200;

struct Cell {
    int32_t x;
    int32_t y;
};

// What the window should show, as the test's model of the game follows it.
struct Play {
    Grid codes{};          // the board
    Grid marks{};          // the outlined group (all zero: none)
    int32_t infoSize = 0;  // the group size the info text reports
    int32_t score = 0;
    bool scoreShown = false;  // a new game shows no score line until its first move
    bool panel = false;
};

Rgb colourOf(int32_t index) {
    const uint8_t* rgb = surface::DEFAULT_PALETTE[index & 255];
    return {rgb[0], rgb[1], rgb[2]};
}

size_t pixelAt(int32_t x, int32_t y) {
    return static_cast<size_t>(y) * xsession::WINDOW_WIDTH + static_cast<size_t>(x);
}

using readback::cellMiddle;

void pointAt(Cell cell) {
    xsession::movePointer(cellMiddle(cell.x), cellMiddle(cell.y));
}

std::string rightAligned(int32_t value, size_t places) {
    const std::string digits = std::to_string(value);
    return std::string(places - std::min(places, digits.size()), ' ') + digits;
}

// The group the game marks from `cell` on `codes`: its marks and its size.
int32_t markFrom(const Grid& codes, Cell cell, Grid& marks) {
    board::Board = codes;
    board::markGroup(cell.x, cell.y);
    marks = board::GroupMarks;
    return board::countGroup();
}

Grid afterMove(const Grid& codes, const Grid& marks) {
    board::Board = codes;
    board::GroupMarks = marks;
    board::removeMarked();
    board::settleColumns();
    board::closeEmptyColumns();
    return board::Board;
}

bool hasMoves(const Grid& codes) {
    board::Board = codes;
    return board::hasMoves();
}

// The pointer over `cell` on the next redraw: off the board the outline goes and the info
// text of the last group stays.
void hover(Play& play, Cell cell) {
    if (cell.x < 1 || cell.x > N || cell.y < 1 || cell.y > N) {
        play.marks = {};
        return;
    }
    play.infoSize = markFrom(play.codes, cell, play.marks);
}

// A left press on the outlined group, then the redraw with the pointer on `pointer`.
void move(Play& play, Cell pointer) {
    play.score += board::moveGain(play.infoSize);
    play.scoreShown = true;
    play.codes = afterMove(play.codes, play.marks);
    hover(play, pointer);
}

std::vector<TextLine> textsOf(const Play& play) {
    std::vector<TextLine> lines;
    int32_t lastCountEnd = 0;
    const auto counts = groups::colourCounts(play.codes);
    for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
        const std::string text = rightAligned(counts[static_cast<size_t>(h - 1)], 2);
        lines.push_back({LEGEND_ROW, 4 * h - 1, COUNT_FOREGROUND, 0, text});
        lastCountEnd = 4 * h - 1 + static_cast<int32_t>(text.size());
    }
    lines.push_back({LEGEND_ROW, lastCountEnd, INFO_FOREGROUND, 0,
                     "   " + std::to_string(play.infoSize) + " (+" +
                         std::to_string(board::previewGain(play.infoSize)) + ")     "});
    // Without a score line its place stays black, which blanks check.
    lines.push_back(
        {SCORE_ROW, SCORE_COLUMN, SCORE_FOREGROUND, 0,
         play.scoreShown ? "score: " + rightAligned(play.score, 6) : std::string(13, ' ')});
    if (play.panel) {
        lines.insert(lines.end(), END_PANEL.begin(), END_PANEL.end());
    }
    return lines;
}

// A text line as read from the window, '?' for cells showing no glyph in its colours.
std::string readText(const Image& image, const TextLine& line) {
    std::vector<uint8_t> indices(pixelAt(0, xsession::WINDOW_HEIGHT), 255);
    for (int32_t y = 0; y < xsession::WINDOW_HEIGHT; ++y) {
        for (int32_t x = 0; x < xsession::WINDOW_WIDTH; ++x) {
            const Rgb shown = xsession::pixel(image, x, y);
            if (shown == colourOf(line.foreground)) {
                indices[pixelAt(x, y)] = static_cast<uint8_t>(line.foreground);
            } else if (shown == colourOf(line.background)) {
                indices[pixelAt(x, y)] = static_cast<uint8_t>(line.background);
            }
        }
    }
    return fixtures::readText(indices.data(), xsession::WINDOW_WIDTH, line.row, line.column,
                              static_cast<int32_t>(line.text.size()), line.foreground,
                              line.background);
}

// "" when the window shows `play` exactly, else the first difference. Texts are drawn as
// the surface draws them into a frame of our own; tiles under a text (the panel) are
// not checked.
std::string mismatch(const Image& image, const Play& play) {
    if (image.width != xsession::WINDOW_WIDTH || image.height != xsession::WINDOW_HEIGHT) {
        return "the window is " + std::to_string(image.width) + " x " +
               std::to_string(image.height);
    }
    const std::vector<TextLine> lines = textsOf(play);
    surface::openFrame(xsession::WINDOW_WIDTH, xsession::WINDOW_HEIGHT);
    std::vector<bool> underText(pixelAt(0, xsession::WINDOW_HEIGHT), false);
    for (const TextLine& line : lines) {
        surface::setColours(line.foreground, line.background);
        surface::locate(line.row, line.column);
        surface::printText(line.text);
    }
    for (const TextLine& line : lines) {
        const int32_t top = 8 * (line.row - 1);
        const int32_t left = 8 * (line.column - 1);
        const int32_t right = left + 8 * static_cast<int32_t>(line.text.size());
        for (int32_t y = top; y < top + 8; ++y) {
            for (int32_t x = left; x < right; ++x) {
                underText[pixelAt(x, y)] = true;
                if (xsession::pixel(image, x, y) != colourOf(surface::frame()[pixelAt(x, y)])) {
                    return "row " + std::to_string(line.row) + ", column " +
                           std::to_string(line.column) + " reads \"" + readText(image, line) +
                           "\", expected \"" + line.text + "\"";
                }
            }
        }
    }
    for (int32_t cx = 1; cx <= N; ++cx) {
        for (int32_t cy = 1; cy <= N; ++cy) {
            const int32_t code = board::at(play.codes, cx, cy);
            const bool outlined = board::at(play.marks, cx, cy) == 1 && code != board::EMPTY;
            for (int32_t dy = 0; dy < PITCH; ++dy) {
                for (int32_t dx = 0; dx < PITCH; ++dx) {
                    const int32_t x = board::cellToPixel(cx) + dx;
                    const int32_t y = board::cellToPixel(cy) + dy;
                    const int32_t depth = std::min({dx, dy, TILE - 1 - dx, TILE - 1 - dy});
                    const int32_t index = dx >= TILE || dy >= TILE    ? 0
                                          : outlined && depth == RING ? code + OUTLINE_OFFSET
                                                                      : code;
                    if (!underText[pixelAt(x, y)] &&
                        xsession::pixel(image, x, y) != colourOf(index)) {
                        return "cell " + std::to_string(cx) + ", " + std::to_string(cy) +
                               " differs at pixel " + std::to_string(x) + ", " + std::to_string(y) +
                               (outlined ? " (outlined)" : "");
                    }
                }
            }
        }
    }
    for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
        for (int32_t y = LEGEND_TOP; y <= LEGEND_BOTTOM; ++y) {
            for (int32_t x = PITCH * h - PITCH / 2; x <= PITCH * h; ++x) {
                if (xsession::pixel(image, x, y) != colourOf(board::colourCode(h))) {
                    return "legend box " + std::to_string(h) + " differs at pixel " +
                           std::to_string(x) + ", " + std::to_string(y);
                }
            }
        }
    }
    return "";
}

struct Group {
    Cell cell;
    int32_t size;
};

// The groups marked from each tile, in the game's scan order (columns from the left).
std::vector<Group> groupsOf(const Grid& codes) {
    std::vector<Group> groups;
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            if (board::at(codes, x, y) != board::EMPTY) {
                Grid marks{};
                groups.push_back({{x, y}, markFrom(codes, {x, y}, marks)});
            }
        }
    }
    return groups;
}

// The first cell from which the largest group is marked, other than `avoid`.
Cell largestGroup(const Grid& codes, Cell avoid = {0, 0}) {
    Group best = {{0, 0}, 0};
    for (const Group& group : groupsOf(codes)) {
        if (group.size > best.size && (group.cell.x != avoid.x || group.cell.y != avoid.y)) {
            best = group;
        }
    }
    return best.cell;
}

// The first cell of a removable group of the smallest size, as a move of two tiles scores
// one point more than its preview.
Cell smallestMove(const Grid& codes) {
    Group best = {{0, 0}, board::BOARD_SIZE * board::BOARD_SIZE + 1};
    for (const Group& group : groupsOf(codes)) {
        if (group.size >= 2 && group.size < best.size) {
            best = group;
        }
    }
    return best.cell;
}

struct Tone {
    double ms;
    double hertz;
};

// Finds the tone in raw 16-bit mono PCM: the stretch from the first to the last non-zero
// sample (the driver writes zeros whenever nothing plays), its length and its frequency by
// counting sign changes. False until the tone is followed by enough silence to be over.
bool findTone(const std::string& pcm, Tone& tone) {
    std::vector<int16_t> samples(pcm.size() / sizeof(int16_t));
    std::memcpy(samples.data(), pcm.data(), samples.size() * sizeof(int16_t));
    const auto loud = [](int16_t sample) { return sample != 0; };
    const auto first = std::find_if(samples.begin(), samples.end(), loud);
    if (first == samples.end()) {
        return false;
    }
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud).base() - 1;
    int32_t crossings = 0;
    int16_t previous = *first;
    for (auto sample = first; sample <= last; ++sample) {
        if (*sample != 0) {
            crossings += (*sample > 0) != (previous > 0) ? 1 : 0;
            previous = *sample;
        }
    }
    const double seconds = static_cast<double>(last - first + 1) / AUDIO_RATE;
    tone = {1000.0 * seconds, crossings / 2.0 / seconds};
    return true;
}

class WindowPlay : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(xsession::startServer(error)) << error;
    }
    void TearDown() override {
        xsession::stop();
        if (!audioPath.empty()) {
            unlink(audioPath.c_str());
        }
    }

    // Waits until the window shows `play`; on time-out says what differs.
    static ::testing::AssertionResult shows(const Play& play) {
        Image last;
        if (xsession::waitForImage(
                [&](const Image& image) { return mismatch(image, play).empty(); },
                xsession::SHOW_MS, last)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << mismatch(last, play);
    }

    // Starts the game and reads its deal once it is drawn with the centre group outlined.
    void startGame(Play& play, const std::vector<std::string>& environment = {}) {
        std::string error;
        ASSERT_TRUE(xsession::startGameWithEnvironment(environment, error)) << error;
        ASSERT_TRUE(xsession::findWindow(xsession::SHOW_MS))
            << "no window; stderr: " << xsession::capturedStderr();
        Image last;
        const bool dealt = xsession::waitForImage(
            [&](const Image& image) {
                play = {};
                if (!xsession::readCodes(image, play.codes) || !readback::full(play.codes)) {
                    return false;
                }
                hover(play, {CENTRE_CELL, CENTRE_CELL});
                return mismatch(image, play).empty();
            },
            xsession::SHOW_MS, last);
        ASSERT_TRUE(dealt) << "no dealt board with the centre group outlined: "
                           << mismatch(last, play);
    }

    // Points at `target` and waits for its outline and info text.
    static void pointAndCheck(Play& play, Cell target) {
        pointAt(target);
        hover(play, target);
        ASSERT_TRUE(shows(play)) << "hovering " << target.x << ", " << target.y;
    }

    // Presses the left button on the outlined group, moves the pointer to `next` during
    // the pause after the move, and waits for the new board with the group there outlined.
    static void pressAndCheck(Play& play, Cell next) {
        ASSERT_GE(play.infoSize, 2);
        xsession::click(1);
        pointAt(next);
        move(play, next);
        ASSERT_TRUE(shows(play)) << "after the move, pointing at " << next.x << ", " << next.y;
    }

    std::string audioPath;
};

TEST_F(WindowPlay, TheOutlineAndInfoTextFollowThePointerAsTheBoardCodeMarksGroups) {
    Play play;
    ASSERT_NO_FATAL_FAILURE(startGame(play));
    const Grid dealt = play.codes;

    // Window pixels to point at. A negative point lies outside the window, where the
    // game's pointer poll reports -1, which maps to cell (1, 1).
    struct Point {
        const char* what;
        int32_t x;
        int32_t y;
    };
    const Cell largest = largestGroup(dealt);
    std::vector<Point> points = {
        {"the margin above and left of the board", 2, 2},
        {"the bottom right tile", cellMiddle(N), cellMiddle(N)},
        {"outside the window", -60, -60},
        {"the gap after the last column", 487, cellMiddle(2)},
        {"the margin right of the board", 490, cellMiddle(CENTRE_CELL)},
        {"the largest group", cellMiddle(largest.x), cellMiddle(largest.y)},
    };
    for (const Group& group : groupsOf(dealt)) {
        if (group.size == 1) {
            points.push_back({"a lone tile", cellMiddle(group.cell.x), cellMiddle(group.cell.y)});
            break;
        }
    }
    for (const Point& point : points) {
        SCOPED_TRACE(point.what);
        xsession::movePointer(point.x, point.y);
        const bool inside = point.x >= 0 && point.y >= 0;
        hover(play, {board::pixelToCell(inside ? point.x : -1),
                     board::pixelToCell(inside ? point.y : -1)});
        EXPECT_TRUE(shows(play));
    }
    EXPECT_EQ(play.codes, dealt);
}

TEST_F(WindowPlay, MovesScoreAsTheBoardCodeComputesAndRBringsBackTheDeal) {
    Play play;
    ASSERT_NO_FATAL_FAILURE(startGame(play));
    const Grid dealt = play.codes;

    // The smallest move first: a pair previews 2 points and scores 3.
    Cell target = smallestMove(play.codes);
    ASSERT_NE(target.x, 0) << "no move on the dealt board";
    for (int32_t moveNumber = 1; moveNumber <= 3 && hasMoves(play.codes); ++moveNumber) {
        SCOPED_TRACE("move " + std::to_string(moveNumber));
        ASSERT_NO_FATAL_FAILURE(pointAndCheck(play, target));
        ASSERT_NO_FATAL_FAILURE(pressAndCheck(play, target));
        target = largestGroup(play.codes, {CENTRE_CELL, CENTRE_CELL});
    }

    // A game in progress for the README: a large group outlined off the centre cell, so
    // that the replay below moves the pointer and redraws.
    ASSERT_NO_FATAL_FAILURE(pointAndCheck(play, target));
    if (desktop::running() == desktop::Kind::Bare) {
        EXPECT_TRUE(xsession::savePng(xsession::grab(), CORVANE_SCREENSHOT));
    }

    // The deal comes back with the centre group outlined; the score line keeps the old
    // score until the next move, which counts from 0 again. Where the warp cannot move the
    // visible pointer (weston), the test moves it there as a player would.
    xsession::tapKey("r");
    if (!desktop::warpsMovePointer()) {
        pointAt({CENTRE_CELL, CENTRE_CELL});
    }
    play.codes = dealt;
    hover(play, {CENTRE_CELL, CENTRE_CELL});
    ASSERT_TRUE(shows(play)) << "after the replay";
    target = largestGroup(play.codes);
    ASSERT_NO_FATAL_FAILURE(pointAndCheck(play, target));
    play.score = 0;
    ASSERT_NO_FATAL_FAILURE(pressAndCheck(play, target));
}

TEST_F(WindowPlay, AWholeGameEndsWithThePanelAndOneBeepAndTheRightButtonQuits) {
    audioPath = xsession::temporaryFile("corvane-audio");
    ASSERT_NE(audioPath, "");

    Play play;
    ASSERT_NO_FATAL_FAILURE(
        startGame(play, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audioPath}));

    // Largest group first, each chosen on the board the game should show by then; the
    // pointer moves to the next choice during the pause after each move.
    ASSERT_NO_FATAL_FAILURE(pointAndCheck(play, largestGroup(play.codes)));
    int32_t moves = 1;
    for (; hasMoves(afterMove(play.codes, play.marks)); ++moves) {
        SCOPED_TRACE("move " + std::to_string(moves));
        ASSERT_LT(moves, N * N / 2) << "more moves than pairs of tiles";
        ASSERT_NO_FATAL_FAILURE(
            pressAndCheck(play, largestGroup(afterMove(play.codes, play.marks))));
    }

    // The last move: the board without an outline, its legend, the info text of the last
    // group, the final score line, and the panel over the middle of the board.
    ASSERT_GE(play.infoSize, 2);
    xsession::click(1);
    move(play, {0, 0});
    play.panel = true;
    ASSERT_TRUE(shows(play)) << "the end of the game after " << moves << " moves";

    // The tone is over once the device is closed and the file stands still. A loaded machine
    // may stall the driver's writing for a moment, so a still file counts only once it holds
    // the whole tone.
    std::string audio;
    Tone tone{};
    bool heard = false;
    int32_t stillMs = 0;
    for (int32_t waited = 0; waited < AUDIO_MS && !heard; waited += AUDIO_POLL_MS) {
        std::this_thread::sleep_for(std::chrono::milliseconds(AUDIO_POLL_MS));
        std::string now = xsession::readFile(audioPath);
        stillMs = !now.empty() && now.size() == audio.size() ? stillMs + AUDIO_POLL_MS : 0;
        audio = std::move(now);
        heard = stillMs >= STILL_FILE_MS && findTone(audio, tone) && tone.ms >= TONE_MS - 10.0;
    }
    ASSERT_TRUE(heard) << "no whole tone in " << audio.size()
                       << " bytes of audio, or the audio device stayed open";
    EXPECT_NEAR(tone.hertz, TONE_HERTZ, 10.0);
    EXPECT_NEAR(tone.ms, TONE_MS, 10.0);
    EXPECT_TRUE(xsession::running()) << "the panel waits for a button";

    xsession::click(3);
    EXPECT_EQ(xsession::exitFault(xsession::EXIT_MS), "");
}

}  // namespace
