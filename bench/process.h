// The benchmark's process side: starting a program under the private X server, ending it,
// and reading its CPU time and peak memory from /proc.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace process {

// Starts `path` with DISPLAY set to `display`, stdin, stdout and stderr on /dev/null;
// -1 on failure.
pid_t start(const std::string& path, const std::string& display);

// Kills and reaps a program started here.
void kill(pid_t pid);

// True while the program has not ended.
bool running(pid_t pid);

// User plus system CPU time so far, in seconds (clock-tick resolution).
double cpuSeconds(pid_t pid);

// Time on a CPU so far, in seconds, summed over all threads (/proc/<pid>/task/*/schedstat,
// nanosecond resolution).
double onCpuSeconds(pid_t pid);

// Peak resident set size (VmHWM) in KiB; -1 if unreadable.
int64_t peakResidentKiB(pid_t pid);

// Microseconds of a steady clock.
int64_t nowUs();
void sleepMs(int32_t ms);

}  // namespace process
