#include "bench/xdriver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace xdriver {
namespace {

constexpr int32_t SERVER_START_MS = 10000;
constexpr int32_t READ_POLL_MS = 50;

pid_t serverPid = -1;
Display* display = nullptr;
std::string serverName;

// A window may be unmapped or gone when it is read; such errors must not end the driver.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int shiftOf(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

bool ownedBy(Window window, pid_t pid) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0 ||
        attributes.map_state != IsViewable) {
        return false;
    }
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &remaining, &data) != Success ||
        data == nullptr) {
        return false;
    }
    long owner = 0;
    if (format == 32 && count == 1) {
        std::memcpy(&owner, data, sizeof owner);
    }
    XFree(data);
    return owner == pid;
}

Window searchTree(Window top, pid_t pid) {
    if (ownedBy(top, pid)) {
        return top;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, top, &root, &parent, &children, &count) == 0) {
        return 0;
    }
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        found = searchTree(children[i], pid);
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

}  // namespace

uint32_t pixel(const Image& image, int32_t x, int32_t y) {
    return image
        .rgb[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)];
}

bool startServer(std::string& error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = "pipe failed";
        return false;
    }
    std::string fdText = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb",        "-displayfd", fdText.c_str(), "-screen", "0",
                          "1024x768x24", "-nolisten",  "tcp",          nullptr};
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    serverPid = fork();
    if (serverPid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        fcntl(fds[1], F_SETFD, 0);
        dup2(quiet, 1);
        dup2(quiet, 2);
        execvp(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    close(quiet);
    close(fds[1]);
    // Xvfb writes the display number it took once it accepts connections.
    std::string number;
    const int64_t deadline = nowMs() + SERVER_START_MS;
    while (number.find('\n') == std::string::npos && nowMs() < deadline) {
        pollfd ready = {fds[0], POLLIN, 0};
        if (poll(&ready, 1, READ_POLL_MS) > 0) {
            char buffer[16];
            const ssize_t got = read(fds[0], buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            number.append(buffer, static_cast<size_t>(got));
        }
    }
    close(fds[0]);
    if (serverPid < 0 || number.find('\n') == std::string::npos) {
        error = "Xvfb did not start";
        return false;
    }
    char name[32];
    std::snprintf(name, sizeof name, ":%d", std::atoi(number.c_str()));
    serverName = name;
    display = XOpenDisplay(serverName.c_str());
    if (display == nullptr) {
        error = "cannot open " + serverName;
        return false;
    }
    XSetErrorHandler(ignoreXError);
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        error = "no XTest on " + serverName;
        return false;
    }
    return true;
}

void stopServer() {
    if (display != nullptr) {
        XCloseDisplay(display);
        display = nullptr;
    }
    if (serverPid > 0) {
        kill(serverPid, SIGTERM);
        waitpid(serverPid, nullptr, 0);
        serverPid = -1;
    }
}

std::string displayName() {
    return serverName;
}

unsigned long findWindow(pid_t pid) {
    return searchTree(DefaultRootWindow(display), pid);
}

Image grab(unsigned long window, int32_t x, int32_t y, int32_t width, int32_t height) {
    Image image;
    XImage* shot = XGetImage(display, window, x, y, static_cast<unsigned int>(width),
                             static_cast<unsigned int>(height), AllPlanes, ZPixmap);
    if (shot == nullptr) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    const int redShift = shiftOf(shot->red_mask);
    const int greenShift = shiftOf(shot->green_mask);
    const int blueShift = shiftOf(shot->blue_mask);
    const bool direct = shot->bits_per_pixel == 32 && shot->byte_order == LSBFirst;
    size_t at = 0;
    for (int32_t row = 0; row < height; ++row) {
        const auto* line = reinterpret_cast<const uint32_t*>(
            shot->data + static_cast<ptrdiff_t>(row) * shot->bytes_per_line);
        for (int32_t column = 0; column < width; ++column) {
            const unsigned long value = direct ? line[column] : XGetPixel(shot, column, row);
            const auto r = static_cast<uint32_t>((value & shot->red_mask) >> redShift);
            const auto g = static_cast<uint32_t>((value & shot->green_mask) >> greenShift);
            const auto b = static_cast<uint32_t>((value & shot->blue_mask) >> blueShift);
            image.rgb[at++] = (r << 16) | (g << 8) | b;
        }
    }
    XDestroyImage(shot);
    return image;
}

void clientOrigin(unsigned long window, int32_t& x, int32_t& y) {
    Window child = 0;
    x = 0;
    y = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
}

void movePointer(unsigned long window, int32_t x, int32_t y) {
    int32_t left = 0;
    int32_t top = 0;
    clientOrigin(window, left, top);
    movePointerOnScreen(left + x, top + y);
}

void movePointerOnScreen(int32_t x, int32_t y) {
    XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
    XFlush(display);
}

void button(uint32_t number, bool down) {
    XTestFakeButtonEvent(display, number, down ? True : False, CurrentTime);
    XFlush(display);
}

void tapKey(const char* keysymName) {
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysymName));
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XFlush(display);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XFlush(display);
}

}  // namespace xdriver
