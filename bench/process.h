// What a running program has used so far, read from /proc: its CPU time and peak memory.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace process {

// User plus system CPU time so far, in seconds (clock-tick resolution).
double cpuSeconds(pid_t pid);

// Time on a CPU so far, in seconds, summed over all threads (/proc/<pid>/task/*/schedstat,
// nanosecond resolution).
double onCpuSeconds(pid_t pid);

// Peak resident set size (VmHWM) in KiB; -1 if unreadable.
int64_t peakResidentKiB(pid_t pid);

}  // namespace process
