// The benchmark driver: measures the real game and the floor program side by side in one
// private X server and prints a table of start-up time, hover and click latency, idle CPU
// and peak memory for both. `--smoke` takes few samples and short idle windows, only to show
// that the whole run works; `--wine` measures the Windows program's idle CPU under Wine.
#include <SDL.h>
#include <signal.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/process.h"
#include "bench/wine.h"
#include "board/board.h"
#include "screen/palette.h"
#include "screen/surface.h"
#include "tools/xharness/desktop.h"
#include "tools/xharness/readback.h"
#include "tools/xharness/subprocess.h"
#include "tools/xharness/timing.h"
#include "tools/xharness/xserver.h"

namespace {

constexpr int32_t N = board::BOARD_SIZE;
constexpr int32_t PITCH = board::CELL_SIZE;
constexpr int32_t MARGIN = board::BOARD_MARGIN;
constexpr int32_t TILE = readback::TILE;
constexpr int32_t RING = readback::RING;
constexpr int32_t BOARD_PIXELS = N * PITCH - (PITCH - TILE);
constexpr int32_t OUTSIDE_X = 2;  // a screen position left of and above the centred window
constexpr int32_t OUTSIDE_Y = 2;
constexpr uint32_t LEFT_BUTTON = 1;

constexpr int32_t SHOW_TIMEOUT_MS = 10000;  // bound for anything to appear
constexpr int32_t SETTLE_MS = 50;           // lets the program go idle before a sample
constexpr int32_t MOVE_DONE_MS = 350;       // a move's 200 ms pause and the redraw after it
constexpr int32_t IDLE_ENTRY_MS = 500;      // before an idle window starts
constexpr int32_t BETWEEN_STARTS_MS = 100;
constexpr int32_t KILL_GRACE_MS = 2000;
constexpr int32_t MOVES_PER_DEAL = 8;

struct Settings {
    int32_t startRuns;
    int32_t hoverSamples;
    int32_t clickSamples;
    int32_t idleSeconds;
};

constexpr Settings FULL = {15, 100, 60, 10};
constexpr Settings SMOKE = {2, 5, 3, 1};

struct Program {
    const char* name;
    std::string path;
    bool isGame;  // the game outlines whole groups and makes real moves
};

struct Figures {
    std::vector<double> startMs;
    std::vector<double> hoverMs;
    std::vector<double> clickMs;
    // % of one core: from utime + stime (clock ticks), and from the scheduler's exact count.
    double idleOnBoard = -1.0;
    double idleOutside = -1.0;
    double idleOnBoardExact = -1.0;
    double idleOutsideExact = -1.0;
    double idleWestonExact = -1.0;  // pointer on the board, under weston with XWayland
    double peakMiB = -1.0;
    int32_t failures = 0;
};

// Colour codes of the cells as read back: EMPTY or a tile's code.
using Codes = board::Grid;

xserver::Image grabBoard(xserver::WindowId window) {
    return xserver::grab(window, MARGIN, MARGIN, BOARD_PIXELS, BOARD_PIXELS);
}

// The codes of a board image, which starts at the board's margin.
bool readCodes(const xserver::Image& image, Codes& codes) {
    return !image.rgb.empty() &&
           readback::readCodes(
               [&](int32_t x, int32_t y) { return xserver::pixel(image, x - MARGIN, y - MARGIN); },
               codes);
}

// Start-up is over when every one of the 225 tiles shows a tile colour.
bool boardDrawn(const xserver::Image& image) {
    Codes codes{};
    return readCodes(image, codes) && readback::full(codes);
}

// A tile as it should look: filled with `code`, with or without its outline.
bool tileShows(const xserver::Image& tile, int32_t code, bool outlined) {
    if (tile.rgb.empty()) {
        return false;
    }
    const uint32_t fill = readback::paletteRgb(code);
    const uint32_t ring = outlined ? readback::paletteRgb(code + readback::OUTLINE_OFFSET) : fill;
    const int32_t far = TILE - 1 - RING;
    return xserver::pixel(tile, 0, 0) == fill && xserver::pixel(tile, TILE - 1, TILE - 1) == fill &&
           xserver::pixel(tile, RING, RING) == ring && xserver::pixel(tile, far, far) == ring &&
           xserver::pixel(tile, TILE / 2, TILE / 2) == fill;
}

xserver::Image grabTile(xserver::WindowId window, int32_t x, int32_t y) {
    return xserver::grab(window, board::cellToPixel(x), board::cellToPixel(y), TILE, TILE);
}

// Reads the tile in a tight loop until it shows as wanted; the microseconds it took from
// `startUs`, or -1 on time-out.
double waitForTile(xserver::WindowId window, int32_t x, int32_t y, int32_t code, bool outlined,
                   int64_t startUs) {
    const int64_t deadline = startUs + int64_t{SHOW_TIMEOUT_MS} * 1000;
    for (;;) {
        const bool shown = tileShows(grabTile(window, x, y), code, outlined);
        const int64_t now = timing::nowUs();
        if (shown) {
            return static_cast<double>(now - startUs) / 1000.0;
        }
        if (now > deadline) {
            return -1.0;
        }
    }
}

// A program on the private server, its console on /dev/null.
pid_t startProgram(const std::string& path) {
    return subprocess::spawn({path}, subprocess::environmentWith(xserver::displayName().c_str()));
}

void endProgram(pid_t pid) {
    if (pid > 0) {
        subprocess::killAndReap(pid, SIGKILL, KILL_GRACE_MS);
    }
}

bool waitFor(const std::function<bool()>& holds, int32_t timeoutMs) {
    const int64_t deadline = timing::nowUs() + int64_t{timeoutMs} * 1000;
    while (!holds()) {
        if (timing::nowUs() > deadline) {
            return false;
        }
        timing::sleepMs(1);
    }
    return true;
}

// Process start to the whole board on screen, in milliseconds; -1 on failure.
double measureStart(const Program& program) {
    const int64_t startUs = timing::nowUs();
    const pid_t pid = startProgram(program.path);
    xserver::WindowId window = 0;
    const bool drawn = waitFor(
        [&] {
            if (window == 0) {
                window = xserver::findWindow(pid);
            }
            return window != 0 && boardDrawn(grabBoard(window));
        },
        SHOW_TIMEOUT_MS);
    const int64_t endUs = timing::nowUs();
    endProgram(pid);
    return drawn ? static_cast<double>(endUs - startUs) / 1000.0 : -1.0;
}

// The game's own generator with a fixed seed, so both programs are driven through the same
// cells.
int32_t pick(int32_t count) {
    return static_cast<int32_t>(surface::nextRandom() * count);
}

// The cells outlined while the pointer is on `cell`: the game's whole group, or the floor's
// one tile.
board::Grid outlinedAt(const Program& program, const Codes& codes, int32_t x, int32_t y) {
    board::Grid marks{};
    if (!program.isGame) {
        board::at(marks, x, y) = 1;
        return marks;
    }
    board::Board = codes;
    board::markGroup(x, y);
    return board::GroupMarks;
}

struct Session {
    const Program* program;
    pid_t pid;
    xserver::WindowId window;
    int32_t originX;
    int32_t originY;
    int32_t pointerX;  // cell under the pointer
    int32_t pointerY;
};

void pointAt(Session& session, int32_t x, int32_t y) {
    session.pointerX = x;
    session.pointerY = y;
    const int32_t middle = TILE / 2;
    xserver::movePointerOnScreen(session.originX + board::cellToPixel(x) + middle,
                                 session.originY + board::cellToPixel(y) + middle);
}

void measureHover(Session& session, const Codes& codes, int32_t samples, Figures& figures) {
    for (int32_t i = 0; i < samples; ++i) {
        const board::Grid lit =
            outlinedAt(*session.program, codes, session.pointerX, session.pointerY);
        int32_t x = 0;
        int32_t y = 0;
        do {
            x = pick(N) + 1;
            y = pick(N) + 1;
        } while (board::at(lit, x, y) != 0 || board::at(codes, x, y) == board::EMPTY);
        timing::sleepMs(SETTLE_MS);
        const int64_t startUs = timing::nowUs();
        pointAt(session, x, y);
        const double ms = waitForTile(session.window, x, y, board::at(codes, x, y), true, startUs);
        if (ms < 0) {
            ++figures.failures;
        } else {
            figures.hoverMs.push_back(ms);
        }
    }
}

// The game's next position after a move at (x, y), or false if the group there cannot be
// removed or the move would end the game.
bool predictMove(const Codes& codes, int32_t x, int32_t y, Codes& after) {
    board::Board = codes;
    board::markGroup(x, y);
    if (board::countGroup() < 2) {
        return false;
    }
    board::removeMarked();
    board::settleColumns();
    board::closeEmptyColumns();
    after = board::Board;
    return board::hasMoves();
}

// Moves the pointer onto (x, y) unless it is there, and waits for that tile's outline.
bool hoverOnto(Session& session, const Codes& codes, int32_t x, int32_t y) {
    if (x != session.pointerX || y != session.pointerY) {
        pointAt(session, x, y);
    }
    return waitForTile(session.window, x, y, board::at(codes, x, y), true, timing::nowUs()) >= 0;
}

// One press on a group of the game: the time until the board after the move shows at the
// pressed tile. False when no sample could be taken.
bool clickGame(Session& session, int32_t& movesThisDeal, Figures& figures) {
    Codes codes{};
    if (!waitFor([&] { return readCodes(grabBoard(session.window), codes); }, SHOW_TIMEOUT_MS)) {
        return false;
    }
    int32_t chosenX = 0;
    int32_t chosenY = 0;
    Codes after{};
    for (int32_t tries = 0; tries < N * N * 4 && chosenX == 0; ++tries) {
        const int32_t x = pick(N) + 1;
        const int32_t y = pick(N) + 1;
        if (board::at(codes, x, y) != board::EMPTY && predictMove(codes, x, y, after) &&
            board::at(after, x, y) != board::at(codes, x, y)) {
            chosenX = x;
            chosenY = y;
        }
    }
    if (chosenX == 0 || movesThisDeal >= MOVES_PER_DEAL) {
        // A fresh deal: the space bar, then the deal and its first turn.
        xserver::key("space", true);
        xserver::key("space", false);
        timing::sleepMs(MOVE_DONE_MS);
        session.pointerX = (N + 1) / 2;
        session.pointerY = (N + 1) / 2;
        movesThisDeal = 0;
        return true;
    }
    if (!hoverOnto(session, codes, chosenX, chosenY)) {
        ++figures.failures;
        return false;
    }
    timing::sleepMs(SETTLE_MS);
    const int64_t startUs = timing::nowUs();
    xserver::button(LEFT_BUTTON, true);
    const double ms = waitForTile(session.window, chosenX, chosenY,
                                  board::at(after, chosenX, chosenY), false, startUs);
    xserver::button(LEFT_BUTTON, false);
    ++movesThisDeal;
    if (ms < 0) {
        ++figures.failures;
    } else {
        figures.clickMs.push_back(ms);
    }
    timing::sleepMs(MOVE_DONE_MS);
    return true;
}

// One press on a tile of the floor, which removes that tile: the time until it shows empty.
bool clickFloor(Session& session, Codes& codes, Figures& figures) {
    int32_t x = 0;
    int32_t y = 0;
    do {
        x = pick(N) + 1;
        y = pick(N) + 1;
    } while (board::at(codes, x, y) == board::EMPTY);
    if (!hoverOnto(session, codes, x, y)) {
        ++figures.failures;
        return false;
    }
    timing::sleepMs(SETTLE_MS);
    const int64_t startUs = timing::nowUs();
    xserver::button(LEFT_BUTTON, true);
    const double ms = waitForTile(session.window, x, y, board::EMPTY, false, startUs);
    xserver::button(LEFT_BUTTON, false);
    board::at(codes, x, y) = board::EMPTY;
    if (ms < 0) {
        ++figures.failures;
    } else {
        figures.clickMs.push_back(ms);
    }
    return true;
}

// CPU use over an idle window, as % of one core, from the tick counts and exactly.
void measureIdle(pid_t pid, int32_t seconds, double& percent, double& exactPercent) {
    timing::sleepMs(IDLE_ENTRY_MS);
    const double before = process::cpuSeconds(pid);
    const double exactBefore = process::onCpuSeconds(pid);
    timing::sleepMs(seconds * 1000);
    percent = 100.0 * (process::cpuSeconds(pid) - before) / seconds;
    exactPercent = 100.0 * (process::onCpuSeconds(pid) - exactBefore) / seconds;
}

// Start-up of the session, hover and click latency, idle CPU and peak memory of one program.
bool measureSession(const Program& program, const Settings& settings, Figures& figures) {
    Session session{&program, startProgram(program.path), 0, 0, 0, 0, 0};
    Codes codes{};
    const bool shown = waitFor(
        [&] {
            if (session.window == 0) {
                session.window = xserver::findWindow(session.pid);
            }
            return session.window != 0 && boardDrawn(grabBoard(session.window)) &&
                   readCodes(grabBoard(session.window), codes);
        },
        SHOW_TIMEOUT_MS);
    if (!shown) {
        endProgram(session.pid);
        return false;
    }
    xserver::clientOrigin(session.window, session.originX, session.originY);
    // The game starts with the pointer on the centre cell and that group outlined; the floor
    // starts with nothing outlined.
    session.pointerX = (N + 1) / 2;
    session.pointerY = (N + 1) / 2;
    if (program.isGame && !hoverOnto(session, codes, session.pointerX, session.pointerY)) {
        endProgram(session.pid);
        return false;
    }
    surface::seedRandom(1);
    measureHover(session, codes, settings.hoverSamples, figures);

    surface::seedRandom(2);
    int32_t movesThisDeal = 0;
    for (int32_t attempts = 0;
         static_cast<int32_t>(figures.clickMs.size()) < settings.clickSamples &&
         attempts < settings.clickSamples * 3;
         ++attempts) {
        const bool taken = program.isGame ? clickGame(session, movesThisDeal, figures)
                                          : clickFloor(session, codes, figures);
        if (!taken) {
            break;
        }
    }

    pointAt(session, (N + 1) / 2, (N + 1) / 2);
    measureIdle(session.pid, settings.idleSeconds, figures.idleOnBoard, figures.idleOnBoardExact);
    xserver::movePointerOnScreen(OUTSIDE_X, OUTSIDE_Y);
    measureIdle(session.pid, settings.idleSeconds, figures.idleOutside, figures.idleOutsideExact);
    figures.peakMiB = static_cast<double>(process::peakResidentKiB(session.pid)) / 1024.0;
    int32_t status = 0;
    const bool alive = !subprocess::reaped(session.pid, status);
    endProgram(session.pid);
    return alive;
}

// Idle CPU with the pointer on the board under weston, the program on its XWayland, in a
// private server of its own.
bool measureWestonIdle(const Program& program, const Settings& settings, Figures& figures) {
    std::string error;
    if (!xserver::start(error) || !desktop::start(desktop::Kind::Weston, error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        xserver::stop();
        desktop::stop();
        return false;
    }
    const pid_t pid = subprocess::spawn(
        {program.path}, subprocess::environmentWith(desktop::programDisplay().c_str()));
    xserver::WindowId window = 0;
    const bool shown = waitFor(
        [&] {
            if (window == 0) {
                window = xserver::findWindow(pid);
            }
            return window != 0 && boardDrawn(grabBoard(window));
        },
        SHOW_TIMEOUT_MS);
    if (shown) {
        int32_t left = 0;
        int32_t top = 0;
        xserver::clientOrigin(window, left, top);
        const int32_t middle = board::cellToPixel((N + 1) / 2) + TILE / 2;
        xserver::movePointerOnScreen(left + middle, top + middle);
        double stat = 0.0;
        measureIdle(pid, settings.idleSeconds, stat, figures.idleWestonExact);
    }
    endProgram(pid);
    xserver::stop();
    desktop::stop();
    return shown;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2.0;
}

// Nearest-rank percentile.
double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

std::string firstLineWith(const char* path, const char* key) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            const size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return "unknown";
}

void printMachine() {
    utsname names{};
    uname(&names);
    SDL_version linked{};
    SDL_GetVersion(&linked);
    std::printf("machine: %ld cores (nproc), %s, kernel %s, SDL %d.%d.%d\n",
                sysconf(_SC_NPROCESSORS_ONLN), firstLineWith("/proc/cpuinfo", "model name").c_str(),
                names.release, linked.major, linked.minor, linked.patch);
}

enum class Target { Ratio, Difference, Ceiling };

// One line of the table: both figures, how they compare and whether the target is met.
void printRow(const char* label, double game, double floor, Target kind, double limit) {
    char comparison[32];
    char target[32];
    bool met = false;
    switch (kind) {
        case Target::Ratio:
            std::snprintf(comparison, sizeof comparison, "x%.2f", game / floor);
            std::snprintf(target, sizeof target, "<= x%.1f", limit);
            met = game <= floor * limit;
            break;
        case Target::Difference:
            std::snprintf(comparison, sizeof comparison, "%+.2f", game - floor);
            std::snprintf(target, sizeof target, "<= %+.0f", limit);
            met = game - floor <= limit;
            break;
        case Target::Ceiling:
            std::snprintf(comparison, sizeof comparison, "%+.2f", game - floor);
            std::snprintf(target, sizeof target, "<= %.1f", limit);
            met = game <= limit;
            break;
    }
    const bool known = !std::isnan(game) && !std::isnan(floor) && game >= 0 && floor >= 0;
    std::printf("| %-36s | %9.2f | %9.2f | %10s | %-9s | %-4s |\n", label, game, floor, comparison,
                target, known ? (met ? "yes" : "NO") : "?");
}

void printTable(const Figures& game, const Figures& floor) {
    std::printf("| %-36s | %9s | %9s | %10s | %-9s | %-4s |\n", "figure", "corvane", "floor",
                "vs floor", "target", "met");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(38, '-').c_str(), std::string(11, '-').c_str(),
                std::string(11, '-').c_str(), std::string(12, '-').c_str(),
                std::string(11, '-').c_str(), std::string(6, '-').c_str());
    printRow("start-up, median (ms)", median(game.startMs), median(floor.startMs), Target::Ratio,
             1.2);
    printRow("hover latency, median (ms)", median(game.hoverMs), median(floor.hoverMs),
             Target::Difference, 1.0);
    printRow("hover latency, 95th percentile (ms)", percentile(game.hoverMs, 0.95),
             percentile(floor.hoverMs, 0.95), Target::Difference, 2.0);
    printRow("click latency, median (ms)", median(game.clickMs), median(floor.clickMs),
             Target::Difference, 1.0);
    printRow("click latency, 95th percentile (ms)", percentile(game.clickMs, 0.95),
             percentile(floor.clickMs, 0.95), Target::Difference, 2.0);
    printRow("idle CPU, pointer on board (%)", game.idleOnBoard, floor.idleOnBoard, Target::Ceiling,
             0.5);
    printRow("idle CPU, pointer outside (%)", game.idleOutside, floor.idleOutside, Target::Ceiling,
             0.5);
    printRow("  same on board, schedstat (%)", game.idleOnBoardExact, floor.idleOnBoardExact,
             Target::Ceiling, 0.5);
    printRow("  same outside, schedstat (%)", game.idleOutsideExact, floor.idleOutsideExact,
             Target::Ceiling, 0.5);
    printRow("peak RSS (MiB)", game.peakMiB, floor.peakMiB, Target::Difference, 4.0);
    printRow("idle CPU, weston+XWayland, sched (%)", game.idleWestonExact, floor.idleWestonExact,
             Target::Ceiling, 0.5);
}

}  // namespace

