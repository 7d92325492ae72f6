#include "bench/wine.h"

#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/process.h"
#include "tools/xharness/subprocess.h"
#include "tools/xharness/timing.h"
#include "tools/xharness/xserver.h"

namespace wine_bench {

namespace {

constexpr int32_t FULL_IDLE_SECONDS = 10;
constexpr int32_t SMOKE_IDLE_SECONDS = 2;
constexpr int32_t SHOW_TIMEOUT_MS = 10000;
constexpr int32_t IDLE_ENTRY_MS = 1000;
constexpr int32_t KILL_GRACE_MS = 2000;
constexpr int32_t OUTSIDE_X = 2;
constexpr int32_t OUTSIDE_Y = 2;
constexpr double TARGET_PERCENT = 0.5;

const std::string PREFIX = CORVANE_BENCH_WINE_PREFIX;

bool prefixCommand(const char* action) {
    const std::string command =
        std::string(CORVANE_WINE_PREFIX_SCRIPT) + " " + action + " '" + PREFIX + "'";
    return std::system(command.c_str()) == 0;
}

// The prefix's wineserver: it does the work of Wine's system calls, so its CPU counts too.
pid_t findWineserver() {
    const std::string wanted = "WINEPREFIX=" + PREFIX;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name.rfind("wineserver", 0) != 0) {
            continue;
        }
        std::ifstream environ(entry.path() / "environ", std::ios::binary);
        std::string variable;
        while (std::getline(environ, variable, '\0')) {
            if (variable == wanted) {
                return static_cast<pid_t>(std::stol(pid));
            }
        }
    }
    return -1;
}

struct Idle {
    double program = -1.0;     // % of one core, exact (schedstat)
    double wineserver = -1.0;  // the same for the wineserver
};

Idle measureIdle(pid_t program, pid_t server, int32_t seconds) {
    timing::sleepMs(IDLE_ENTRY_MS);
    const double programBefore = process::onCpuSeconds(program);
    const double serverBefore = server > 0 ? process::onCpuSeconds(server) : 0.0;
    timing::sleepMs(seconds * 1000);
    Idle idle;
    idle.program = 100.0 * (process::onCpuSeconds(program) - programBefore) / seconds;
    if (server > 0) {
        idle.wineserver = 100.0 * (process::onCpuSeconds(server) - serverBefore) / seconds;
    }
    return idle;
}

void printRow(const char* label, const Idle& idle) {
    std::printf("| %-32s | %11.2f | %10.2f | <= %.1f    | %-4s |\n", label, idle.program,
                idle.wineserver, TARGET_PERCENT,
                idle.program < 0 ? "?" : (idle.program <= TARGET_PERCENT ? "yes" : "NO"));
}

}  // namespace

int run(bool smoke) {
    if (!std::filesystem::exists(CORVANE_WINDOWS_EXE)) {
        std::fprintf(stderr, "bench: no %s; build it with 'make windows'\n", CORVANE_WINDOWS_EXE);
        return 1;
    }
    if (!prefixCommand("setup")) {
        std::fprintf(stderr, "bench: cannot prepare the Wine prefix\n");
        prefixCommand("cleanup");
        return 1;
    }
    std::string error;
    if (!xserver::start(error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        prefixCommand("cleanup");
        return 1;
    }
    const pid_t game = subprocess::spawn(
        {"wine", CORVANE_WINDOWS_EXE},
        subprocess::environmentWith(xserver::displayName().c_str(), subprocess::quietWine(PREFIX)));
    xserver::WindowId window = 0;
    const int64_t deadline = timing::nowMs() + SHOW_TIMEOUT_MS;
    while (window == 0 && timing::nowMs() < deadline) {
        window = xserver::findWindow(game);
        timing::sleepMs(10);
    }
    const int32_t seconds = smoke ? SMOKE_IDLE_SECONDS : FULL_IDLE_SECONDS;
    Idle onBoard;
    Idle outside;
    if (window != 0) {
        const pid_t server = findWineserver();
        int32_t x = 0;
        int32_t y = 0;
        xserver::clientOrigin(window, x, y);
        // The game starts with the pointer warped to the centre cell; keep it there.
        xserver::movePointerOnScreen(x + 248, y + 248);
        onBoard = measureIdle(game, server, seconds);
        xserver::movePointerOnScreen(OUTSIDE_X, OUTSIDE_Y);
        outside = measureIdle(game, server, seconds);
    }
    subprocess::killAndReap(game, SIGKILL, KILL_GRACE_MS);
    xserver::stop();
    prefixCommand("cleanup");
    if (window == 0) {
        std::fprintf(stderr, "bench: corvane.exe showed no window under Wine\n");
        return 1;
    }

    std::printf("corvane.exe under Wine, idle windows of %d s%s\n\n", seconds,
                smoke ? " (smoke run)" : "");
    std::printf("| %-32s | %11s | %10s | %-10s | %-4s |\n", "idle CPU, % of one core",
                "corvane.exe", "wineserver", "target", "met");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(34, '-').c_str(), std::string(13, '-').c_str(),
                std::string(12, '-').c_str(), std::string(12, '-').c_str(),
                std::string(6, '-').c_str());
    printRow("pointer on board", onBoard);
    printRow("pointer outside", outside);
    return 0;
}

}  // namespace wine_bench
