// Drives the real play loop on the scripted host one turn at a time and checks, after every
// turn, what the game did against the test's own account: which key it took, whether it
// moved, dealt, replayed or ended, and that the board, the score, the legend and the marks
// are consistent with a recomputation done here. Shared by the input soak and the fuzzer.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "control/control.h"
#include "screen/host.h"
#include "screen/surface.h"
#include "tests/fixtures.h"
#include "tests/scripted_host.h"

namespace invariants {

using board::BOARD_SIZE;
using board::EMPTY;
using board::Grid;

constexpr int32_t LEFT = surface::BUTTON_LEFT;
constexpr int32_t RIGHT = surface::BUTTON_RIGHT;
constexpr int32_t WIDTH = control::WINDOW_WIDTH;
constexpr int32_t LEGEND_ROW = 68;
constexpr int32_t SCORE_ROW = 65;
constexpr int32_t SCORE_COLUMN = 45;
constexpr int32_t SCORE_FOREGROUND = 11;
constexpr int32_t TEXT_FOREGROUND = 7;
constexpr int32_t TEXT_BACKGROUND = 0;
constexpr char ESCAPE[] = "\x1b";

// A left release this late into a turn falls inside the move's pause or the beep, so a
// game-over panel finds the button up and waits.
constexpr int64_t LATE_RELEASE_MS = 100;
// Later than any turn lasts without a panel (two 200 ms pauses), so this press is seen
// only by a panel that waits for it.
constexpr int64_t PANEL_ANSWER_MS = 1000;

enum class InputKind : int32_t {
    MoveTo,
    Leave,
    Activate,
    Deactivate,
    Press,
    Release,
    Text,  // a: a character 0..127
    Key,   // a: a host::KeyName
    CloseBox,
    Wheel,
};

struct Input {
    InputKind kind;
    int32_t a;
    int32_t b;
};

// One turn of input: `inputs` arrive together before the turn's pointer poll.
struct Turn {
    std::vector<Input> inputs;
    bool lateLeftRelease = false;
    int32_t panelButton = LEFT;  // LEFT or RIGHT, pressed for a panel that waits
};

// What a key poll should return: the exact string, or, where only its kind is fixed, any
// key that is no command.
struct ExpectedKey {
    bool exact;
    std::string text;
};

struct Tally {
    int64_t turns = 0;
    int64_t programStarts = 0;
    int64_t games = 0;
    int64_t moves = 0;
    int64_t replays = 0;
    int64_t panels = 0;
    int64_t quitsByEscape = 0;
    int64_t quitsByRightButton = 0;
    int64_t quitsByPanel = 0;
};

// The test's own account of the machine and the game.
struct Session {
    bool inside = false;  // the host's pointer is in the client area
    bool active = true;
    int32_t held = 0;  // buttons the surface holds
    std::deque<ExpectedKey> keys;
    int32_t score = 0;
    bool legendFresh = false;  // the legend showed the board's counts after the last turn
    Tally tally;
};

struct TurnResult {
    std::string failure;  // empty when every check held
    bool ended = false;   // the program ended; start it again before the next turn
};

inline bool isCommand(const std::string& key) {
    return key == " " || key == ESCAPE || key == "r";
}

// The key string each input queues, from the key table of the surface.
inline bool keyOf(const Input& input, ExpectedKey& key) {
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

// ---- Board recomputation ----

inline bool validCode(int32_t code) {
    return code == EMPTY || (code >= board::colourCode(1) &&
                             code <= board::colourCode(board::COLOUR_COUNT) && code % 4 == 0);
}

inline std::array<int32_t, board::COLOUR_COUNT> colourCounts(const Grid& grid) {
    std::array<int32_t, board::COLOUR_COUNT> counts{};
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            const int32_t code = board::at(grid, x, y);
            if (code != EMPTY) {
                ++counts[static_cast<size_t>((code - board::colourCode(1)) / 4)];
            }
        }
    }
    return counts;
}

inline std::string picture(const Grid& grid) {
    std::string text;
    for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
        for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
            const int32_t code = board::at(grid, x, y);
            text += code == EMPTY ? '.' : "bmryg"[(code - board::colourCode(1)) / 4];
        }
        text += '\n';
    }
    return text;
}

