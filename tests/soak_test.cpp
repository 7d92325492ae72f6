// Input soak: a seeded random player drives the real play loop on the scripted host for
// many turns and games, mixing pointer positions, buttons, focus and every kind of key, and
// every turn is checked against the one outcome the test's model expects
// (tests/invariants.h).
//
// CORVANE_SOAK_TURNS sets the number of turns (default 100000); CORVANE_SOAK_SEED replays
// the run a failure names.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "control/control.h"
#include "screen/host.h"
#include "tests/groups.h"
#include "tests/invariants.h"

namespace {

using invariants::Input;
using invariants::InputKind;
using invariants::LEFT;
using invariants::RIGHT;

constexpr int64_t DEFAULT_TURNS = 100'000;
constexpr int64_t TURNS_PER_GAME_AT_MOST = 100;  // at least 1000 games in 100000 turns
constexpr double FOCUSED_GAMES = 0.06;
constexpr int32_t WIDTH = control::WINDOW_WIDTH;
constexpr int32_t HEIGHT = control::WINDOW_HEIGHT;
constexpr int32_t BOARD_END = board::BOARD_MARGIN + board::BOARD_SIZE * board::CELL_SIZE;  // 488

int64_t numberFromEnvironment(const char* name, int64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoll(text, nullptr, 10) : fallback;
}

struct Player {
    std::mt19937_64 random;
    int32_t x = 243;  // where the player last put the pointer
    int32_t y = 243;
    int64_t game = 0;      // the session's game count when the player last looked
    bool focused = false;  // plays this game to its end: aims at groups, holds the left button
};

int32_t between(Player& player, int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(player.random);
}

bool chance(Player& player, double probability) {
    return std::uniform_real_distribution<double>(0.0, 1.0)(player.random) < probability;
}

Input moveTo(Player& player, int32_t x, int32_t y) {
    player.x = x;
    player.y = y;
    return {InputKind::MoveTo, x, y};
}

// A cell with a same-coloured neighbour, where a press makes a move, so that games run to
// their end often enough.
void aimAtAGroup(Player& player, const invariants::Session& session, int32_t& column,
                 int32_t& row) {
    const groups::CellList cells = groups::cellsWithAPartner(session.screen.board);
    if (!cells.empty()) {
        const auto& cell =
            cells[static_cast<size_t>(between(player, 0, static_cast<int32_t>(cells.size()) - 1))];
        column = cell[0];
        row = cell[1];
    }
}

// Keys of every kind, the commands among them often enough to matter.
Input randomKey(Player& player) {
    const int32_t pick = between(player, 0, 99);
    if (pick < 25) {
        return {InputKind::Text, ' ', 0};
    }
    if (pick < 36) {
        return {InputKind::Text, 'r', 0};
    }
    if (pick < 40) {
        return {InputKind::Text, 'R', 0};
    }
    if (pick < 43) {
        return {InputKind::Key, static_cast<int32_t>(host::KeyName::Escape), 0};
    }
    if (pick < 52) {
        return {InputKind::CloseBox, 0, 0};
    }
    if (pick < 75) {  // named keys, two-character and control ones alike
        return {InputKind::Key,
                between(player, static_cast<int32_t>(host::KeyName::Enter),
                        static_cast<int32_t>(host::KeyName::F10)),
                0};
    }
    if (pick < 82) {
        return {InputKind::Key,
                static_cast<int32_t>(host::KeyName::ControlA) + between(player, 0, 25), 0};
    }
    return {InputKind::Text, between(player, 33, 126), 0};
}

// A player bent on finishing the game: every turn onto a group with the left button down.
invariants::Turn focusedTurn(Player& player, const invariants::Session& session) {
    invariants::Turn turn;
    int32_t column = 1;
    int32_t row = 1;
    aimAtAGroup(player, session, column, row);
    if (!session.active) {
        turn.inputs.push_back({InputKind::Activate, 0, 0});
    }
    turn.inputs.push_back(moveTo(player, board::cellToPixel(column) + between(player, 0, 28),
                                 board::cellToPixel(row) + between(player, 0, 28)));
    if ((session.held & LEFT) == 0) {
        turn.inputs.push_back({InputKind::Press, LEFT, 0});
    }
    if (chance(player, 0.02)) {
        turn.inputs.push_back({InputKind::CloseBox, 0, 0});
    }
    turn.lateLeftRelease = chance(player, 0.5);
    turn.panelButton = chance(player, 0.5) ? RIGHT : LEFT;
    return turn;
}

// Anything at all, most turns at rest in one cell as a hand on a mouse mostly is.
invariants::Turn randomTurn(Player& player, const invariants::Session& session) {
    if (session.tally.games != player.game) {
        player.game = session.tally.games;
        player.focused = chance(player, FOCUSED_GAMES);
    }
    if (player.focused) {
        return focusedTurn(player, session);
    }
    invariants::Turn turn;
    std::vector<Input>& in = turn.inputs;
    // Most turns stay in the pointer's cell, as a hand at rest does; crossing cells redraws.
    const int32_t where = between(player, 0, 999);
    if (where < 45) {
        int32_t column = between(player, 1, board::BOARD_SIZE);
        int32_t row = between(player, 1, board::BOARD_SIZE);
        if (chance(player, 0.5)) {
            aimAtAGroup(player, session, column, row);
        }
        in.push_back(moveTo(player, board::cellToPixel(column) + between(player, 0, 31),
                            board::cellToPixel(row) + between(player, 0, 31)));
    } else if (where < 75) {  // the margins: left and top count as the board, right and below not
        switch (between(player, 0, 3)) {
            case 0:
                in.push_back(moveTo(player, between(player, 0, 7), between(player, 0, HEIGHT - 1)));
                break;
            case 1:
                in.push_back(moveTo(player, between(player, 0, WIDTH - 1), between(player, 0, 7)));
                break;
            case 2:
                in.push_back(moveTo(player, between(player, BOARD_END, WIDTH - 1),
                                    between(player, 0, HEIGHT - 1)));
                break;
            default:
                in.push_back(moveTo(player, between(player, 0, WIDTH - 1),
                                    between(player, BOARD_END, HEIGHT - 1)));
                break;
        }
    } else if (where < 85) {
        in.push_back({InputKind::Leave, 0, 0});
    } else if (where < 88) {
        in.push_back({InputKind::Deactivate, 0, 0});
    } else if (where < 100 && !session.active) {
        in.push_back({InputKind::Activate, 0, 0});
    } else if (where < 200) {  // a jitter that stays in the cell
        const int32_t left = board::cellToPixel(board::pixelToCell(player.x));
        const int32_t top = board::cellToPixel(board::pixelToCell(player.y));
        if (player.x >= 0 && player.x < BOARD_END && player.y >= 0 && player.y < BOARD_END) {
            in.push_back(moveTo(player, std::max(left, 0) + between(player, 0, 7),
                                std::max(top, 0) + between(player, 0, 7)));
        }
    }

    if ((session.held & LEFT) == 0 ? chance(player, 0.15) : chance(player, 0.08)) {
        in.push_back({(session.held & LEFT) == 0 ? InputKind::Press : InputKind::Release, LEFT, 0});
    }
    if (chance(player, 0.002)) {
        in.push_back({InputKind::Press, RIGHT, 0});
    } else if (chance(player, 0.002)) {  // a right press and release between two polls
        in.push_back({InputKind::Press, RIGHT, 0});
        in.push_back({InputKind::Release, RIGHT, 0});
    }
    if (chance(player, 0.01)) {
        in.push_back({chance(player, 0.5) ? InputKind::Press : InputKind::Release,
                      surface::BUTTON_MIDDLE, 0});
    }
    if (chance(player, 0.01)) {
        in.push_back({InputKind::Wheel, between(player, -3, 3), 0});
    }
    if (chance(player, 0.03)) {
        const int32_t keys = chance(player, 0.05) ? between(player, 10, 20) : 1;
        for (int32_t k = 0; k < keys; ++k) {
            in.push_back(randomKey(player));
        }
    }
    if (chance(player, 0.005)) {
        std::shuffle(in.begin(), in.end(), player.random);
    }
    turn.lateLeftRelease = chance(player, 0.3);
    turn.panelButton = chance(player, 0.1) ? RIGHT : LEFT;
    return turn;
}

TEST(InputSoak, EveryTurnHasTheOutcomeTheModelExpects) {
    const auto clockSeed =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto seed = static_cast<uint64_t>(numberFromEnvironment(
        "CORVANE_SOAK_SEED", static_cast<int64_t>(clockSeed % 1'000'000'007)));
    const int64_t turns = numberFromEnvironment("CORVANE_SOAK_TURNS", DEFAULT_TURNS);
    Player player{std::mt19937_64(seed)};
    invariants::Session session;
    const auto wallClock = [&] { return 1.0e9 + between(player, 0, 1'000'000'000); };
    const auto replayHint = [&](int64_t turn) {
        return "seed " + std::to_string(seed) + ", turn " + std::to_string(turn) +
               " (replay: CORVANE_SOAK_SEED=" + std::to_string(seed) +
               " CORVANE_SOAK_TURNS=" + std::to_string(turns) + ")";
    };

    std::string failure = invariants::startProgram(session, wallClock(), chance(player, 0.5));
    ASSERT_EQ(failure, "") << replayHint(0);
    for (int64_t turn = 1; turn <= turns; ++turn) {
        const invariants::TurnResult result =
            invariants::playTurn(session, randomTurn(player, session));
        ASSERT_EQ(result.failure, "") << replayHint(turn);
        if (result.ended) {
            failure = invariants::startProgram(session, wallClock(), chance(player, 0.5));
            ASSERT_EQ(failure, "") << replayHint(turn);
        }
    }

    const invariants::Tally& tally = session.tally;
    std::cout << "soak: seed " << seed << ", " << tally.turns << " turns, " << tally.games
              << " games, " << tally.moves << " moves, " << tally.replays << " replays, "
              << tally.panels << " game-over panels, " << tally.programStarts
              << " program starts; quits by Esc " << tally.quitsByEscape << ", right button "
              << tally.quitsByRightButton << ", panel " << tally.quitsByPanel << "\n";
    EXPECT_EQ(tally.turns, turns);
    EXPECT_GE(tally.games, turns / TURNS_PER_GAME_AT_MOST);
    if (turns < DEFAULT_TURNS) {
        return;  // a short run need not reach every way out
    }
    EXPECT_GT(tally.panels, 0);
    EXPECT_GT(tally.quitsByEscape, 0);
    EXPECT_GT(tally.quitsByRightButton, 0);
    EXPECT_GT(tally.quitsByPanel, 0);
}

}  // namespace
