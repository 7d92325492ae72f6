#include "tools/xharness/desktop.h"

#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tools/xharness/subprocess.h"
#include "tools/xharness/timing.h"
#include "tools/xharness/xserver.h"

namespace desktop {
namespace {

constexpr int32_t START_MS = 15000;  // mutter and XWayland take a second or two
constexpr int32_t STOP_MS = 2000;
constexpr int32_t POLL_MS = 20;
// The private server's screen, which weston's output window covers exactly.
constexpr int32_t SCREEN_WIDTH = 1024;
constexpr int32_t SCREEN_HEIGHT = 768;
constexpr const char* LISTENING = "xserver listening on display ";

// i3 as a player runs it, with its defaults: a fixed-size window floats in a frame.
constexpr const char* I3_CONFIG =
    "# i3 config file (v4)\n"
    "font pango:monospace 8\n";

Kind current = Kind::Bare;
std::vector<pid_t> children;  // the desktop's processes, the first started first
pid_t compositor = -1;
std::string runtimeDirectory;  // XDG_RUNTIME_DIR of the desktop: private, mode 0700
std::string nestedDisplay;

std::vector<std::string> environment() {
    return subprocess::environmentWith(xserver::displayName().c_str(),
                                       {"XDG_RUNTIME_DIR=" + runtimeDirectory});
}

std::vector<std::string> managerCommand(Kind kind) {
    switch (kind) {
        case Kind::Openbox:
            return {"openbox", "--replace"};
        case Kind::Mutter:
            return {"dbus-run-session", "--", "mutter", "--x11", "--replace"};
        case Kind::I3:
            return {"i3", "--replace", "-c", runtimeDirectory + "/i3.config"};
        default:
            return {};
    }
}

// Waits until a manager other than `previous` runs.
bool waitForManager(xserver::WindowId previous) {
    const int64_t deadline = timing::nowMs() + START_MS;
    for (;;) {
        const xserver::WindowId check = xserver::windowManagerCheck();
        if (check != 0 && check != previous) {
            return true;
        }
        if (timing::nowMs() >= deadline) {
            return false;
        }
        timing::sleepMs(POLL_MS);
    }
}

bool startManager(Kind kind, std::string& error) {
    const pid_t pid = subprocess::spawn(managerCommand(kind), environment());
    if (pid < 0) {
        error = std::string("cannot start ") + name(kind);
        return false;
    }
    children.push_back(pid);
    return true;
}

// The display number weston's log names once its XWayland socket listens.
std::string waitForListening(const std::string& logPath) {
    const int64_t deadline = timing::nowMs() + START_MS;
    while (timing::nowMs() < deadline) {
        std::ifstream log(logPath);
        std::string line;
        while (std::getline(log, line)) {
            const size_t at = line.find(LISTENING);
            if (at != std::string::npos) {
                return line.substr(at + std::string(LISTENING).size());
            }
        }
        timing::sleepMs(POLL_MS);
    }
    return "";
}

bool startWeston(std::string& error) {
    const std::string logPath = runtimeDirectory + "/weston.log";
    compositor = subprocess::spawn(
        {"weston", "--backend=x11-backend.so", "--xwayland", "--use-pixman",
         "--width=" + std::to_string(SCREEN_WIDTH), "--height=" + std::to_string(SCREEN_HEIGHT),
         "--socket=corvane-wayland", "--log=" + logPath},
        environment());
    if (compositor < 0) {
        error = "cannot start weston";
        return false;
    }
    children.push_back(compositor);
    nestedDisplay = waitForListening(logPath);
    if (nestedDisplay.empty()) {
        error = "weston started no XWayland";
        return false;
    }
    // The first connection makes weston start XWayland; it returns once XWayland answers.
    if (!xserver::attachNested(nestedDisplay)) {
        error = "cannot reach XWayland on " + nestedDisplay;
        return false;
    }
    if (!waitForManager(0)) {
        error = "weston's window manager did not start on XWayland";
        return false;
    }
    // Weston moves its pointer by the private pointer's motion, clamped to its output: a
    // sweep to the far corner and back to the origin pins the two together.
    xserver::movePointerOnScreen(SCREEN_WIDTH - 1, SCREEN_HEIGHT - 1);
    xserver::sync();
    xserver::movePointerOnScreen(0, 0);
    xserver::sync();
    return true;
}

}  // namespace

bool chosen(Kind& kind, std::string& error) {
    const char* value = std::getenv("CORVANE_DESKTOP");
    const std::string wanted = value != nullptr ? value : "";
    for (const Kind candidate : {Kind::Bare, Kind::Openbox, Kind::Mutter, Kind::I3, Kind::Weston}) {
        if (wanted == name(candidate)) {
            kind = candidate;
            return true;
        }
    }
    error = "CORVANE_DESKTOP names no known desktop: " + wanted;
    return false;
}

const char* name(Kind kind) {
    switch (kind) {
        case Kind::Bare:
            return "";
        case Kind::Openbox:
            return "openbox";
        case Kind::Mutter:
            return "mutter";
        case Kind::I3:
            return "i3";
        case Kind::Weston:
            return "weston";
    }
    return "";
}

bool start(Kind kind, std::string& error) {
    current = kind;
    if (kind == Kind::Bare) {
        return true;
    }
    const char* temporary = std::getenv("TMPDIR");
    std::string pattern =
        std::string(temporary != nullptr ? temporary : "/tmp") + "/corvane-desktop-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot create the desktop's runtime directory";
        return false;
    }
    runtimeDirectory = pattern;
    std::ofstream(runtimeDirectory + "/i3.config") << I3_CONFIG;
    if (kind == Kind::Weston) {
        return startWeston(error);
    }
    if (!startManager(kind, error)) {
        return false;
    }
    if (!waitForManager(0)) {
        error = std::string(name(kind)) + " did not take over the screen";
        return false;
    }
    return true;
}

void stop() {
    xserver::detachNested();
    // With the private server gone every desktop ends by itself, and dbus-run-session takes
    // its bus with it only when it ends so: a signal to it would leave the bus running.
    const int64_t deadline = timing::nowMs() + STOP_MS;
    for (const pid_t child : children) {
        int32_t status = 0;
        bool ended = subprocess::reaped(child, status);
        while (!ended && timing::nowMs() < deadline) {
            timing::sleepMs(POLL_MS);
            ended = subprocess::reaped(child, status);
        }
        if (!ended) {
            subprocess::killAndReap(child, SIGTERM, STOP_MS);
        }
    }
    children.clear();
    compositor = -1;
    nestedDisplay.clear();
    if (!runtimeDirectory.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(runtimeDirectory, ignored);
        runtimeDirectory.clear();
    }
    current = Kind::Bare;
}

Kind running() {
    return current;
}

std::string programDisplay() {
    return nestedDisplay.empty() ? xserver::displayName() : nestedDisplay;
}

bool warpsMovePointer() {
    return current != Kind::Weston;
}

bool replaceWindowManager(Kind by, std::string& error) {
    const xserver::WindowId previous = xserver::windowManagerCheck();
    if (!startManager(by, error)) {
        return false;
    }
    if (!waitForManager(previous)) {
        error = std::string(name(by)) + " did not take over";
        return false;
    }
    return true;
}

void endCompositor(int signal) {
    xserver::detachNested();
    if (compositor > 0) {
        kill(compositor, signal);
    }
}

}  // namespace desktop
