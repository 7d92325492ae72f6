#include "tests/invariants.h"

#include <cstdint>
#include <vector>

#include "board/board.h"
#include "control/control.h"
#include "screen/host.h"
#include "screen/surface.h"
#include "tests/fixtures.h"
#include "tests/scripted_host.h"

namespace invariants {

namespace {

using board::BOARD_SIZE;
using board::Grid;
using playmodel::Expected;
using playmodel::Next;
using playmodel::Screen;

constexpr int32_t WIDTH = control::WINDOW_WIDTH;
constexpr int32_t TEXT_BACKGROUND = 0;

// ---- Driving the input ----

struct Observed {
    bool ended = false;
    int32_t status = -1;
    bool stuck = false;  // waited on for input that never came
    int64_t elapsedMs = 0;
    size_t tones = 0;
    std::vector<uint8_t> panelFrame;  // what the window showed as the last tone began
};

void send(const Input& input) {
    switch (input.kind) {
        case InputKind::MoveTo:
            script::moveTo(input.a, input.b);
            break;
        case InputKind::Leave:
            script::leave();
            break;
        case InputKind::Activate:
        case InputKind::Deactivate:
            script::setActive(input.kind == InputKind::Activate);
            break;
        case InputKind::Press:
            script::press(input.a);
            break;
        case InputKind::Release:
            script::release(input.a);
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
}

// Takes the scripted events the game did not get to out of the queue unseen; the pointer
// moves they carry still happen.
void dropUndelivered() {
    while (script::eventsPending()) {
        host::waitEvent(static_cast<int32_t>(playmodel::PANEL_ANSWER_MS));
        host::Event event{};
        while (host::pollEvent(event)) {
        }
    }
}

// Feeds the turn's input and runs one iteration of the play loop.
Observed drive(const Turn& turn) {
    Observed observed;
    const size_t tonesBefore = script::tones().size();
    const int64_t start = script::now();
    // An event that changes nothing comes first, so the turn's pointer poll always has news
    // and takes everything at once without an idle wait.
    script::after(0);
    script::wheel(0);
    for (const Input& input : turn.inputs) {
        send(input);
    }
    if (turn.lateLeftRelease) {
        script::after(playmodel::LATE_RELEASE_MS);
        script::release(LEFT);
    }
    script::after(playmodel::PANEL_ANSWER_MS);
    script::press(turn.panelButton);
    try {
        control::playIteration();
    } catch (const script::ProgramEnded& end) {
        observed.ended = true;
        observed.status = end.status;
    } catch (const script::ScriptExhausted&) {
        observed.stuck = true;
    }
    observed.elapsedMs = script::now() - start;
    observed.tones = script::tones().size() - tonesBefore;
    if (observed.tones > 0) {
        observed.panelFrame = script::tones().back().shown;
    }
    dropUndelivered();
    return observed;
}

// ---- The checks ----

std::string picture(const Grid& grid) {
    std::string text;
    for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
        for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
            text += fixtures::letterOf(board::at(grid, x, y));
        }
        text += '\n';
    }
    return text;
}

std::string quoted(const std::string& key) {
    std::string text = "\"";
    for (const char c : key) {
        const auto code = static_cast<unsigned char>(c);
        text += code >= 32 && code < 127 ? std::string(1, c) : "\\x" + std::to_string(code);
    }
    return text + "\"";
}

// A dealt board: a tile colour in every cell, row and column 0 empty.
std::string dealFault(const Grid& grid) {
    for (int32_t x = 0; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 0; y <= BOARD_SIZE; ++y) {
            const char letter = fixtures::letterOf(board::at(grid, x, y));
            if ((x == 0 || y == 0) != (letter == '.') || letter == '?') {
                return "a dealt board holds code " + std::to_string(board::at(grid, x, y)) +
                       " at " + std::to_string(x) + ", " + std::to_string(y);
            }
        }
    }
    return "";
}

// The panel's two blocks of text cells, in pixels: rows 29..31 by columns 25..37 and rows
// 33..36 by columns 19..44.
bool underPanel(int32_t x, int32_t y) {
    return (y >= 224 && y <= 247 && x >= 192 && x <= 303) ||
           (y >= 256 && y <= 287 && x >= 144 && x <= 359);
}

