#include "tools/xharness/xserver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "tools/xharness/subprocess.h"
#include "tools/xharness/timing.h"

namespace xserver {
namespace {

constexpr int32_t SERVER_START_MS = 10000;
constexpr int32_t SERVER_STOP_MS = 2000;
constexpr int32_t READ_POLL_MS = 50;

pid_t serverPid = -1;
Display* display = nullptr;  // the private server: input goes here
std::string serverName;
// A nested X server whose screen the private one shows at the same coordinates (XWayland
// under a compositor drawn into the private server); windows are looked for there.
Display* nested = nullptr;

Display* windowDisplay() {
    return nested != nullptr ? nested : display;
}

Image grabFrom(Display* from, Window window, int32_t x, int32_t y, int32_t width, int32_t height);

// A window may be unmapped or gone by the time it is asked about; such errors must not end
// this process, which is Xlib's default.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

int shiftOf(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

bool readPropertyOn(Display* on, Window window, Atom property, Atom type,
                    std::vector<unsigned char>& value, int& format) {
    Atom actualType = None;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(on, window, property, 0, 1024, False, type, &actualType, &format, &count,
                           &remaining, &data) != Success ||
        data == nullptr) {
        return false;
    }
    const size_t unit = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
    value.assign(data, data + count * unit);
    XFree(data);
    return actualType != None;
}

bool readProperty(Window window, Atom property, Atom type, std::vector<unsigned char>& value,
                  int& format) {
    return readPropertyOn(windowDisplay(), window, property, type, value, format);
}

bool matches(Window window, pid_t pid, const char* title) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(windowDisplay(), window, &attributes) == 0 ||
        attributes.map_state != IsViewable) {
        return false;
    }
    std::vector<unsigned char> value;
    int format = 0;
    const Atom pidAtom = XInternAtom(windowDisplay(), "_NET_WM_PID", False);
    if (readProperty(window, pidAtom, XA_CARDINAL, value, format) && format == 32 &&
        value.size() == sizeof(long)) {
        long owner = 0;
        std::memcpy(&owner, value.data(), sizeof owner);
        if (owner == pid) {
            return true;
        }
    }
    if (title == nullptr) {
        return false;
    }
    const Atom netName = XInternAtom(windowDisplay(), "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(windowDisplay(), "UTF8_STRING", False);
    if (readProperty(window, netName, utf8, value, format) &&
        std::string(value.begin(), value.end()) == title) {
        return true;
    }
    return windowName(window) == title;
}

Window searchTree(Window top, pid_t pid, const char* title) {
    if (matches(top, pid, title)) {
        return top;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(windowDisplay(), top, &root, &parent, &children, &count) == 0) {
        return 0;
    }
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        found = searchTree(children[i], pid, title);
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

bool start(std::string& error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = "pipe failed";
        return false;
    }
    serverPid = subprocess::spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                   "1024x768x24", "-nolisten", "tcp"},
                                  subprocess::environmentWith(nullptr), -1, -1, -1, fds[1]);
    close(fds[1]);
    // Xvfb writes the display number it took once it accepts connections.
    std::string number;
    const int64_t deadline = timing::nowMs() + SERVER_START_MS;
    while (number.find('\n') == std::string::npos && timing::nowMs() < deadline) {
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
    number.resize(number.find('\n'));
    number.insert(number.begin(), ':');  // g++ 12 warns falsely on ":" + string
    serverName = std::move(number);
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

void stop() {
    detachNested();
    if (display != nullptr) {
        XCloseDisplay(display);
        display = nullptr;
    }
    if (serverPid > 0) {
        subprocess::killAndReap(serverPid, SIGTERM, SERVER_STOP_MS);
        serverPid = -1;
    }
}

bool attachNested(const std::string& name) {
    detachNested();
    nested = XOpenDisplay(name.c_str());
    return nested != nullptr;
}

void detachNested() {
    if (nested != nullptr) {
        XCloseDisplay(nested);
        nested = nullptr;
    }
}

bool connected() {
    return display != nullptr;
}

std::string displayName() {
    return serverName;
}

WindowId findWindow(pid_t pid, const char* title) {
    return searchTree(DefaultRootWindow(windowDisplay()), pid, title);
}

WindowId windowManagerCheck() {
    Display* on = windowDisplay();
    const Atom check = XInternAtom(on, "_NET_SUPPORTING_WM_CHECK", False);
    std::vector<unsigned char> value;
    int format = 0;
    if (!readPropertyOn(on, DefaultRootWindow(on), check, XA_WINDOW, value, format) ||
        format != 32 || value.size() != sizeof(long)) {
        return 0;
    }
    long window = 0;
    std::memcpy(&window, value.data(), sizeof window);
    // A manager that has ended may leave its property behind: the window must still be there.
    std::vector<unsigned char> own;
    if (!readPropertyOn(on, static_cast<Window>(window), check, XA_WINDOW, own, format)) {
        return 0;
    }
    return static_cast<WindowId>(window);
}

std::string windowName(WindowId window) {
    char* name = nullptr;
    if (window == 0 || XFetchName(windowDisplay(), window, &name) == 0 || name == nullptr) {
        return "";
    }
    std::string text = name;
    XFree(name);
    return text;
}

void clientSize(WindowId window, int32_t& width, int32_t& height) {
    XWindowAttributes attributes;
    width = 0;
    height = 0;
    if (XGetWindowAttributes(windowDisplay(), window, &attributes) != 0) {
        width = attributes.width;
        height = attributes.height;
    }
}

void clientOrigin(WindowId window, int32_t& x, int32_t& y) {
    Window child = 0;
    x = 0;
    y = 0;
    XTranslateCoordinates(windowDisplay(), window, DefaultRootWindow(windowDisplay()), 0, 0, &x, &y,
                          &child);
}

bool pointerPosition(WindowId window, int32_t& x, int32_t& y) {
    Window root = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(windowDisplay(), window, &root, &child, &rootX, &rootY, &windowX, &windowY,
                       &mask)) {
        return false;
    }
    x = windowX;
    y = windowY;
    return true;
}