inline bool hasMoves(const Grid& grid) {
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            const int32_t code = board::at(grid, x, y);
            if (code != EMPTY && ((x < BOARD_SIZE && board::at(grid, x + 1, y) == code) ||
                                  (y < BOARD_SIZE && board::at(grid, x, y + 1) == code))) {
                return true;
            }
        }
    }
    return false;
}

// The board after removing `taken`: each column's remaining tiles at its bottom in their
// order, the non-empty columns packed to the left in theirs.
inline Grid withoutCells(const Grid& grid, const Grid& taken) {
    Grid result{};
    int32_t column = 1;
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        std::vector<int32_t> tiles;
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            if (board::at(taken, x, y) == 0 && board::at(grid, x, y) != EMPTY) {
                tiles.push_back(board::at(grid, x, y));
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

inline int32_t cellCount(const Grid& cells) {
    int32_t count = 0;
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            count += board::at(cells, x, y);
        }
    }
    return count;
}

// The whole same-coloured group around (cx, cy), grown until nothing is added.
inline Grid wholeGroup(const Grid& grid, int32_t cx, int32_t cy) {
    Grid group{};
    const int32_t colour = board::at(grid, cx, cy);
    std::vector<std::array<int32_t, 2>> open = {{cx, cy}};
    board::at(group, cx, cy) = 1;
    while (!open.empty()) {
        const auto [x, y] = open.back();
        open.pop_back();
        const std::array<std::array<int32_t, 2>, 4> next = {
            {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}}};
        for (const auto& [nx, ny] : next) {
            if (nx >= 1 && ny >= 1 && nx <= BOARD_SIZE && ny <= BOARD_SIZE &&
                board::at(grid, nx, ny) == colour && board::at(group, nx, ny) == 0) {
                board::at(group, nx, ny) = 1;
                open.push_back({nx, ny});
            }
        }
    }
    return group;
}

// The part of that group the game's fixed thirty sweeps reach: each sweep visits columns
// left to right and each column top to bottom, so growth to the left or upward waits for
// the next sweep.
inline Grid sweptGroup(const Grid& grid, int32_t cx, int32_t cy) {
    Grid marks{};
    const int32_t colour = board::at(grid, cx, cy);
    board::at(marks, cx, cy) = 1;
    for (int32_t sweep = 0; sweep < 2 * BOARD_SIZE; ++sweep) {
        for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
            for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
                if (board::at(marks, x, y) == 0) {
                    continue;
                }
                const std::array<std::array<int32_t, 2>, 4> next = {
                    {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}}};
                for (const auto& [nx, ny] : next) {
                    if (nx >= 1 && ny >= 1 && nx <= BOARD_SIZE && ny <= BOARD_SIZE &&
                        board::at(grid, nx, ny) == colour) {
                        board::at(marks, nx, ny) = 1;
                    }
                }
            }
        }
    }
    return marks;
}

// Whether `after` follows from `before` by removing one group of two or more tiles of one
// colour (all of it, or the part the marking reaches from one of its cells); `removed`
// gets its size.
inline bool isOneMove(const Grid& before, const Grid& after, int32_t& removed) {
    const auto countsBefore = colourCounts(before);
    const auto countsAfter = colourCounts(after);
    int32_t colour = 0;
    removed = 0;
    for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
        const int32_t fewer =
            countsBefore[static_cast<size_t>(h - 1)] - countsAfter[static_cast<size_t>(h - 1)];
        if (fewer == 0) {
            continue;
        }
        if (colour != 0 || fewer < 2) {
            return false;
        }
        colour = board::colourCode(h);
        removed = fewer;
    }
    if (colour == 0) {
        return false;
    }
    // Whole groups first; the part of a group that the sweeps reach is rarer and dearer.
    std::vector<Grid> larger;
    Grid seen{};
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            if (board::at(before, x, y) != colour || board::at(seen, x, y) != 0) {
                continue;
            }
            const Grid group = wholeGroup(before, x, y);
            const int32_t size = cellCount(group);
            for (int32_t gx = 1; gx <= BOARD_SIZE; ++gx) {
                for (int32_t gy = 1; gy <= BOARD_SIZE; ++gy) {
                    board::at(seen, gx, gy) |= board::at(group, gx, gy);
                }
            }
            if (size == removed && withoutCells(before, group) == after) {
                return true;
            }
            if (size > removed) {
                larger.push_back(group);
            }
        }
    }
    for (const Grid& group : larger) {
        for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
            for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
                if (board::at(group, x, y) == 0) {
                    continue;
                }
                const Grid part = sweptGroup(before, x, y);
                if (cellCount(part) == removed && withoutCells(before, part) == after) {
                    return true;
                }
            }
        }
    }
    return false;
}

