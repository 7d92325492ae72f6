// The soak's model of the game: from the pointer, buttons and keys a turn feeds in, the one
// outcome the turn should have (the board, the score, what is outlined, the legend and the
// score line, whether the game-over panel shows, which key is taken, how long the turn
// lasts). It computes all of it itself, from its own marking, removal and move test, so
// that the game's code can be checked against it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "board/board.h"
#include "screen/surface.h"

namespace playmodel {

using board::Grid;

constexpr int32_t LEFT = surface::BUTTON_LEFT;
constexpr int32_t RIGHT = surface::BUTTON_RIGHT;

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

// One turn of input: `inputs` arrive together before the turn's pointer poll; the late
// release and the panel's press come later in the turn.
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

// What the frame should show at the end of a turn (or as the panel's beep begins).
struct Screen {
    Grid board{};
    Grid outlined{};           // cells drawn with their outline
    std::string legendRow;     // the legend's text row, one character a text column
    std::vector<int32_t> ink;  // the foreground of each character there
    std::string scoreLine;     // "" while no score line is shown
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

// The test's own account of the machine and the game between turns.
struct Session {
    // The machine.
    bool inside = false;  // the host's pointer is in the client area
    bool active = true;
    int32_t x = 0;
    int32_t y = 0;
    int32_t held = 0;  // buttons the surface holds
    std::deque<ExpectedKey> keys;
    // The game.
    Grid deal{};
    Grid marks{};  // the last marked group
    int32_t groupSize = 0;
    int32_t score = 0;
    int32_t shownScore = 0;
    int32_t previousColumn = 0;
    int32_t previousRow = 0;
    std::string lastKey;
    Screen screen;
    Tally tally;
};

enum class Next : int32_t { Play, NewGame, Replay, End };

struct Expected {
    Next next = Next::Play;
    bool moved = false;
    bool keyPolled = false;
    ExpectedKey key{true, ""};
    bool panel = false;
    Screen atPanel;          // the frame as the panel's beep begins
    int64_t durationMs = 0;  // fake time the turn takes
};

// A program just started on `deal`: module state as at process start, then the first game.
void startProgram(Session& session, const Grid& deal);

// Decides the turn's outcome and brings the session to the state after it. After a new
// game the board is the game's own new deal, which `startGame` then takes in.
Expected expectTurn(Session& session, const Turn& turn);
void startGame(Session& session, const Grid& deal);

// The legend's text row and the score line's place on it.
constexpr int32_t LEGEND_ROW = 68;
constexpr int32_t LEGEND_INK = 7;
constexpr int32_t INFO_INK = 10;
constexpr int32_t SCORE_ROW = 65;
constexpr int32_t SCORE_COLUMN = 45;
constexpr int32_t SCORE_INK = 11;
constexpr int32_t SCORE_LENGTH = 13;  // "score: ######"

}  // namespace playmodel
