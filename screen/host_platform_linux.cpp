// The Linux side of the SDL2 host: X11 only, alsa-lib kept quiet, an X display that goes
// away ends the program with one line, and the process ends with _exit.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

#include "screen/host_platform.h"
#include "screen/x11_errors.h"

namespace {

void discardAlsaError(const char*, int, const char*, int, const char*, ...) {}

[[noreturn]] int endOnLostDisplay(void*) {
    static constexpr char MESSAGE[] = "corvane: lost the connection to the X display\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, MESSAGE, sizeof MESSAGE - 1);
    _exit(1);
}

}  // namespace

namespace platform {

// X11 only: without a display SDL would otherwise try Wayland, which prints to the console,
// and then fall back to an invisible offscreen window that waits forever.
const char* videoDriver() {
    return "x11";
}

const char* videoUnavailable() {
    // SDL's own message here names its clean-up, not the cause.
    return "cannot open the X display";
}

// Xlib answers a lost display with exit(), which runs the exit-time handlers of a program
// that never tears SDL down (the sanitizer build's leak check aborts on SDL's libraries
// there). End with _exit instead, as endProcess does, after one line saying why; the same
// for a request the display fails, as when XWayland goes with its compositor.
void watchDisplay() {
    x11errors::endQuietlyOnXError();
    void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (x11 == nullptr) {
        return;
    }
    using IOErrorHandler = int (*)(void*);
    using SetIOErrorHandler = IOErrorHandler (*)(IOErrorHandler);
    auto setHandler = reinterpret_cast<SetIOErrorHandler>(dlsym(x11, "XSetIOErrorHandler"));
    if (setHandler != nullptr) {
        setHandler(endOnLostDisplay);
    }
}

// alsa-lib prints its errors straight to stderr unless given a handler; it is one shared
// library, so the handler set here also covers SDL's own use of it.
void quietAudioLibraries() {
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (alsa == nullptr) {
        return;
    }
    using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(ErrorHandler);
    auto setHandler = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler != nullptr) {
        setHandler(discardAlsaError);
    }
}

// The name the program was started as, not the resolved file behind /proc/self/exe.
std::string programPath() {
    return program_invocation_name;
}

void endProcess(int32_t status) {
    _exit(status);
}

}  // namespace platform
