// Desktops on the private X server, for the window tests and the benchmark: a window manager
// (openbox, mutter in X11 mode, i3), or weston with XWayland, whose output window fills the
// private server's screen. CORVANE_DESKTOP names the one to run; unset or empty, none.
#pragma once

#include <cstdint>
#include <string>

namespace desktop {

enum class Kind : int32_t { Bare, Openbox, Mutter, I3, Weston };

// The desktop CORVANE_DESKTOP names; false with a reason for a name it does not know.
bool chosen(Kind& kind, std::string& error);
const char* name(Kind kind);

// Starts `kind` on the running private server and waits until it manages windows. Under
// weston the harness then looks for windows on XWayland, and the compositor's pointer is
// pinned to the private server's, so that screen positions mean the same on both.
bool start(Kind kind, std::string& error);
// Ends what start began: call it once the private server is gone, which ends the desktop.
void stop();

Kind running();
// The display programs are to run on: XWayland's under weston, else the private server's.
std::string programDisplay();
// False where a program's pointer warp leaves the pointer the player sees where it was.
bool warpsMovePointer();

// Starts `by` with --replace and waits until it has taken over from the running manager.
bool replaceWindowManager(Kind by, std::string& error);
// Ends the compositor with `signal`; the harness lets go of XWayland first.
void endCompositor(int signal);

}  // namespace desktop
