// Drives the real play loop on the scripted host one turn at a time and checks each turn
// against the one outcome the test's model expects (tests/play_model.h): the key taken,
// the board, the score, what is outlined, the legend, the score line, the game-over panel,
// how the turn ends and how long it takes. Shared by the input soak and the fuzzer.
#pragma once

#include <string>

#include "tests/play_model.h"

namespace invariants {

using playmodel::Input;
using playmodel::InputKind;
using playmodel::LEFT;
using playmodel::RIGHT;
using playmodel::Session;
using playmodel::Tally;
using playmodel::Turn;

struct TurnResult {
    std::string failure;  // empty when every check held
    bool ended = false;   // the program ended; start it again before the next turn
};

// A fresh program: module state as at process start, then start-up; "" or what is wrong.
std::string startProgram(Session& session, double wallClockSeconds, bool sound);

// Plays one turn (one iteration of the play loop) and checks it.
TurnResult playTurn(Session& session, const Turn& turn);

}  // namespace invariants
