#include "screen/x11_errors.h"

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>

namespace x11errors {
namespace {

// A compositor that ends takes its X server (XWayland) with it, and that server may destroy
// the game's window before it drops the connection: the game's next request on the window
// fails with an error instead of the connection being lost. Either way the display is gone.
[[noreturn]] int endOnXError(Display*, XErrorEvent* error) {
    char message[96];
    const int length = std::snprintf(message, sizeof message,
                                     "corvane: the X display failed a request (error %d)\n",
                                     error != nullptr ? error->error_code : 0);
    if (length > 0) {
        [[maybe_unused]] const ssize_t written =
            write(STDERR_FILENO, message, static_cast<size_t>(length));
    }
    _exit(1);
}

}  // namespace

void endQuietlyOnXError() {
    void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (x11 == nullptr) {
        return;
    }
    // SDL loads Xlib at run time; the game does not link it.
    using SetErrorHandler = XErrorHandler (*)(XErrorHandler);
    auto setHandler = reinterpret_cast<SetErrorHandler>(dlsym(x11, "XSetErrorHandler"));
    if (setHandler != nullptr) {
        setHandler(endOnXError);
    }
}

}  // namespace x11errors
