// The real game on real desktops, for what only a desktop shows: under weston the game acts
// on the pointer the player sees although its warp cannot move it, the compositor's end ends
// the game, and a window manager replaced under the game changes nothing the player sees.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "board/board.h"
#include "tests/xsession.h"
#include "tools/xharness/desktop.h"
#include "tools/xharness/readback.h"
#include "tools/xharness/timing.h"
#include "tools/xharness/xserver.h"

namespace {

using board::Grid;

constexpr int32_t N = board::BOARD_SIZE;
using readback::RING;
constexpr int32_t CENTRE_CELL = 8;
// A player's look at the screen: what holds this long after the input holds for good.
constexpr int32_t SETTLE_MS = 400;
constexpr int32_t COMPOSITOR_GONE_MS = 1000;
// The cursor's image lies within this box around its hot spot, mostly below and right.
constexpr int32_t CURSOR_BEFORE = 8;
constexpr int32_t CURSOR_AFTER = 40;

struct Cell {
    int32_t x;
    int32_t y;
};

// A cell as read from the screen: its colour code (EMPTY for black), its outline, and
// whether the cursor's image may cover it.
struct Seen {
    int32_t code = board::EMPTY;
    bool outlined = false;
    bool covered = false;
};
using Seens = std::array<std::array<Seen, N + 1>, N + 1>;

Seen& at(Seens& seen, int32_t x, int32_t y) {
    return seen[static_cast<size_t>(x)][static_cast<size_t>(y)];
}
const Seen& at(const Seens& seen, int32_t x, int32_t y) {
    return seen[static_cast<size_t>(x)][static_cast<size_t>(y)];
}

using readback::cellMiddle;

// Reads each tile from its corner (readback::readCorner). Cells whose corner lies near `pointer`
// (client pixels) are marked covered; false when a corner shows anything but a tile or black
// outside those.
bool readCells(const xserver::Image& image, Cell pointer, Seens& seen) {
    if (image.width != xsession::WINDOW_WIDTH || image.height != xsession::WINDOW_HEIGHT) {
        return false;
    }
    const readback::Pixels pixel = [&image](int32_t px, int32_t py) {
        return xserver::pixel(image, px, py);
    };
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            const int32_t left = board::cellToPixel(x);
            const int32_t top = board::cellToPixel(y);
            Seen& cell = at(seen, x, y);
            cell = {};
            cell.covered =
                left + RING >= pointer.x - CURSOR_BEFORE && left < pointer.x + CURSOR_AFTER &&
                top + RING >= pointer.y - CURSOR_BEFORE && top < pointer.y + CURSOR_AFTER;
            if (cell.covered) {
                continue;
            }
            if (!readback::readCorner(pixel, x, y, cell.code, cell.outlined)) {
                return false;
            }
        }
    }
    return true;
}

// The board the game draws into its own window, whole (no cursor there).
bool readWindow(Grid& codes, Seens& seen) {
    const xsession::Image image = xsession::grab();
    xserver::Image own;
    own.width = image.width;
    own.height = image.height;
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        own.rgb.push_back(static_cast<uint32_t>(image.rgb[i]) << 16 |
                          static_cast<uint32_t>(image.rgb[i + 1]) << 8 | image.rgb[i + 2]);
    }
    if (!readCells(own, {-100, -100}, seen)) {
        return false;
    }
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            board::at(codes, x, y) = at(seen, x, y).code;
        }
    }
    return true;
}

// The window's client area as the screen shows it, the compositor's cursor included.
bool readScreen(Cell pointer, Seens& seen) {
    int32_t left = 0;
    int32_t top = 0;
    xsession::clientOrigin(left, top);
    return readCells(
        xserver::grabScreen(left, top, xsession::WINDOW_WIDTH, xsession::WINDOW_HEIGHT), pointer,
        seen);
}

// Polls until `holds` is true of what is read, or SHOW_MS have passed.
template <typename Read, typename Holds>
bool waitFor(Read read, Holds holds) {
    const int64_t deadline = timing::nowMs() + xsession::SHOW_MS;
    for (;;) {
        Seens seen{};
        if (read(seen) && holds(seen)) {
            return true;
        }
        if (timing::nowMs() >= deadline) {
            return false;
        }
        timing::sleepMs(10);
    }
}

Grid groupOf(const Grid& codes, Cell cell) {
    board::Board = codes;
    board::markGroup(cell.x, cell.y);
    return board::GroupMarks;
}

Grid afterMove(const Grid& codes, const Grid& marks) {
    board::Board = codes;
    board::GroupMarks = marks;
    board::removeMarked();
    board::settleColumns();
    board::closeEmptyColumns();
    return board::Board;
}