// "" when the frame shows `screen` (and over it the panel, with `panel`), else the first
// difference: each tile's fill and outline, the legend's row, the score line.
std::string screenFault(const uint8_t* frame, const Screen& screen, bool panel) {
    const auto pixel = [&](int32_t x, int32_t y) {
        return static_cast<int32_t>(frame[static_cast<size_t>(y * WIDTH + x)]);
    };
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            const int32_t left = board::cellToPixel(x);
            const int32_t top = board::cellToPixel(y);
            const int32_t code = board::at(screen.board, x, y);
            const bool outlined = board::at(screen.outlined, x, y) == 1;
            const std::string cell = "cell " + std::to_string(x) + ", " + std::to_string(y);
            if (!(panel && underPanel(left, top)) && pixel(left, top) != code) {
                return cell + " shows code " + std::to_string(pixel(left, top)) + ", expected " +
                       std::to_string(code);
            }
            const int32_t ring = outlined ? code + 32 : code;
            if (!(panel && underPanel(left + 2, top + 2)) && pixel(left + 2, top + 2) != ring) {
                return cell + (outlined ? " is not outlined" : " is outlined");
            }
        }
    }
    for (size_t i = 0; i < screen.legendRow.size(); ++i) {
        const int32_t column = static_cast<int32_t>(i) + 1;
        if (!fixtures::cellShows(frame, WIDTH, playmodel::LEGEND_ROW, column,
                                 static_cast<unsigned char>(screen.legendRow[i]), screen.ink[i],
                                 TEXT_BACKGROUND)) {
            std::string shown;
            for (size_t j = 0; j < screen.legendRow.size(); ++j) {
                shown += fixtures::readText(frame, WIDTH, playmodel::LEGEND_ROW,
                                            static_cast<int32_t>(j) + 1, 1, screen.ink[j],
                                            TEXT_BACKGROUND);
            }
            return "the legend's row reads \"" + shown + "\", expected \"" + screen.legendRow +
                   "\" (column " + std::to_string(column) + ")";
        }
    }
    const fixtures::TextLine scoreLine = {
        playmodel::SCORE_ROW, playmodel::SCORE_COLUMN, playmodel::SCORE_INK, TEXT_BACKGROUND,
        screen.scoreLine.empty() ? std::string(playmodel::SCORE_LENGTH, ' ') : screen.scoreLine};
    if (!fixtures::lineShows(frame, WIDTH, scoreLine)) {
        return "the score line reads \"" +
               fixtures::readText(frame, WIDTH, scoreLine.row, scoreLine.column,
                                  static_cast<int32_t>(scoreLine.text.size()), scoreLine.foreground,
                                  TEXT_BACKGROUND) +
               "\", expected \"" + scoreLine.text + "\"";
    }
    if (panel) {
        for (const fixtures::TextLine& line : fixtures::END_PANEL) {
            if (!fixtures::lineShows(frame, WIDTH, line)) {
                return "the panel's row " + std::to_string(line.row) + " does not read \"" +
                       line.text + "\"";
            }
        }
    }
    return "";
}

const char* nameOf(Next next) {
    switch (next) {
        case Next::Play:
            return "play on";
        case Next::NewGame:
            return "a new game";
        case Next::Replay:
            return "a replay";
        case Next::End:
            return "the end of the program";
    }
    return "?";
}

