// The SDL2 host's keys, typed through XTest into a real window on a private X server and read
// back as the game reads them: every key typed gives a key string, keys without a name of
// their own and Alt chords the same two-character key, which matches no command.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "screen/surface.h"
#include "tools/xharness/timing.h"
#include "tools/xharness/xserver.h"

namespace {

constexpr int32_t KEY_WAIT_MS = 2000;
const std::string UNNAMED("\xff\0", 2);

// Holds the modifiers, taps the key, and returns every key string it queued.
std::string typeAndRead(const std::vector<const char*>& modifiers, const char* key) {
    for (const char* modifier : modifiers) {
        xserver::key(modifier, true);
    }
    xserver::key(key, true);
    xserver::key(key, false);
    for (auto held = modifiers.rbegin(); held != modifiers.rend(); ++held) {
        xserver::key(*held, false);
    }
    xserver::sync();
    std::string read;
    const int64_t deadline = timing::nowMs() + KEY_WAIT_MS;
    while (read.empty() && timing::nowMs() < deadline) {
        surface::pause(50);  // takes input all the while
        for (std::string one = surface::pollKey(); !one.empty(); one = surface::pollKey()) {
            read += one;
        }
    }
    // Nothing more follows the first key string: no key is queued twice.
    surface::pause(50);
    for (std::string one = surface::pollKey(); !one.empty(); one = surface::pollKey()) {
        read += one;
    }
    return read;
}

TEST(HostKeys, EveryKeyTypedQueuesOneKeyString) {
    std::string error;
    ASSERT_TRUE(xserver::start(error)) << error;
    setenv("DISPLAY", xserver::displayName().c_str(), 1);
    surface::openWindow(496, 592);

    struct Case {
        std::vector<const char*> modifiers;
        const char* key;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{}, "r", "r"},
        {{"Shift_L"}, "r", "R"},
        {{}, "space", " "},
        {{}, "Escape", "\x1b"},
        {{"Control_L"}, "r", "\x12"},
        {{}, "F1", "\xff;"},
        {{}, "Up", "\xffH"},
        {{}, "KP_Up", UNNAMED},  // keypad 8 with NumLock off
        {{}, "KP_Begin", UNNAMED},
        {{}, "Pause", UNNAMED},
        {{}, "Print", UNNAMED},
        {{}, "Menu", UNNAMED},
        {{}, "XF86Tools", UNNAMED},  // the key F13 in X's default keymap
        {{}, "XF86AudioPlay", UNNAMED},
        {{}, "XF86AudioRaiseVolume", UNNAMED},
        {{"Alt_L"}, "r", UNNAMED},
        {{"Alt_L", "Shift_L"}, "r", UNNAMED},
        {{"Alt_L"}, "space", UNNAMED},
    };
    for (const Case& c : cases) {
        std::string chord;
        for (const char* modifier : c.modifiers) {
            chord += std::string(modifier) + "+";
        }
        EXPECT_EQ(typeAndRead(c.modifiers, c.key), c.expected) << chord << c.key;
    }
    xserver::stop();
}

}  // namespace
