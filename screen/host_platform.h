// The few things the SDL2 host does differently on each operating system. Exactly one of
// host_platform_linux.cpp and host_platform_windows.cpp is built into the program.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The video driver SDL must use, or nullptr for SDL's own choice.
const char* videoDriver();

// What openWindow reports when SDL's video cannot start.
const char* videoUnavailable();

// Called once the video is up: how the program ends if the window system goes away.
void watchDisplay();

// Called before SDL's audio starts: keeps the sound libraries off the console.
void quietAudioLibraries();

// The name the program was started as, in UTF-8.
std::string programPath();

// Ends the process at once with this status, running no exit-time handlers.
[[noreturn]] void endProcess(int32_t status);

}  // namespace platform
