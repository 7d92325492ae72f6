#include "tests/wine_session.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <string_view>

#include "tools/xharness/subprocess.h"

namespace wine_session {

bool active() {
    const char* flag = std::getenv("CORVANE_UNDER_WINE");
    return flag != nullptr && std::string_view(flag) == "1";
}

std::vector<std::string> gameCommand(const std::string& linuxBinary) {
    if (!active()) {
        return {linuxBinary};
    }
    const char* program = std::getenv("CORVANE_WINE_PROGRAM");
    return {"wine", program != nullptr ? program : CORVANE_WINDOWS_EXE};
}

std::vector<std::string> gameEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> environment = extra;
    if (active()) {
        // Quiet Wine, so that the console stays the game's own.
        const std::vector<std::string> wine = subprocess::quietWine(CORVANE_WINE_PREFIX);
        environment.insert(environment.end(), wine.begin(), wine.end());
    }
    return environment;
}

void windowFound(const std::string& displayName, unsigned long window) {
    if (!active()) {
        return;
    }
    Display* display = XOpenDisplay(displayName.c_str());
    if (display == nullptr) {
        return;
    }
    Window root = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int x = 0;
    int y = 0;
    unsigned int mask = 0;
    XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask);
    for (unsigned int button = Button1; button <= Button3; ++button) {
        XEvent event{};
        event.xbutton.type = ButtonRelease;
        event.xbutton.display = display;
        event.xbutton.window = window;
        event.xbutton.root = root;
        event.xbutton.time = CurrentTime;
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.x_root = rootX;
        event.xbutton.y_root = rootY;
        event.xbutton.state = Button1Mask << (button - Button1);
        event.xbutton.button = button;
        event.xbutton.same_screen = True;
        XSendEvent(display, window, False, ButtonReleaseMask, &event);
    }
    XCloseDisplay(display);
}

void focusGiven(const std::string& displayName, unsigned long window) {
    if (!active()) {
        return;
    }
    Display* display = XOpenDisplay(displayName.c_str());
    if (display == nullptr) {
        return;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_TAKE_FOCUS", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XCloseDisplay(display);
}

}  // namespace wine_session