Image grab(WindowId window, int32_t x, int32_t y, int32_t width, int32_t height) {
    return grabFrom(windowDisplay(), window, x, y, width, height);
}

Image grabScreen(int32_t x, int32_t y, int32_t width, int32_t height) {
    return grabFrom(display, DefaultRootWindow(display), x, y, width, height);
}

namespace {

Image grabFrom(Display* from, Window window, int32_t x, int32_t y, int32_t width, int32_t height) {
    Image image;
    if (width <= 0 || height <= 0) {
        return image;
    }
    XImage* shot = XGetImage(from, window, x, y, static_cast<unsigned int>(width),
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
    // Xvfb's 24-bit screens hold 32-bit pixels in host order: read them straight, which
    // keeps a tight polling loop cheap.
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

}  // namespace

void movePointer(WindowId window, int32_t x, int32_t y) {
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

void key(const char* keysymName, bool down) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, XStringToKeysym(keysymName)),
                      down ? True : False, CurrentTime);
    XFlush(display);
}

void requestClose(WindowId window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(windowDisplay(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(windowDisplay(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(windowDisplay(), window, False, NoEventMask, &event);
    XFlush(windowDisplay());
}

WindowId openWindow(int32_t x, int32_t y, int32_t width, int32_t height) {
    const Window window =
        XCreateSimpleWindow(windowDisplay(), DefaultRootWindow(windowDisplay()), x, y,
                            static_cast<unsigned int>(width), static_cast<unsigned int>(height), 0,
                            0, WhitePixel(windowDisplay(), DefaultScreen(windowDisplay())));
    if (window == 0) {
        return 0;
    }
    XSelectInput(windowDisplay(), window, StructureNotifyMask);
    XMapWindow(windowDisplay(), window);
    XEvent event;
    do {
        XNextEvent(windowDisplay(), &event);
    } while (event.type != MapNotify);
    return window;
}

void focus(WindowId window) {
    XSetInputFocus(windowDisplay(), window, RevertToParent, CurrentTime);
    XFlush(windowDisplay());
}

void sync() {
    XSync(display, False);
    if (nested != nullptr) {
        XSync(nested, False);
    }
}

}  // namespace xserver
