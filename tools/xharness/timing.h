// A steady clock in milliseconds and microseconds, and sleeping, for code that polls a
// window or a child process.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace timing {

inline int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline void sleepMs(int32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace timing
