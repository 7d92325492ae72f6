// The display and input surface the whole game works through: an 8-bit frame with a
// fixed palette, boxes, a character-cell text layer, pointer and key polling, pauses,
// a tone, a clock and random numbers. All of it is host-independent; the machine is
// reached only through host.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace surface {

constexpr int32_t BUTTON_LEFT = 1;
constexpr int32_t BUTTON_RIGHT = 2;
constexpr int32_t BUTTON_MIDDLE = 4;

constexpr int32_t KEY_QUEUE_SLOTS = 16;  // a ring of 16 holds at most 15 unread keys

// All four are -1 while the pointer is outside the window or the window is inactive.
struct PointerState {
    int32_t x;
    int32_t y;
    int32_t wheel;
    int32_t buttons;
};

struct TextState {
    int32_t row;  // 1-based
    int32_t column;
    int32_t foreground;
    int32_t background;
};

// Window and text.
void openWindow(int32_t width, int32_t height);
void clearScreen();
void setColours(int32_t foreground, int32_t background);
void locate(int32_t row, int32_t column);
void printText(std::string_view text);
void printNumber(std::string_view format, int32_t value);
std::string decimalText(int32_t n);
void fillBox(double x1, double y1, double x2, double y2, int32_t colour);
void outlineBox(double x1, double y1, double x2, double y2, int32_t colour);

// Input and time. Drawing changes only the frame in memory; it reaches the screen when the
// game next polls the pointer, pauses or beeps: those calls present what was drawn first.
// pollPointer may also sleep (up to 100 ms, ended at once by any input) when nothing has
// happened since the previous poll, so that an idle game does not keep a core busy.
PointerState pollPointer();
void movePointer(int32_t x, int32_t y);
std::string pollKey();
void pause(int32_t ms);
void beep();
double clockSeconds();
void seedRandom(double value);
double nextRandom();
[[noreturn]] void endProgram(int32_t status);

// Read access for tests and tools.
const uint8_t* frame();
int32_t frameWidth();
int32_t frameHeight();
int32_t textColumns();
int32_t textRows();
TextState textState();

// Opens a frame of the given size with no window (tests and tools): same state as after
// openWindow, nothing shown.
void openFrame(int32_t width, int32_t height);

// The caption shown for a program path: the file name without directory and extension;
// '/' and '\' both separate folders.
std::string captionFromPath(std::string_view path);

}  // namespace surface
