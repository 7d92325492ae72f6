#include "tests/play_model.h"

#include <array>

#include "control/control.h"
#include "screen/host.h"
#include "tests/groups.h"

namespace playmodel {

namespace {

using board::BOARD_SIZE;
using board::EMPTY;

constexpr int32_t MOVE_PAUSE_MS = 200;
constexpr int32_t START_PAUSE_MS = 200;
constexpr int32_t QUIT_PAUSE_MS = 200;
constexpr int32_t BEEP_MS = 250;
constexpr int32_t TEXT_COLUMNS = control::WINDOW_WIDTH / 8;
// Where a deal or replay puts the pointer: a third of a cell into the centre tile (8, 8).
constexpr int32_t CENTRE_PIXEL = 243;
constexpr char ESCAPE[] = "\x1b";

// The cell of a pointer coordinate; -1 (outside) and the margin fall into cell 1, as the
// division truncates toward zero.
int32_t cellOf(int32_t pixel) {
    return (pixel - board::BOARD_MARGIN) / board::CELL_SIZE + 1;
}

bool onBoard(int32_t column, int32_t row) {
    return column >= 1 && column <= BOARD_SIZE && row >= 1 && row <= BOARD_SIZE;
}

std::string rightAligned(int32_t value, size_t places) {
    const std::string digits = std::to_string(value);
    return std::string(places > digits.size() ? places - digits.size() : 0, ' ') + digits;
}

// The key string each input queues, from the key table of the surface; false for input
// that is no key.
bool keyOf(const Input& input, ExpectedKey& key) {
    const auto name = static_cast<host::KeyName>(input.a);
    switch (input.kind) {
        case InputKind::Text:
            key = {true, std::string(1, static_cast<char>(input.a))};
            return true;
        case InputKind::CloseBox:
            key = {true, "\xffk"};
            return true;
        case InputKind::Key:
            break;
        default:
            return false;
    }
    const auto extended = [](char code) { return ExpectedKey{true, std::string{'\xff', code}}; };
    switch (name) {
        case host::KeyName::Escape:
            key = {true, ESCAPE};
            return true;
        case host::KeyName::Enter:
            key = {true, "\r"};
            return true;
        case host::KeyName::Up:
            key = extended('H');
            return true;
        case host::KeyName::Down:
            key = extended('P');
            return true;
        case host::KeyName::Left:
            key = extended('K');
            return true;
        case host::KeyName::Right:
            key = extended('M');
            return true;
        default:
            break;
    }
    if (input.a >= static_cast<int32_t>(host::KeyName::F1) &&
        input.a <= static_cast<int32_t>(host::KeyName::F10)) {
        key = extended(static_cast<char>(';' + input.a - static_cast<int32_t>(host::KeyName::F1)));
        return true;
    }
    key = {false, ""};  // Backspace, Tab, Home.., Ctrl+letter: some key that is no command
    return true;
}

// The machine's side of one input; true when it queues a key.
bool apply(Session& session, const Input& input) {
    switch (input.kind) {
        case InputKind::MoveTo:
            session.inside = true;
            session.x = input.a;
            session.y = input.b;
            break;
        case InputKind::Leave:
            session.inside = false;
            break;
        case InputKind::Activate:
        case InputKind::Deactivate:
            session.active = input.kind == InputKind::Activate;
            break;
        case InputKind::Press:
            session.held |= input.a;
            break;
        case InputKind::Release:
            session.held &= ~input.a;
            break;
        default:
            break;
    }
    ExpectedKey key;
    if (!keyOf(input, key)) {
        return false;
    }
    if (session.keys.size() == static_cast<size_t>(surface::KEY_QUEUE_SLOTS - 1)) {
        session.keys.pop_front();  // a full queue loses its oldest key
    }
    session.keys.push_back(key);
    return true;
}

// The part of the group around (cx, cy) that the game's fixed thirty sweeps reach: each
// sweep visits columns left to right and each column top to bottom, so growth to the left
// or upward waits for the next sweep. From an empty cell, that cell alone.
Grid sweptGroup(const Grid& codes, int32_t cx, int32_t cy) {
    Grid marks{};
    const int32_t colour = board::at(codes, cx, cy);
    board::at(marks, cx, cy) = 1;
    if (colour == EMPTY) {
        return marks;
    }
    for (int32_t sweep = 0; sweep < 2 * BOARD_SIZE; ++sweep) {
        for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
            for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
                if (board::at(marks, x, y) == 0) {
                    continue;
                }
                for (const auto& [nx, ny] :
                     {std::array{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}}) {
                    if (onBoard(nx, ny) && board::at(codes, nx, ny) == colour) {
                        board::at(marks, nx, ny) = 1;
                    }
                }
            }
        }
    }
    return marks;
}

