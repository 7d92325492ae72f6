#include "tests/xsession.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

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
    stdoutPath = temporaryFile("corvane-stdout");
    stderrPath = temporaryFile("corvane-stderr");
    if (stdoutPath.empty() || stderrPath.empty()) {
        error = "cannot create capture files";
        return false;
    }
    const int output = open(stdoutPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const int errors = open(stderrPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    gamePid = subprocess::spawn({CORVANE_BINARY},
                                subprocess::environmentWith(displayValue, extraEnvironment), -1,
                                output, errors);
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

std::string capturedStdout() {
    return readFile(stdoutPath);
}
std::string capturedStderr() {
    return readFile(stderrPath);
}

namespace {

uint32_t crc32(const std::vector<uint8_t>& bytes, size_t from) {
    uint32_t crc = 0xFFFFFFFFU;
    for (size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int32_t bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ ((crc & 1U) != 0 ? 0xEDB88320U : 0U);
        }
    }
    return ~crc;
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int32_t shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    putBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32(out, typeAt));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<uint8_t> storedZlib(const std::vector<uint8_t>& raw) {
    constexpr size_t BLOCK = 65535;
    std::vector<uint8_t> out = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t length = std::min(BLOCK, raw.size() - at);
        const bool last = at + length == raw.size();
        out.push_back(static_cast<uint8_t>(last ? 1 : 0));
        out.push_back(static_cast<uint8_t>(length));
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(~length));
        out.push_back(static_cast<uint8_t>(~length >> 8));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < raw.size());
    uint32_t low = 1;
    uint32_t high = 0;
    for (const uint8_t byte : raw) {
        low = (low + byte) % 65521U;
        high = (high + low) % 65521U;
    }
    putBigEndian(out, (high << 16) | low);
    return out;
}

}  // namespace

bool savePng(const Image& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0) {
        return false;
    }
    const auto width = static_cast<size_t>(image.width);
    const auto height = static_cast<size_t>(image.height);
    // Colours in order of first appearance; an index per pixel while there are few enough.
    std::vector<uint32_t> colours;
    std::vector<uint8_t> indices(width * height);
    for (size_t i = 0; i < width * height && colours.size() <= 256; ++i) {
        const uint32_t rgb = static_cast<uint32_t>(image.rgb[3 * i]) << 16 |
                             static_cast<uint32_t>(image.rgb[3 * i + 1]) << 8 |
                             image.rgb[3 * i + 2];
        const auto found = std::find(colours.begin(), colours.end(), rgb);
        indices[i] = static_cast<uint8_t>(found - colours.begin());
        if (found == colours.end()) {
            colours.push_back(rgb);
        }
    }
    const bool indexed = colours.size() <= 256;
    const size_t bytesPerPixel = indexed ? 1 : 3;
    std::vector<uint8_t> raw;
    raw.reserve(height * (1 + width * bytesPerPixel));
    for (size_t y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        if (indexed) {
            raw.insert(raw.end(), indices.begin() + static_cast<std::ptrdiff_t>(y * width),
                       indices.begin() + static_cast<std::ptrdiff_t>((y + 1) * width));
        } else {
            raw.insert(raw.end(), image.rgb.begin() + static_cast<std::ptrdiff_t>(3 * y * width),
                       image.rgb.begin() + static_cast<std::ptrdiff_t>(3 * (y + 1) * width));
        }
    }
    std::vector<uint8_t> header;
    putBigEndian(header, static_cast<uint32_t>(width));
    putBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, static_cast<uint8_t>(indexed ? 3 : 2), 0, 0, 0});
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putChunk(png, "IHDR", header);
    if (indexed) {
        std::vector<uint8_t> palette;
        for (const uint32_t rgb : colours) {
            palette.insert(palette.end(),
                           {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                            static_cast<uint8_t>(rgb)});
        }
        putChunk(png, "PLTE", palette);
    }
    putChunk(png, "IDAT", storedZlib(raw));
    putChunk(png, "IEND", {});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace xsession