// Every cell a valid code, row and column 0 empty, tiles packed down and columns left.
inline std::string boardFault(const Grid& grid, bool full) {
    bool emptyColumnSeen = false;
    for (int32_t x = 0; x <= BOARD_SIZE; ++x) {
        bool tileSeen = false;
        for (int32_t y = 0; y <= BOARD_SIZE; ++y) {
            const int32_t code = board::at(grid, x, y);
            if (!validCode(code)) {
                return "invalid code " + std::to_string(code);
            }
            if ((x == 0 || y == 0) && code != EMPTY) {
                return "a tile in row or column 0";
            }
            if (x == 0 || y == 0) {
                continue;
            }
            if (full && code == EMPTY) {
                return "an empty cell in a dealt board";
            }
            if (code != EMPTY && emptyColumnSeen) {
                return "a tile right of an empty column";
            }
            if (code == EMPTY && tileSeen) {
                return "a hole under a tile";
            }
            tileSeen = tileSeen || code != EMPTY;
        }
        emptyColumnSeen = emptyColumnSeen || (x > 0 && !tileSeen);
    }
    return "";
}

inline std::string marksFault() {
    for (int32_t x = 0; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 0; y <= BOARD_SIZE; ++y) {
            const int32_t mark = board::at(board::GroupMarks, x, y);
            if (mark != 0 && (mark != 1 || x == 0 || y == 0)) {
                return "GroupMarks holds " + std::to_string(mark) + " at " + std::to_string(x) +
                       ", " + std::to_string(y);
            }
        }
    }
    return "";
}

// ---- The legend on the frame: only the count cells, read cheaply ----

inline bool cellShows(int32_t column, char character) {
    return fixtures::cellShows(surface::frame(), WIDTH, LEGEND_ROW, column,
                               static_cast<unsigned char>(character), TEXT_FOREGROUND,
                               TEXT_BACKGROUND);
}

inline bool legendShows(const Grid& grid) {
    const auto counts = colourCounts(grid);
    for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
        const int32_t count = counts[static_cast<size_t>(h - 1)];
        std::string digits(count < 10 ? 1 : 0, ' ');  // "##": right-aligned in two places
        digits += std::to_string(count);
        for (size_t i = 0; i < digits.size(); ++i) {
            if (!cellShows(4 * h - 1 + static_cast<int32_t>(i), digits[i])) {
                return false;
            }
        }
    }
    return true;
}

inline bool legendBlank() {
    for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
        if (!cellShows(4 * h - 1, ' ') || !cellShows(4 * h, ' ')) {
            return false;
        }
    }
    return true;
}

// ---- The board under the game-over panel, read from the frame the beep began with ----

// The panel's two blocks of text cells, in pixels: rows 29..31 by columns 25..37 and rows
// 33..36 by columns 19..44.
inline bool underPanel(int32_t x, int32_t y) {
    return (y >= 224 && y <= 247 && x >= 192 && x <= 303) ||
           (y >= 256 && y <= 287 && x >= 144 && x <= 359);
}

// Each tile's fill is its code; some pixel of every tile stays clear of the panel.
inline Grid boardShown(const std::vector<uint8_t>& frame) {
    Grid grid{};
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            const int32_t left = board::cellToPixel(x);
            for (int32_t py = board::cellToPixel(y); py < board::cellToPixel(y + 1) - 3; ++py) {
                if (!underPanel(left, py)) {
                    board::at(grid, x, y) = frame[static_cast<size_t>(py * WIDTH + left)];
                    break;
                }
            }
        }
    }
    return grid;
}

// ---- Driving ----

// Takes the scripted events the game did not get to out of the queue unseen; the pointer
// moves they carry still happen.
inline void dropUndelivered() {
    while (script::eventsPending()) {
        host::waitEvent(static_cast<int32_t>(PANEL_ANSWER_MS));
        host::Event event{};
        while (host::pollEvent(event)) {
        }
    }
}