int32_t sizeOf(const Grid& marks) {
    int32_t size = 0;
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            size += board::at(marks, x, y);
        }
    }
    return size;
}

// Every uncovered cell shows the colours of `codes`, and an outline exactly on the tiles of
// `marks` (marking from an empty cell marks empty cells, which show no outline).
bool shows(const Seens& seen, const Grid& codes, const Grid& marks) {
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            const Seen& cell = at(seen, x, y);
            const bool outlined =
                board::at(marks, x, y) != 0 && board::at(codes, x, y) != board::EMPTY;
            if (!cell.covered &&
                (cell.code != board::at(codes, x, y) || cell.outlined != outlined)) {
                return false;
            }
        }
    }
    return true;
}

class DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(xsession::startServer(error)) << error;
    }
    void TearDown() override { xsession::stop(); }

    // Starts the game and reads its first deal, shown with the group under the pointer at
    // the centre cell outlined (the harness puts it there where the warp cannot).
    static void startGame(Grid& dealt) {
        std::string error;
        ASSERT_TRUE(xsession::startGame(error)) << error;
        ASSERT_TRUE(xsession::findWindow(xsession::SHOW_MS))
            << "no window; stderr: " << xsession::capturedStderr();
        ASSERT_TRUE(
            waitFor([&](Seens& seen) { return readWindow(dealt, seen); },
                    [&](const Seens& seen) {
                        return shows(seen, dealt, groupOf(dealt, {CENTRE_CELL, CENTRE_CELL}));
                    }));
    }
};

// Under weston the game's warp after a deal or a replay leaves the visible pointer where
// the player left it: the game must go by that pointer, never by the centre cell.
TEST_F(DesktopTest, UnderWestonTheGameFollowsTheVisiblePointerAfterADealOrAReplay) {
    if (desktop::running() != desktop::Kind::Weston) {
        GTEST_SKIP() << "only XWayland ignores the game's warp";
    }
    Grid dealt{};
    ASSERT_NO_FATAL_FAILURE(startGame(dealt));
    Grid centre = groupOf(dealt, {CENTRE_CELL, CENTRE_CELL});
    for (int32_t deal = 0; deal < 20 && sizeOf(centre) < 2; ++deal) {
        xsession::tapKey("space");  // a centre group a left press could remove
        const Grid previous = dealt;
        ASSERT_TRUE(waitFor([&](Seens& seen) { return readWindow(dealt, seen); },
                            [&](const Seens&) { return dealt != previous; }));
        centre = groupOf(dealt, {CENTRE_CELL, CENTRE_CELL});
    }
    ASSERT_GE(sizeOf(centre), 2);

    // A group of two or more away from the centre group, with the cursor's image clear of
    // the centre group's tiles.
    Cell target{0, 0};
    for (int32_t x = 1; x <= N && target.x == 0; ++x) {
        for (int32_t y = 1; y <= N && target.x == 0; ++y) {
            bool clear = sizeOf(groupOf(dealt, {x, y})) >= 2;
            for (int32_t dx = 0; dx <= 1 && clear; ++dx) {
                for (int32_t dy = 0; dy <= 1 && clear; ++dy) {
                    clear = x + dx > N || y + dy > N || board::at(centre, x + dx, y + dy) == 0;
                }
            }
            if (clear) {
                target = {x, y};
            }
        }
    }
    ASSERT_NE(target.x, 0) << "no group apart from the centre's";
    const Cell pointer = {cellMiddle(target.x), cellMiddle(target.y)};
    xsession::movePointer(pointer.x, pointer.y);
    const auto onScreen = [&](const Grid& codes, const Grid& marks) {
        return waitFor([&](Seens& seen) { return readScreen(pointer, seen); },
                       [&](const Seens& seen) { return shows(seen, codes, marks); });
    };
    ASSERT_TRUE(onScreen(dealt, groupOf(dealt, target)));

    // The replay repaints the deal with no outline: the pointer is still in its cell. A
    // left press then removes nothing, the centre group least of all.
    xsession::tapKey("r");
    const Grid none{};
    ASSERT_TRUE(onScreen(dealt, none)) << "an outline after the replay";
    timing::sleepMs(SETTLE_MS);
    Seens settled{};
    ASSERT_TRUE(readScreen(pointer, settled));
    EXPECT_TRUE(shows(settled, dealt, none)) << "an outline a moment after the replay";
    xsession::click(1);
    timing::sleepMs(SETTLE_MS);
    EXPECT_TRUE(onScreen(dealt, none)) << "the left press after the replay changed the board";

    // A new game outlines the group under the visible pointer, and a left press removes it.
    xsession::tapKey("space");
    Grid next{};
    ASSERT_TRUE(waitFor([&](Seens& seen) { return readWindow(next, seen); },
                        [&](const Seens&) { return next != dealt; }));
    const Grid marked = groupOf(next, target);
    ASSERT_TRUE(onScreen(next, marked)) << "the new deal without the pointer's group outlined";
    if (sizeOf(marked) >= 2) {
        xsession::click(1);
        const Grid moved = afterMove(next, marked);
        EXPECT_TRUE(onScreen(moved, groupOf(moved, target))) << "the pointer's group not removed";
    }
}