// What the game did against what the model expects of the turn; "" when they agree.
std::string turnFault(const Expected& expected, const Observed& observed) {
    if (observed.stuck) {
        return "the game kept waiting for input that never came";
    }
    if (observed.tones != (expected.panel ? 1U : 0U)) {
        return expected.panel ? "no game-over panel and beep on a board without moves"
                              : std::to_string(observed.tones) +
                                    " beeps on a turn that should show no game-over panel";
    }
    if (expected.panel) {
        const std::string fault = screenFault(observed.panelFrame.data(), expected.atPanel, true);
        if (!fault.empty()) {
            return "at the game-over panel: " + fault + "; expected board:\n" +
                   picture(expected.atPanel.board);
        }
    }
    if (observed.ended != (expected.next == Next::End)) {
        return observed.ended ? "the program ended, expected " + std::string(nameOf(expected.next))
                              : "the program did not end";
    }
    if (observed.ended && observed.status != 0) {
        return "exit status " + std::to_string(observed.status);
    }
    if (expected.keyPolled &&
        (expected.key.exact ? control::lastKey != expected.key.text
                            : control::lastKey.empty() || control::lastKey == " " ||
                                  control::lastKey == "\x1b" || control::lastKey == "r")) {
        return "the key poll returned " + quoted(control::lastKey) + ", expected " +
               (expected.key.exact ? quoted(expected.key.text) : "a key that is no command");
    }
    return "";
}

// Checked last, as a wrong outcome shows in the time a turn takes too.
std::string durationFault(const Expected& expected, const Observed& observed) {
    if (observed.elapsedMs != expected.durationMs) {
        return "the turn took " + std::to_string(observed.elapsedMs) + " ms, expected " +
               std::to_string(expected.durationMs);
    }
    return "";
}

// The game's state and frame after the turn against the session's.
std::string stateFault(const Session& session) {
    if (board::Board != session.screen.board) {
        return "the board is not the expected one; expected:\n" + picture(session.screen.board) +
               "the game's:\n" + picture(board::Board);
    }
    if (board::SavedDeal != session.deal) {
        return "the deal changed without a new game";
    }
    if (board::score != session.score) {
        return "score " + std::to_string(board::score) + ", expected " +
               std::to_string(session.score);
    }
    return screenFault(surface::frame(), session.screen, false);
}

}  // namespace

std::string startProgram(Session& session, double wallClockSeconds, bool sound) {
    script::reset();
    script::setWallClock(wallClockSeconds);
    script::setSound(sound);
    fixtures::resetProgramState();
    control::startUp();
    if (board::Board != board::SavedDeal) {
        return "start-up: the board is not the deal";
    }
    const std::string fault = dealFault(board::SavedDeal);
    if (!fault.empty()) {
        return "start-up: " + fault;
    }
    playmodel::startProgram(session, board::SavedDeal);
    return stateFault(session);
}

TurnResult playTurn(Session& session, const Turn& turn) {
    TurnResult result;
    ++session.tally.turns;
    const Grid boardBefore = session.screen.board;
    const Grid dealBefore = session.deal;
    const auto fail = [&](const std::string& what) {
        result.failure = what + "\nboard before the turn:\n" + picture(boardBefore);
        return result;
    };

    const Expected expected = playmodel::expectTurn(session, turn);
    const Observed observed = drive(turn);
    std::string fault = turnFault(expected, observed);
    if (!fault.empty()) {
        return fail(fault);
    }
    session.tally.moves += expected.moved ? 1 : 0;
    session.tally.panels += expected.panel ? 1 : 0;
    if (observed.ended) {
        if (expected.panel) {
            ++session.tally.quitsByPanel;
        } else if (expected.keyPolled) {
            ++session.tally.quitsByEscape;
        } else {
            ++session.tally.quitsByRightButton;
        }
        result.ended = true;
        result.failure = durationFault(expected, observed);
        return result.failure.empty() ? result : fail(result.failure);
    }
    if (expected.next == Next::NewGame) {
        if (board::SavedDeal == dealBefore || board::Board != board::SavedDeal) {
            return fail("a new game did not deal a new board");
        }
        fault = dealFault(board::SavedDeal);
        if (!fault.empty()) {
            return fail("a new game: " + fault);
        }
        playmodel::startGame(session, board::SavedDeal);
    }
    session.tally.replays += expected.next == Next::Replay ? 1 : 0;
    fault = stateFault(session);
    if (!fault.empty()) {
        return fail("after " + std::string(nameOf(expected.next)) + ": " + fault);
    }
    fault = durationFault(expected, observed);
    return fault.empty() ? result : fail(fault);
}

}  // namespace invariants