void print(Screen& screen, int32_t column, const std::string& text, int32_t ink) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto at = static_cast<size_t>(column - 1) + i;
        if (at < screen.legendRow.size()) {
            screen.legendRow[at] = text[i];
            screen.ink[at] = ink;
        }
    }
}

void blankScreen(Screen& screen) {
    screen.outlined = {};
    screen.legendRow.assign(static_cast<size_t>(TEXT_COLUMNS), ' ');
    screen.ink.assign(static_cast<size_t>(TEXT_COLUMNS), LEGEND_INK);
    screen.scoreLine.clear();
}

// The tiles without outlines and the legend's counts; returns the column after the last
// count, where the info text goes on.
int32_t redrawBoard(Screen& screen) {
    screen.outlined = {};
    const auto counts = groups::colourCounts(screen.board);
    int32_t end = 1;
    for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
        const std::string count = rightAligned(counts[static_cast<size_t>(h - 1)], 2);
        print(screen, 4 * h - 1, count, LEGEND_INK);
        end = 4 * h - 1 + static_cast<int32_t>(count.size());
    }
    return end;
}

void warpToCentre(Session& session) {
    session.inside = true;
    session.x = CENTRE_PIXEL;
    session.y = CENTRE_PIXEL;
}

// The board after removing `taken`: each column's remaining tiles at its bottom in their
// order, the non-empty columns packed to the left in theirs.
Grid withoutCells(const Grid& codes, const Grid& taken) {
    Grid result{};
    int32_t column = 1;
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        std::vector<int32_t> tiles;
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            if (board::at(taken, x, y) == 0 && board::at(codes, x, y) != EMPTY) {
                tiles.push_back(board::at(codes, x, y));
            }
        }
        if (tiles.empty()) {
            continue;
        }
        const int32_t top = BOARD_SIZE - static_cast<int32_t>(tiles.size()) + 1;
        for (size_t i = 0; i < tiles.size(); ++i) {
            board::at(result, column, top + static_cast<int32_t>(i)) = tiles[i];
        }
        ++column;
    }
    return result;
}

// n^3 / 3 leaves a remainder of 0, 1 or 2 thirds; adding 1 before the division rounds two
// thirds up and one third down, to the nearest.
int32_t gainOf(int32_t n) {
    return (n * n * n + 1) / 3;
}

int32_t previewOf(int32_t n) {
    return n * n * n / 3;
}

}  // namespace

void startProgram(Session& session, const Grid& deal) {
    const Tally tally = session.tally;
    session = Session{};
    session.tally = tally;
    ++session.tally.programStarts;
    blankScreen(session.screen);
    startGame(session, deal);
}

void startGame(Session& session, const Grid& deal) {
    ++session.tally.games;
    session.deal = deal;
    session.screen.board = deal;
    warpToCentre(session);
}

