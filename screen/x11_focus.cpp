#include "screen/x11_focus.h"

#include <X11/Xlib.h>
#include <dlfcn.h>

namespace x11focus {

bool keysFollowPointer(void* display) {
    // SDL loads Xlib at run time; the game does not link it.
    void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (x11 == nullptr || display == nullptr) {
        return false;
    }
    using GetInputFocus = int (*)(Display*, Window*, int*);
    auto getFocus = reinterpret_cast<GetInputFocus>(dlsym(x11, "XGetInputFocus"));
    if (getFocus == nullptr) {
        return false;
    }
    Window focus = None;
    int revert = 0;
    getFocus(static_cast<Display*>(display), &focus, &revert);
    return focus == PointerRoot;
}

}  // namespace x11focus