class CompositorEnds : public DesktopTest, public ::testing::WithParamInterface<int> {};

TEST_P(CompositorEnds, TheGameEndsWithinASecondWithOneLine) {
    if (desktop::running() != desktop::Kind::Weston) {
        GTEST_SKIP() << "no compositor runs";
    }
    Grid dealt{};
    ASSERT_NO_FATAL_FAILURE(startGame(dealt));
    desktop::endCompositor(GetParam());
    int32_t status = -1;
    ASSERT_TRUE(xsession::waitExit(COMPOSITOR_GONE_MS, status)) << "still running";
    EXPECT_EQ(status, 1);
    EXPECT_EQ(xsession::capturedStdout(), "");
    const std::string errors = xsession::capturedStderr();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_TRUE(errors.ends_with('\n') && errors.size() > 1) << errors;
}

INSTANTIATE_TEST_SUITE_P(Signals, CompositorEnds, ::testing::Values(SIGTERM, SIGKILL),
                         [](const ::testing::TestParamInfo<int>& entry) {
                             return std::string(entry.param == SIGTERM ? "Sigterm" : "Sigkill");
                         });

TEST_F(DesktopTest, ReplacingTheWindowManagerChangesNothingThePlayerSees) {
    const desktop::Kind running = desktop::running();
    if (running == desktop::Kind::Bare || running == desktop::Kind::Weston) {
        GTEST_SKIP() << "no window manager of the test's own runs";
    }
    Grid dealt{};
    ASSERT_NO_FATAL_FAILURE(startGame(dealt));
    // Two cells whose groups differ from each other and from that of cell (1, 1), which a
    // window taken for inactive would outline.
    std::vector<Cell> cells;
    for (int32_t x = N; x >= 1 && cells.size() < 2; --x) {
        for (int32_t y = N; y >= 1 && cells.size() < 2; --y) {
            const Grid group = groupOf(dealt, {x, y});
            if (board::at(group, 1, 1) == 0 &&
                (cells.empty() || board::at(group, cells[0].x, cells[0].y) == 0)) {
                cells.push_back({x, y});
            }
        }
    }
    ASSERT_EQ(cells.size(), 2U);
    const auto pointAndWait = [&](Cell cell) {
        xsession::movePointer(cellMiddle(cell.x), cellMiddle(cell.y));
        return waitFor([&](Seens& seen) { return readWindow(dealt, seen); },
                       [&](const Seens& seen) { return shows(seen, dealt, groupOf(dealt, cell)); });
    };
    ASSERT_TRUE(pointAndWait(cells[0]));
    const xsession::Image before = xsession::grab();

    std::string error;
    const desktop::Kind by =
        running == desktop::Kind::Openbox ? desktop::Kind::I3 : desktop::Kind::Openbox;
    ASSERT_TRUE(desktop::replaceWindowManager(by, error)) << error;
    // The new manager frames the window its own way, which may move the client area under
    // the resting pointer: the pointer is put back on the same pixel of the window.
    timing::sleepMs(SETTLE_MS);
    xsession::movePointer(cellMiddle(cells[0].x), cellMiddle(cells[0].y));
    xsession::Image after;
    EXPECT_TRUE(xsession::waitForImage(
        [&](const xsession::Image& shown) { return shown.rgb == before.rgb; }, xsession::SHOW_MS,
        after))
        << "the window changed under " << desktop::name(by);
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);

    // Still playing: the outline follows the pointer, and Esc ends the game cleanly.
    EXPECT_TRUE(pointAndWait(cells[1])) << "the outline no longer follows the pointer";
    xsession::tapKey("Escape");
    int32_t status = -1;
    ASSERT_TRUE(xsession::waitExit(xsession::EXIT_MS, status)) << "still running";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(xsession::capturedStdout(), "");
    EXPECT_EQ(xsession::capturedStderr(), "");
}

}  // namespace
