#include "tests/xsession.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/wine_session.h"
#include "tools/png/png.h"
#include "tools/xharness/desktop.h"
#include "tools/xharness/subprocess.h"
#include "tools/xharness/timing.h"
#include "tools/xharness/xserver.h"

namespace {

constexpr int32_t GAME_STOP_MS = 2000;
constexpr int32_t POLL_MS = 5;
constexpr int32_t BUTTON_HOLD_MS = 60;
// On a desktop the window manager (which grabs presses to raise and focus windows) or the
// compositor's XWayland sits between the input and the game, and after a busy moment may
// hand over a press and its release in one go, while the game sees button levels only: hold
// longer there, though still within the 200 ms pause after a move.
constexpr int32_t DESKTOP_BUTTON_HOLD_MS = 150;
constexpr int32_t KEY_HOLD_MS = 20;
constexpr const char* GAME_TITLE = "corvane";
constexpr int32_t DEAL_POINTER = 243;
constexpr int32_t PLACED_MS = 300;  // client x and y of the pointer after a deal

pid_t gamePid = -1;
bool gameEnded = false;
int32_t gameStatus = -1;
xserver::WindowId gameWindow = 0;
xserver::WindowId otherWindow = 0;  // the test's own window, for moving the focus away
std::string stdoutPath;
std::string stderrPath;
// Set by startGameWithEnvironment; placed first, so they win over inherited variables.
std::vector<std::string> extraEnvironment;

void removeCaptures() {
    for (std::string* path : {&stdoutPath, &stderrPath}) {
        if (!path->empty()) {
            unlink(path->c_str());
            path->clear();
        }
    }
}

bool spawnGame(const char* displayValue, std::string& error) {
    if (gamePid > 0 && !gameEnded) {
        subprocess::killAndReap(gamePid, SIGKILL, GAME_STOP_MS);
    }
    removeCaptures();
    stdoutPath = xsession::temporaryFile("corvane-stdout");
    stderrPath = xsession::temporaryFile("corvane-stderr");
    if (stdoutPath.empty() || stderrPath.empty()) {
        error = "cannot create capture files";
        return false;
    }
    const int output = open(stdoutPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const int errors = open(stderrPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    gamePid = subprocess::spawn(
        wine_session::gameCommand(CORVANE_BINARY),
        subprocess::environmentWith(displayValue, wine_session::gameEnvironment(extraEnvironment)),
        -1, output, errors);
    close(output);
    close(errors);
    gameEnded = false;
    gameStatus = -1;
    gameWindow = 0;
    if (gamePid < 0) {
        error = "fork failed";
        return false;
    }
    return true;
}

// A desktop may show a new window first in one place and then move it to its own choice
// (weston does, within a tenth of a second): positions count once the window stays put.
void waitUntilPlaced(int64_t deadline) {
    int32_t x = 0;
    int32_t y = 0;
    xserver::clientOrigin(gameWindow, x, y);
    int64_t stillSince = timing::nowMs();
    while (timing::nowMs() - stillSince < PLACED_MS && timing::nowMs() < deadline) {
        timing::sleepMs(POLL_MS);
        int32_t nowX = 0;
        int32_t nowY = 0;
        xserver::clientOrigin(gameWindow, nowX, nowY);
        if (nowX != x || nowY != y) {
            x = nowX;
            y = nowY;
            stillSince = timing::nowMs();
        }
    }
}

}  // namespace

namespace xsession {

Rgb pixel(const Image& image, int32_t x, int32_t y) {
    const size_t at =
        3 * (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x));
    return {image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
}

namespace {

// A pixel of the panel's heading, 2 pixels into the text cell at row 29, column 25.
constexpr int32_t PANEL_X = 8 * 24 + 2;
constexpr int32_t PANEL_Y = 8 * 28 + 2;
constexpr Rgb PANEL_RED = {170, 0, 0};

readback::Pixels pixels(const Image& image) {
    return [&image](int32_t x, int32_t y) {
        const Rgb rgb = pixel(image, x, y);
        return static_cast<uint32_t>(rgb.r) << 16 | static_cast<uint32_t>(rgb.g) << 8 | rgb.b;
    };
}

}  // namespace

bool readCodes(const Image& image, board::Grid& codes) {
    return image.width == WINDOW_WIDTH && image.height == WINDOW_HEIGHT &&
           readback::readCodes(pixels(image), codes);
}

bool readTiles(const Image& image, board::Grid& codes, board::Grid& outlines) {
    return image.width == WINDOW_WIDTH && image.height == WINDOW_HEIGHT &&
           readback::readTiles(pixels(image), codes, outlines);
}

bool panelShown(const Image& image) {
    return image.width == WINDOW_WIDTH && image.height == WINDOW_HEIGHT &&
           pixel(image, PANEL_X, PANEL_Y) == PANEL_RED;
}

bool startServer(std::string& error) {
    desktop::Kind kind{};
    return xserver::start(error) && desktop::chosen(kind, error) && desktop::start(kind, error);
}

bool startGame(std::string& error) {
    if (!xserver::connected()) {
        error = "no server";
        return false;
    }
    return spawnGame(desktop::programDisplay().c_str(), error);
}

bool startGameWithDisplay(const char* displayValue, std::string& error) {
    return spawnGame(displayValue, error);
}

bool startGameWithEnvironment(const std::vector<std::string>& extra, std::string& error) {
    extraEnvironment = extra;
    const bool started = startGame(error);
    extraEnvironment.clear();
    return started;
}

void stop() {
    if (gamePid > 0 && !gameEnded) {
        subprocess::killAndReap(gamePid, SIGKILL, GAME_STOP_MS);
    }
    gamePid = -1;
    gameEnded = false;
    gameWindow = 0;
    killServer();
    removeCaptures();
}

void killServer() {
    otherWindow = 0;  // goes with the connection
    xserver::stop();
    desktop::stop();
}

bool findWindow(int32_t timeoutMs) {
    const int64_t deadline = timing::nowMs() + timeoutMs;
    for (;;) {
        gameWindow = xserver::findWindow(gamePid, GAME_TITLE);
        if (gameWindow != 0) {
            wine_session::windowFound(xserver::displayName(), gameWindow);
            if (desktop::running() != desktop::Kind::Bare) {
                waitUntilPlaced(deadline);
            }
            // Where the game's warp leaves the visible pointer alone, put it where the
            // warp of the first deal does, so that one test holds on every desktop.
            if (!desktop::warpsMovePointer()) {
                movePointer(DEAL_POINTER, DEAL_POINTER);
            }
            return true;
        }
        if (timing::nowMs() >= deadline || !running()) {
            return false;
        }
        timing::sleepMs(POLL_MS);
    }
}

std::string windowName() {
    return xserver::windowName(gameWindow);
}

void clientSize(int32_t& width, int32_t& height) {
    xserver::clientSize(gameWindow, width, height);
}

void clientOrigin(int32_t& x, int32_t& y) {
    xserver::clientOrigin(gameWindow, x, y);
}

Image grab() {
    Image image;
    int32_t width = 0;
    int32_t height = 0;
    clientSize(width, height);
    const xserver::Image shot = xserver::grab(gameWindow, 0, 0, width, height);
    if (shot.rgb.empty()) {
        return image;
    }
    image.width = shot.width;
    image.height = shot.height;
    image.rgb.reserve(3 * shot.rgb.size());
    for (const uint32_t rgb : shot.rgb) {
        image.rgb.insert(image.rgb.end(),
                         {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                          static_cast<uint8_t>(rgb)});
    }
    return image;
}

bool waitForImage(const std::function<bool(const Image&)>& holds, int32_t timeoutMs, Image& last) {
    const int64_t deadline = timing::nowMs() + timeoutMs;
    for (;;) {
        last = grab();
        if (!last.rgb.empty() && holds(last)) {
            return true;
        }
        if (timing::nowMs() >= deadline) {
            return false;
        }
        timing::sleepMs(POLL_MS);
    }
}

void movePointer(int32_t x, int32_t y) {
    xserver::movePointer(gameWindow, x, y);
    xserver::sync();
}

void click(uint32_t button) {
    pressButton(button);
    timing::sleepMs(desktop::running() == desktop::Kind::Bare ? BUTTON_HOLD_MS
                                                              : DESKTOP_BUTTON_HOLD_MS);
    releaseButton(button);
}

void tapKey(const char* keysymName) {
    pressKey(keysymName);
    timing::sleepMs(KEY_HOLD_MS);
    releaseKey(keysymName);
}

void requestClose() {
    xserver::requestClose(gameWindow);
    xserver::sync();
}

void pressButton(uint32_t button) {
    xserver::button(button, true);
    xserver::sync();
}

void releaseButton(uint32_t button) {
    xserver::button(button, false);
    xserver::sync();
}

void pressKey(const char* keysymName) {
    xserver::key(keysymName, true);
    xserver::sync();
}

void releaseKey(const char* keysymName) {
    xserver::key(keysymName, false);
    xserver::sync();
}

bool openOtherWindow() {
    if (otherWindow == 0) {
        otherWindow = xserver::openWindow(0, 0, 100, 60);
    }
    return otherWindow != 0;
}

void focusOtherWindow() {
    xserver::focus(otherWindow);
    xserver::sync();
}

void focusGame() {
    xserver::focus(gameWindow);
    xserver::sync();
    wine_session::focusGiven(xserver::displayName(), gameWindow);
}

bool signalGame(int signal) {
    return gamePid > 0 && !gameEnded && kill(gamePid, signal) == 0;
}

bool pointerPosition(int32_t& x, int32_t& y) {
    return xserver::pointerPosition(gameWindow, x, y);
}

bool running() {
    if (gamePid <= 0 || gameEnded) {
        return false;
    }
    if (subprocess::reaped(gamePid, gameStatus)) {
        gameEnded = true;
        return false;
    }
    return true;
}

bool waitExit(int32_t timeoutMs, int32_t& status) {
    const int64_t deadline = timing::nowMs() + timeoutMs;
    while (running()) {
        if (timing::nowMs() >= deadline) {
            gameStatus = subprocess::killAndReap(gamePid, SIGKILL, GAME_STOP_MS);
            gameEnded = true;
            status = gameStatus;
            return false;
        }
        timing::sleepMs(POLL_MS);
    }
    status = gameStatus;
    return gameEnded;
}

std::string exitFault(int32_t timeoutMs) {
    int32_t status = -1;
    if (!waitExit(timeoutMs, status)) {
        return "still running after " + std::to_string(timeoutMs) + " ms";
    }
    if (status != 0) {
        return "exit status " + std::to_string(status);
    }
    const std::string printed = capturedStdout() + capturedStderr();
    return printed.empty() ? "" : "printed \"" + printed + "\"";
}

std::string temporaryFile(const char* stem) {
    const char* directory = std::getenv("TMPDIR");
    std::string path =
        std::string(directory != nullptr ? directory : "/tmp") + "/" + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        return "";
    }
    close(fd);
    return path;
}

std::string capturedStdout() {
    return readFile(stdoutPath);
}
std::string capturedStderr() {
    return readFile(stderrPath);
}

bool savePng(const Image& image, const std::string& path) {
    std::vector<uint8_t> rgba;
    rgba.reserve(image.rgb.size() / 3 * 4);
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        rgba.insert(rgba.end(), {image.rgb[i], image.rgb[i + 1], image.rgb[i + 2], 255});
    }
    const std::vector<uint8_t> file = png::encode(image.width, image.height, rgba);
    return !file.empty() && png::writeFile(path, file);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace xsession
