// The Windows side of the SDL2 host: SDL's own video and audio drivers, the program's path
// from the module's wide-character file name, and an immediate end of the process.
#include <windows.h>

#include <vector>

#include "screen/host_platform.h"

namespace platform {

const char* videoDriver() {
    return nullptr;
}

const char* videoUnavailable() {
    return "cannot start the video";
}

// A lost desktop ends a Windows program through the system itself.
void watchDisplay() {}

// Windows' audio drivers print nothing when no device is there.
void quietAudioLibraries() {}

// The module's file name, asked for as wide characters: the ANSI form of argv[0] loses
// characters outside the code page.
std::string programPath() {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            return "";
        }
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(name.size() * 2);
    }
    const int wide = static_cast<int>(name.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, name.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string path(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name.data(), wide, path.data(), bytes, nullptr, nullptr);
    return path;
}

// Like _exit on Linux: no exit-time handlers, no DLL clean-up, no window tear-down.
void endProcess(int32_t status) {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    ExitProcess(static_cast<UINT>(status));
}

}  // namespace platform