// A fresh program: module state as at process start, then start-up.
inline std::string startProgram(Session& session, double wallClockSeconds, bool sound) {
    script::reset();
    script::setWallClock(wallClockSeconds);
    script::setSound(sound);
    fixtures::resetProgramState();
    control::startUp();
    const Tally tally = session.tally;
    session = Session{};
    session.tally = tally;
    session.inside = true;  // the deal centres the pointer
    ++session.tally.programStarts;
    ++session.tally.games;
    if (board::Board != board::SavedDeal) {
        return "start-up: the board is not the deal";
    }
    return boardFault(board::Board, true);
}

inline void queue(Session& session, const Input& input) {
    switch (input.kind) {
        case InputKind::MoveTo:
            script::moveTo(input.a, input.b);
            session.inside = true;
            break;
        case InputKind::Leave:
            script::leave();
            session.inside = false;
            break;
        case InputKind::Activate:
        case InputKind::Deactivate:
            script::setActive(input.kind == InputKind::Activate);
            session.active = input.kind == InputKind::Activate;
            break;
        case InputKind::Press:
            script::press(input.a);
            session.held |= input.a;
            break;
        case InputKind::Release:
            script::release(input.a);
            session.held &= ~input.a;
            break;
        case InputKind::Text:
            script::typeText(std::string(1, static_cast<char>(input.a)));
            break;
        case InputKind::Key:
            script::typeKey(static_cast<host::KeyName>(input.a));
            break;
        case InputKind::CloseBox:
            script::closeBox();
            break;
        case InputKind::Wheel:
            script::wheel(input.a);
            break;
    }
    ExpectedKey key;
    if (keyOf(input, key)) {
        if (session.keys.size() == static_cast<size_t>(surface::KEY_QUEUE_SLOTS - 1)) {
            session.keys.pop_front();  // a full queue loses its oldest key
        }
        session.keys.push_back(key);
    }
}