Expected expectTurn(Session& session, const Turn& turn) {
    Expected expected;
    Screen& screen = session.screen;
    bool keyArrived = false;
    for (const Input& input : turn.inputs) {
        keyArrived = apply(session, input) || keyArrived;
    }
    // The pointer poll: away from the window (outside or inactive) it reports -1 for all,
    // which maps to cell (1, 1); only a poll outside forgets the buttons, an inactive window
    // with the pointer over it keeps them.
    const bool seen = session.inside && session.active;
    const int32_t buttons = seen ? session.held : -1;
    if (!session.inside) {
        session.held = 0;
    }
    const int32_t column = cellOf(seen ? session.x : -1);
    const int32_t row = cellOf(seen ? session.y : -1);

    // The play turn's first half: a redraw with the group under the pointer outlined when
    // the cell, the score or a new game asks for it; then a move on a held left button.
    if (column != session.previousColumn || row != session.previousRow ||
        session.score != session.shownScore || session.lastKey == " ") {
        session.shownScore = session.score;
        const int32_t infoColumn = redrawBoard(screen);
        if (onBoard(column, row)) {
            const bool tile = board::at(screen.board, column, row) != EMPTY;
            session.marks = sweptGroup(screen.board, column, row);
            session.groupSize = tile ? groups::cellCount(session.marks) : 0;
            if (tile) {
                screen.outlined = session.marks;
            }
            print(screen, infoColumn,
                  "   " + std::to_string(session.groupSize) + " (+" +
                      std::to_string(previewOf(session.groupSize)) + ")     ",
                  INFO_INK);
        }
    }
    if (buttons != -1 && (buttons & LEFT) != 0 && session.groupSize > 1) {
        expected.moved = true;
        session.score = session.shownScore + gainOf(session.groupSize);
        screen.scoreLine = "score: " + rightAligned(session.score, 6);
        screen.board = withoutCells(screen.board, session.marks);
        redrawBoard(screen);
        // A key that arrived this turn cuts the pause short.
        expected.durationMs += keyArrived ? 0 : MOVE_PAUSE_MS;
        session.groupSize = 0;
    }
    if (buttons != -1 && (buttons & RIGHT) != 0) {
        expected.next = Next::End;
        return expected;
    }

    // The second half: the game-over panel when no move is left, else the key poll.
    session.previousColumn = column;
    session.previousRow = row;
    bool lateReleaseTaken = false;
    if (!groups::hasMoves(screen.board)) {
        expected.panel = true;
        expected.atPanel = screen;
        expected.durationMs += BEEP_MS;
        if (turn.lateLeftRelease) {
            session.held &= ~LEFT;  // let go during the pause or the beep
            lateReleaseTaken = true;
        }
        if ((session.held & LEFT) != 0) {
            expected.next = Next::NewGame;  // the button that made the last move is still down
        } else {
            expected.durationMs = PANEL_ANSWER_MS;
            session.held |= turn.panelButton;
            expected.next = turn.panelButton == LEFT ? Next::NewGame : Next::End;
        }
        expected.durationMs += expected.next == Next::End ? QUIT_PAUSE_MS : START_PAUSE_MS;
    } else {
        expected.keyPolled = true;
        if (!session.keys.empty()) {
            expected.key = session.keys.front();
            session.keys.pop_front();
        }
        session.lastKey = expected.key.text;
        if (expected.key.exact && expected.key.text == " ") {
            expected.next = Next::NewGame;
        } else if (expected.key.exact && expected.key.text == ESCAPE) {
            expected.next = Next::End;
        } else if (expected.key.exact && expected.key.text == "r") {
            expected.next = Next::Replay;
        }
        if (expected.next == Next::NewGame || expected.next == Next::Replay) {
            expected.durationMs += START_PAUSE_MS;
        }
    }
    if (turn.lateLeftRelease && !lateReleaseTaken && expected.durationMs >= LATE_RELEASE_MS) {
        session.held &= ~LEFT;
    }

    if (expected.next == Next::NewGame || expected.next == Next::Replay) {
        session.score = 0;
        session.groupSize = 0;
        screen.outlined = {};
        warpToCentre(session);
    }
    if (expected.next == Next::Replay) {
        screen.board = session.deal;
    } else if (expected.next == Next::NewGame) {
        blankScreen(screen);  // the board follows with the game's new deal
    }
    return expected;
}

}  // namespace playmodel
