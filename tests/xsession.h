// A private X server with the real game in it, for tests: starts Xvfb, runs the built binary
// with its console captured, finds its window, reads the client area back and drives the
// pointer and keyboard through XTest. One session per test process at a time.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "board/board.h"
#include "control/control.h"
#include "tools/xharness/readback.h"

namespace xsession {

// The game's client area.
constexpr int32_t WINDOW_WIDTH = control::WINDOW_WIDTH;
constexpr int32_t WINDOW_HEIGHT = control::WINDOW_HEIGHT;
// Bounds for the game's window or a screen to appear (normally ~100 ms) and for it to exit.
constexpr int32_t SHOW_MS = 5000;
constexpr int32_t EXIT_MS = 3000;

// The client area read back as 8-bit RGB triples, row by row.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
};

struct Rgb {
    uint8_t r;
    uint8_t g;
    uint8_t b;
    bool operator==(const Rgb&) const = default;
};

// What the window shows for the tiles: fill and outline of colours 1..5 (palette 32, 36, 40,
// 44, 48 and 64, 68, 72, 76, 80), and black for empty cells and gaps.
constexpr Rgb BLACK = {0, 0, 0};
constexpr std::array<Rgb, 5> TILE_FILL = {
    {{0, 0, 255}, {255, 0, 255}, {255, 0, 0}, {255, 255, 0}, {0, 255, 0}}};
constexpr std::array<Rgb, 5> TILE_OUTLINE = {
    {{255, 125, 125}, {255, 255, 125}, {125, 255, 125}, {125, 255, 255}, {182, 182, 255}}};

Rgb pixel(const Image& image, int32_t x, int32_t y);

// The board the image shows, read back as tools/xharness/readback.h reads it: false for an
// image of another size than the game's or a board that does not read.
bool readCodes(const Image& image, board::Grid& codes);
bool readTiles(const Image& image, board::Grid& codes, board::Grid& outlines);

// Whether the image shows the game-over panel: its heading's red behind the text.
bool panelShown(const Image& image);

// Starts Xvfb on a free display and connects to it; false with a reason on failure.
bool startServer(std::string& error);

// Runs the game with DISPLAY naming the private server (or, without one, unset or set to
// `display`), stdout and stderr going to files.
bool startGame(std::string& error);
bool startGameWithDisplay(const char* display, std::string& error);
// Runs the game on the private server with these extra "NAME=value" entries in its
// environment.
bool startGameWithEnvironment(const std::vector<std::string>& extra, std::string& error);

// Kills whatever is still running and removes the captured files.
void stop();

// Ends the X server under the running game, as a crashed or closed session would.
void killServer();

// Waits for the game's top-level window, matched by name or by process id.
bool findWindow(int32_t timeoutMs);
std::string windowName();
void clientSize(int32_t& width, int32_t& height);
void clientOrigin(int32_t& x, int32_t& y);  // top-left of the client area on the screen

Image grab();
// Polls the window image every few milliseconds until `holds` is true for it or the time
// is up; returns the last image read and whether it held.
bool waitForImage(const std::function<bool(const Image&)>& holds, int32_t timeoutMs, Image& last);

// Input through XTest, in client coordinates.
void movePointer(int32_t x, int32_t y);
void click(uint32_t button);  // press, hold ~60 ms, release: the game sees button levels
void tapKey(const char* keysymName);
// The close request a window manager sends for the close box.
void requestClose();
// The pointer's position relative to the client area.
bool pointerPosition(int32_t& x, int32_t& y);
// A button or key held down until released, for input that overlaps in time.
void pressButton(uint32_t button);
void releaseButton(uint32_t button);
void pressKey(const char* keysymName);
void releaseKey(const char* keysymName);
// A small window of the test's own, away from the game's, to move the keyboard focus to;
// focusGame gives it back to the game.
bool openOtherWindow();
void focusOtherWindow();
void focusGame();
// Sends a signal to the running game.
bool signalGame(int signal);

// Waits for the game to end; on timeout kills it and returns false.
bool waitExit(int32_t timeoutMs, int32_t& status);
bool running();
// Waits for the game to end; "" when it ended with status 0 and printed nothing, else what
// went wrong.
std::string exitFault(int32_t timeoutMs);

std::string capturedStdout();
std::string capturedStderr();

// A new empty file in $TMPDIR (or /tmp) whose name starts with `stem`; "" on failure.
std::string temporaryFile(const char* stem);

// The whole contents of a file; empty where it cannot be read.
std::string readFile(const std::string& path);

// Writes the image as a PNG file (tools/png: indexed where it has at most 256 colours).
bool savePng(const Image& image, const std::string& path);

}  // namespace xsession
