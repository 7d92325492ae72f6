// The thin layer between the game and the machine. The real program links the SDL2
// host (host_sdl.cpp); tests link a scripted host. Nothing here knows the game's rules.
#pragma once

#include <cstdint>
#include <string>

namespace host {

enum class EventKind : int32_t {
    ButtonDown,    // value: button mask bit (1 left, 2 right, 4 middle)
    ButtonUp,      // value: button mask bit
    Wheel,         // value: notches, + forward, - back
    Text,          // value: Unicode code point of a typed character
    Key,           // value: a KeyName for a key that types no character
    CloseRequest,  // the close box or Alt+F4
    Other,         // anything else that woke the host (motion, focus, exposure)
};

enum class KeyName : int32_t {
    Escape,
    Enter,
    Backspace,
    Tab,
    Up,
    Down,
    Left,
    Right,
    Home,
    End,
    PageUp,
    PageDown,
    Insert,
    Delete,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
    Unnamed,   // any other key typed into the window: keypad keys with NumLock off, Pause,
               // Print Screen, Menu, F13 and up, media keys, Alt with a letter or space
    ControlA,  // ControlA + i for Ctrl with the (i+1)-th letter, up to ControlA + 25
};

struct Event {
    EventKind kind;
    int32_t value;
};

// Opens a centred, fixed-size window with the palette installed; returns only once the
// window takes input. On failure returns false and says why in `error`.
bool openWindow(const std::string& caption, int32_t width, int32_t height,
                const uint8_t (*palette)[3], std::string& error);

// Shows the rectangle (x1, y1)..(x2, y2), both included, of a width x height 8-bit frame.
void showFrame(const uint8_t* pixels, int32_t width, int32_t height, int32_t x1, int32_t y1,
               int32_t x2, int32_t y2);

// Takes the next input event without waiting; false when none is queued.
bool pollEvent(Event& event);

// Sleeps until an event is queued or ms milliseconds have passed.
void waitEvent(int32_t ms);

enum class PointerPlace : int32_t {
    Inside,    // over the client area of the active window
    Outside,   // outside the client area
    Inactive,  // over the client area, but another application is active
};

// Where the pointer is now; x and y are its client coordinates when it is Inside.
PointerPlace pointerPlace(int32_t& x, int32_t& y);

// Moves the pointer to client pixel (x, y); the next pointerPlace reports it. Where the
// window system ignores warps (XWayland), the pointer stays where the player left it and
// pointerPlace goes on reporting that.
void warpPointer(int32_t x, int32_t y);

// Starts a tone and returns at once; false where there is no sound device.
bool startTone(int32_t hertz, int32_t ms);
bool toneFinished();

double wallClockSeconds();  // seconds since the epoch, with fraction
int64_t monotonicMs();      // milliseconds of a steady clock

std::string programPath();

[[noreturn]] void exitProcess(int32_t status);

}  // namespace host
