// The benchmark's X side: a private Xvfb, finding a program's window by its process id,
// reading parts of the window back with XGetImage and driving it with XTest.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace xdriver {

// A rectangle of the window read back as 0xRRGGBB values, row by row.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> rgb;
};

uint32_t pixel(const Image& image, int32_t x, int32_t y);

// Starts Xvfb on a free display and connects to it; false with a reason on failure.
bool startServer(std::string& error);
void stopServer();
std::string displayName();  // ":<n>" of the private server

// Looks once for the mapped top-level window of process `pid`; 0 while there is none.
unsigned long findWindow(pid_t pid);

// Reads the rectangle (x, y, width, height) of the window's client area; an empty image
// while the window cannot be read (not mapped yet, or gone).
Image grab(unsigned long window, int32_t x, int32_t y, int32_t width, int32_t height);

// The top-left corner of the window's client area on the screen.
void clientOrigin(unsigned long window, int32_t& x, int32_t& y);

// Input through XTest. Pointer positions are in the window's client coordinates, or in
// screen coordinates for movePointerOnScreen.
void movePointer(unsigned long window, int32_t x, int32_t y);
void movePointerOnScreen(int32_t x, int32_t y);
void button(uint32_t number, bool down);
void tapKey(const char* keysymName);

}  // namespace xdriver
