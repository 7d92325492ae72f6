// The benchmark's Wine mode: the Windows program's idle CPU under Wine.
#pragma once

namespace wine_bench {

// Prepares a fresh Wine prefix, runs corvane.exe in its own Xvfb, measures its idle CPU
// with the pointer on the board and outside the window, prints the figures and removes the
// prefix again. Returns the process exit status.
int run(bool smoke);

}  // namespace wine_bench