// Plays one turn (one iteration of the play loop) and checks it.
inline TurnResult playTurn(Session& session, const Turn& turn) {
    TurnResult result;
    ++session.tally.turns;
    const Grid boardBefore = board::Board;
    auto fail = [&](const std::string& what) {
        result.failure = what + "\nboard before the turn:\n" + picture(boardBefore);
        return result;
    };
    const Grid dealBefore = board::SavedDeal;
    const size_t tonesBefore = script::tones().size();
    const int64_t start = script::now();

    // An event that changes nothing comes first, so the turn's pointer poll always has news
    // and takes everything at once without an idle wait.
    script::after(0);
    script::wheel(0);
    for (const Input& input : turn.inputs) {
        queue(session, input);
    }
    if (turn.lateLeftRelease) {
        script::after(LATE_RELEASE_MS);
        script::release(LEFT);
    }
    const bool seen = session.inside && session.active;
    // Only a turn whose poll sees the pointer can move, and only a move ends a game.
    if (seen) {
        script::after(PANEL_ANSWER_MS);
        script::press(turn.panelButton);
    }
    const int32_t buttons = seen ? session.held : -1;
    if (!session.inside) {
        session.held = 0;  // a poll outside forgets the buttons; an inactive window keeps them
    }
    const bool rightQuits = buttons != -1 && (buttons & RIGHT) != 0;

    bool ended = false;
    int32_t status = -1;
    try {
        control::playIteration();
    } catch (const script::ProgramEnded& end) {
        ended = true;
        status = end.status;
    } catch (const script::ScriptExhausted&) {
        return fail("the game kept waiting for input that never came");
    }
    const int64_t elapsed = script::now() - start;
    const bool panel = script::tones().size() > tonesBefore;
    const bool answered = seen && elapsed >= PANEL_ANSWER_MS;
    if (turn.lateLeftRelease && elapsed >= LATE_RELEASE_MS) {
        session.held &= ~LEFT;
    }
    const int32_t heldAtPanel = session.held;
    if (answered) {
        session.held |= turn.panelButton;
    }
    dropUndelivered();

    enum class Next : int32_t { Play, NewGame, Replay, End };
    Next expected = Next::Play;
    if (rightQuits) {
        expected = Next::End;
        if (panel) {
            return fail("the right button did not quit before the turn's second half");
        }
    } else if (panel) {
        ++session.tally.panels;
        // The game ended on this turn's move: the board the panel covers has none left.
        const std::vector<uint8_t>& shown = script::tones().back().shown;
        const Grid last = boardShown(shown);
        int32_t removed = 0;
        if (!isOneMove(boardBefore, last, removed) || hasMoves(last)) {
            return fail("the game-over panel did not follow a last move; the board shown:\n" +
                        picture(last));
        }
        const std::string digits = std::to_string(session.score + board::moveGain(removed));
        const std::string scoreLine =
            "score: " + std::string(digits.size() < 6 ? 6 - digits.size() : 0, ' ') + digits;
        if (fixtures::readText(shown.data(), WIDTH, SCORE_ROW, SCORE_COLUMN,
                               static_cast<int32_t>(scoreLine.size()), SCORE_FOREGROUND,
                               TEXT_BACKGROUND) != scoreLine) {
            return fail("the final score line is not the sum of the moves' gains");
        }
        if ((heldAtPanel & LEFT) != 0) {
            expected = Next::NewGame;  // the button that made the last move is still down
        } else if (!answered) {
            return fail("the game-over panel did not wait for a press");
        } else {
            expected = turn.panelButton == LEFT ? Next::NewGame : Next::End;
        }
    } else {
        ExpectedKey key{true, ""};
        if (!session.keys.empty()) {
            key = session.keys.front();
            session.keys.pop_front();
        }
        if (key.exact ? control::lastKey != key.text
                      : control::lastKey.empty() || isCommand(control::lastKey)) {
            return fail("the key poll returned the wrong key");
        }
        if (control::lastKey == " ") {
            expected = Next::NewGame;
        } else if (control::lastKey == ESCAPE) {
            expected = Next::End;
        } else if (control::lastKey == "r") {
            expected = Next::Replay;
        }
    }

    if (ended != (expected == Next::End)) {
        return fail(ended ? "the program ended other than by Esc, the right button or the panel"
                          : "the program did not end");
    }
    if (ended) {
        if (status != 0) {
            return fail("exit status " + std::to_string(status));
        }
        if (rightQuits) {
            ++session.tally.quitsByRightButton;
        } else if (panel) {
            ++session.tally.quitsByPanel;
        } else {
            ++session.tally.quitsByEscape;
        }
        result.ended = true;
        return result;
    }

    const Grid& boardAfter = board::Board;
    std::string fault = boardFault(boardAfter, false);
    if (fault.empty()) {
        fault = boardFault(board::SavedDeal, true);
    }
    if (fault.empty()) {
        fault = marksFault();
    }
    if (!fault.empty()) {
        return fail(fault);
    }
    if (!hasMoves(boardAfter)) {
        return fail("play goes on on a board without moves");
    }

    switch (expected) {
        case Next::NewGame:
            ++session.tally.games;
            if (board::SavedDeal == dealBefore || boardAfter != board::SavedDeal ||
                board::score != 0) {
                return fail("a new game did not deal a new board with the score at 0");
            }
            if (!legendBlank()) {
                return fail("a new game did not clear the legend");
            }
            session.score = 0;
            session.legendFresh = false;
            session.inside = true;
            break;
        case Next::Replay:
            ++session.tally.replays;
            if (board::SavedDeal != dealBefore || boardAfter != dealBefore || board::score != 0) {
                return fail("a replay did not restore the deal with the score at 0");
            }
            session.score = 0;
            session.legendFresh = legendShows(boardAfter);
            session.inside = true;
            break;
        case Next::Play:
        case Next::End:
            if (board::SavedDeal != dealBefore) {
                return fail("the deal changed without a new game");
            }
            if (boardAfter != boardBefore) {
                int32_t removed = 0;
                if (!isOneMove(boardBefore, boardAfter, removed)) {
                    return fail("the board changed but not by one move; after:\n" +
                                picture(boardAfter));
                }
                if (buttons == -1 || (buttons & LEFT) == 0) {
                    return fail("a move without the left button");
                }
                ++session.tally.moves;
                session.score += board::moveGain(removed);
                if (!legendShows(boardAfter)) {
                    return fail("the legend does not show the counts after a move");
                }
                session.legendFresh = true;
            } else if (session.legendFresh && !legendShows(boardAfter)) {
                return fail("the legend no longer shows the board's counts");
            } else {
                session.legendFresh = legendShows(boardAfter);
            }
            break;
    }
    if (board::score != session.score) {
        return fail("score " + std::to_string(board::score) + ", the moves seen earned " +
                    std::to_string(session.score));
    }
    return result;
}

}  // namespace invariants
