// Child processes for the window harnesses: started with chosen standard streams and
// environment, tied to this process's life, and reaped with their exit status.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace subprocess {

// This process's environment without DISPLAY, after the `extra` "NAME=value" entries (placed
// first, so they win over inherited ones), with DISPLAY=display appended unless it is null.
std::vector<std::string> environmentWith(const char* display,
                                         const std::vector<std::string>& extra = {});

// The environment entries that run a Windows program quietly under Wine in `prefix`: no
// Wine debug lines, and no ALSA driver, which prints on a machine without a sound card.
std::vector<std::string> quietWine(const std::string& prefix);

// Starts argv[0] (looked up on PATH when it holds no '/') with `environment`; its standard
// streams on `input`, `output` and `errors`, /dev/null for each that is -1. `inherited`, if
// not -1, stays open in the child. The child is killed when this process dies. -1 on failure.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            int input = -1, int output = -1, int errors = -1, int inherited = -1);

// The exit status of a wait: the code, 128 + the signal for a killed child, else -1.
int32_t statusFromWait(int raw);

// True once the child has ended, reaping it and giving its status (-1 when `pid` is no
// child of this process); false while it runs.
bool reaped(pid_t pid, int32_t& status);

// Sends `signal`, waits up to `graceMs` for the child to end, then kills it for good; reaps
// it and returns its status.
int32_t killAndReap(pid_t pid, int signal, int32_t graceMs);

}  // namespace subprocess
