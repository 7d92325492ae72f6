// Fuzz target: the fuzzer's bytes become turns of pointer, button, focus and key input for
// the real play loop on the scripted host, with the soak's checks after every turn. The
// same decoding replays committed finds in an ordinary test (tests/regressions/).
//
// Layout: 4 bytes of wall clock (the seed of the deals), 1 byte whose low bit says whether
// a sound device exists; then turns, each a header byte (bits 0-2: number of inputs, bit 3:
// the left button goes up late in the turn, bit 4: a waiting game-over panel gets a right
// press instead of a left one) followed by its inputs, each an operation byte and its
// arguments. Input that runs out ends the run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/board.h"
#include "control/control.h"
#include "screen/host.h"
#include "tests/groups.h"
#include "tests/invariants.h"

namespace fuzzplay {

namespace {

using invariants::Input;
using invariants::InputKind;

constexpr int32_t MAX_TURNS = 3000;
constexpr int32_t KEY_NAMES = static_cast<int32_t>(host::KeyName::ControlA) + 26;

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at;
};

bool take(Reader& reader, uint8_t& byte) {
    if (reader.at >= reader.size) {
        return false;
    }
    byte = reader.data[reader.at++];
    return true;
}

bool takeWord(Reader& reader, int32_t& word) {
    uint8_t high = 0;
    uint8_t low = 0;
    if (!take(reader, high) || !take(reader, low)) {
        return false;
    }
    word = high * 256 + low;
    return true;
}

// A cell with a same-coloured neighbour, picked by `choice`: lets the fuzzer make moves
// and reach the end of a game without learning the board.
bool groupCell(uint8_t choice, int32_t& x, int32_t& y) {
    const groups::CellList cells = groups::cellsWithAPartner(board::Board);
    if (cells.empty()) {
        return false;
    }
    const auto& cell = cells[choice % cells.size()];
    x = board::cellToPixel(cell[0]) + 10;
    y = board::cellToPixel(cell[1]) + 10;
    return true;
}

bool readInput(Reader& reader, Input& input) {
    uint8_t operation = 0;
    uint8_t argument = 0;
    if (!take(reader, operation)) {
        return false;
    }
    switch (operation % 11) {
        case 0: {
            int32_t x = 0;
            int32_t y = 0;
            if (!takeWord(reader, x) || !takeWord(reader, y)) {
                return false;
            }
            input = {InputKind::MoveTo, x % control::WINDOW_WIDTH, y % control::WINDOW_HEIGHT};
            return true;
        }
        case 1:
            input = {InputKind::Leave, 0, 0};
            return true;
        case 2:
            input = {InputKind::Activate, 0, 0};
            return true;
        case 3:
            input = {InputKind::Deactivate, 0, 0};
            return true;
        case 4:
        case 5:
            if (!take(reader, argument)) {
                return false;
            }
            input = {operation % 11 == 4 ? InputKind::Press : InputKind::Release, argument & 7, 0};
            return true;
        case 6:
            if (!take(reader, argument)) {
                return false;
            }
            input = {InputKind::Text, argument & 127, 0};
            return true;
        case 7:
            if (!take(reader, argument)) {
                return false;
            }
            input = {InputKind::Key, argument % KEY_NAMES, 0};
            return true;
        case 8:
            input = {InputKind::CloseBox, 0, 0};
            return true;
        case 9:
            if (!take(reader, argument)) {
                return false;
            }
            input = {InputKind::Wheel, static_cast<int8_t>(argument), 0};
            return true;
        default: {
            if (!take(reader, argument)) {
                return false;
            }
            int32_t x = 0;
            int32_t y = 0;
            if (!groupCell(argument, x, y)) {
                input = {InputKind::Wheel, 0, 0};
                return true;
            }
            input = {InputKind::MoveTo, x, y};
            return true;
        }
    }
}

}  // namespace

// Plays the input; returns what went wrong, or "" when every turn passed its checks.
std::string playInput(const uint8_t* data, size_t size) {
    Reader reader{data, size, 0};
    int32_t clock = 0;
    int32_t clockLow = 0;
    uint8_t flags = 0;
    if (!takeWord(reader, clock) || !takeWord(reader, clockLow) || !take(reader, flags)) {
        return "";
    }
    const double wallClock = 1.0e9 + clock * 65536.0 + clockLow;
    const bool sound = (flags & 1) != 0;
    invariants::Session session;
    std::string failure = invariants::startProgram(session, wallClock, sound);
    for (int32_t turnNumber = 1; failure.empty() && turnNumber <= MAX_TURNS; ++turnNumber) {
        uint8_t header = 0;
        if (!take(reader, header)) {
            break;
        }
        invariants::Turn turn;
        turn.lateLeftRelease = (header & 8) != 0;
        turn.panelButton = (header & 16) != 0 ? invariants::RIGHT : invariants::LEFT;
        for (int32_t i = 0; i < (header & 7); ++i) {
            Input input{};
            if (!readInput(reader, input)) {
                break;
            }
            turn.inputs.push_back(input);
        }
        const invariants::TurnResult result = invariants::playTurn(session, turn);
        failure = result.failure;
        if (!failure.empty()) {
            failure = "turn " + std::to_string(turnNumber) + ": " + failure;
        } else if (result.ended) {
            failure = invariants::startProgram(session, wallClock + turnNumber, sound);
        }
    }
    return failure;
}

}  // namespace fuzzplay

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string failure = fuzzplay::playInput(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "corvane fuzz: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
