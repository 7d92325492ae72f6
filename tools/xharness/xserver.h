// A private X server for driving real programs: starts Xvfb, finds a program's window by its
// process id, reads rectangles of a window back with XGetImage and sends pointer and
// keyboard input through XTest. One server per process at a time; windows are named by
// their X ids, so several programs can be driven on it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace xserver {

using WindowId = unsigned long;

// A rectangle of a window as 0xRRGGBB values, row by row.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> rgb;
};

uint32_t pixel(const Image& image, int32_t x, int32_t y);

// Starts Xvfb on a free display and connects to it; false with a reason on failure.
bool start(std::string& error);
// Closes the connection and ends the server.
void stop();
bool connected();
// Looks for windows on the nested X server `name` (XWayland under a compositor that shows its
// screen on the private server at the same coordinates) while input still goes to the
// private server. Detach before the nested server goes, or the next call on it would end
// this process.
bool attachNested(const std::string& name);
void detachNested();
std::string displayName();  // ":<n>" of the private server

// Looks once for a mapped window of process `pid`, or, unless `title` is null, one with that
// title; 0 while there is none.
WindowId findWindow(pid_t pid, const char* title = nullptr);
std::string windowName(WindowId window);
// The check window of the window manager on the server where windows are looked for; 0
// while none runs.
WindowId windowManagerCheck();
void clientSize(WindowId window, int32_t& width, int32_t& height);
// The top-left corner of the window's client area on the screen.
void clientOrigin(WindowId window, int32_t& x, int32_t& y);
// The pointer's position relative to the window's client area.
bool pointerPosition(WindowId window, int32_t& x, int32_t& y);

// Reads the rectangle (x, y, width, height) of the window's client area; an empty image
// while the window cannot be read (not mapped yet, or gone).
Image grab(WindowId window, int32_t x, int32_t y, int32_t width, int32_t height);
// Reads a rectangle of the private server's screen as shown, whatever draws it.
Image grabScreen(int32_t x, int32_t y, int32_t width, int32_t height);

// Input through XTest, sent at once without waiting for the server: positions in the
// window's client coordinates, or in screen coordinates for movePointerOnScreen.
void movePointer(WindowId window, int32_t x, int32_t y);
void movePointerOnScreen(int32_t x, int32_t y);
void button(uint32_t number, bool down);
void key(const char* keysymName, bool down);
// The close request a window manager sends for the close box.
void requestClose(WindowId window);
// A plain white window of this connection, mapped before it returns; 0 on failure.
WindowId openWindow(int32_t x, int32_t y, int32_t width, int32_t height);
void focus(WindowId window);
// Waits until the server has handled everything sent so far.
void sync();

}  // namespace xserver