int main(int argc, char** argv) {
    bool smoke = false;
    bool wine = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) {
            smoke = true;
        } else if (std::strcmp(argv[i], "--wine") == 0) {
            wine = true;
        } else {
            std::fprintf(stderr, "usage: %s [--smoke] [--wine]\n", argv[0]);
            return 2;
        }
    }
    if (wine) {
        return wine_bench::run(smoke);
    }
    const Settings& settings = smoke ? SMOKE : FULL;
    const std::vector<Program> programs = {{"corvane", CORVANE_BINARY, true},
                                           {"floor", FLOOR_BINARY, false}};
    std::string error;
    if (!xserver::start(error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 1;
    }
    // Park the pointer away from where the window will appear.
    xserver::movePointerOnScreen(OUTSIDE_X, OUTSIDE_Y);

    std::vector<Figures> figures(programs.size());
    // Start-ups alternate between the programs, so slow phases of the machine hit both.
    for (int32_t run = 0; run < settings.startRuns; ++run) {
        for (size_t i = 0; i < programs.size(); ++i) {
            const double ms = measureStart(programs[i]);
            if (ms < 0) {
                ++figures[i].failures;
            } else {
                figures[i].startMs.push_back(ms);
            }
            timing::sleepMs(BETWEEN_STARTS_MS);
        }
    }
    for (size_t i = 0; i < programs.size(); ++i) {
        if (!measureSession(programs[i], settings, figures[i])) {
            std::fprintf(stderr, "bench: the %s session failed\n", programs[i].name);
            ++figures[i].failures;
        }
        xserver::movePointerOnScreen(OUTSIDE_X, OUTSIDE_Y);
    }
    xserver::stop();
    for (size_t i = 0; i < programs.size(); ++i) {
        if (!measureWestonIdle(programs[i], settings, figures[i])) {
            std::fprintf(stderr, "bench: the %s session under weston failed\n", programs[i].name);
            ++figures[i].failures;
        }
    }

    printMachine();
    std::printf(
        "samples: %d start-ups each, %zu/%zu hovers, %zu/%zu clicks (corvane/floor), "
        "idle windows of %d s%s\n\n",
        settings.startRuns, figures[0].hoverMs.size(), figures[1].hoverMs.size(),
        figures[0].clickMs.size(), figures[1].clickMs.size(), settings.idleSeconds,
        smoke ? " (smoke run)" : "");
    printTable(figures[0], figures[1]);
    if (smoke) {
        std::printf(
            "\nsmoke run: one clock tick in a 1 s window is 1 %% in the stat rows; the "
            "figures are not judged\n");
    }
    const int32_t failures = figures[0].failures + figures[1].failures;
    if (failures > 0) {
        std::printf("\n%d measurement(s) failed or timed out\n", failures);
        return 1;
    }
    return 0;
}
