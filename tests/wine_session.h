// The window tests against the Windows program under Wine. The build names the program and
// the Wine prefix that the `wine` test fixture prepares once per test run; a test runs
// against them when CORVANE_UNDER_WINE=1 is in its environment, else against the Linux
// binary as usual.
#pragma once

#include <string>
#include <vector>

namespace wine_session {

// True when the tests drive the Windows program.
bool active();

// The command line that starts the game: the Linux binary itself, or Wine with the Windows
// program (the built one, or the one CORVANE_WINE_PROGRAM names).
std::vector<std::string> gameCommand(const std::string& linuxBinary);

// Called once the game's window is found. Wine keeps a mouse button down for the rest of
// the prefix when its release reaches no Wine window (a game ended by a press is gone
// before the release), and SDL on Windows then drops the next window's first press of that
// button as the click that activated it. Under Wine, a release of every button is sent to
// the new window, which sets Wine's state right; the game sees at most a button-up.
void windowFound(const std::string& displayName, unsigned long window);

// Called after the test gives the game's window the X keyboard focus. Wine activates a
// window when a window manager offers it the focus (WM_TAKE_FOCUS), not on the X focus
// alone; with no window manager here, the offer is sent under Wine as one would send it.
void focusGiven(const std::string& displayName, unsigned long window);

// The game's extra environment entries with, under Wine, the prefix and quiet Wine added.
std::vector<std::string> gameEnvironment(const std::vector<std::string>& extra);

}  // namespace wine_session
