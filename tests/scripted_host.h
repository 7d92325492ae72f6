// A host for tests: scripted pointer, buttons and keys, a fake clock, and a record of what
// the game showed, warped and sounded. The real game code runs on it unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "screen/host.h"

namespace script {

// Thrown by the host's exitProcess: the program ended with this status.
struct ProgramEnded {
    int32_t status;
};

// Thrown when the game waits on and on with nothing left in the script.
struct ScriptExhausted {};

struct Tone {
    int64_t startMs;
    int32_t hertz;
    int32_t ms;
    std::vector<uint8_t> shown;  // what the window showed as the tone began
};

// Back to a fresh machine: no window, no events, pointer outside, clock at 0.
void reset();

// Input. Each call queues one event, delivered when its time has come (see after()).
void moveTo(int32_t x, int32_t y);  // pointer inside the client area at (x, y)
void leave();                       // pointer leaves the client area
void setActive(bool active);        // the window gains or loses the focus
void press(int32_t button);         // button mask bit: 1 left, 2 right, 4 middle
void release(int32_t button);
void wheel(int32_t notches);
void typeText(const std::string& text);  // ASCII characters, one Text event each
void typeKey(host::KeyName key);
void closeBox();

// Events queued after this call are delivered ms milliseconds of fake time from now.
void after(int64_t ms);

// Whether a sound device exists (default: yes).
void setSound(bool present);
void setWallClock(double seconds);

// Observations.
int64_t now();  // fake monotonic milliseconds
bool windowOpen();
std::string caption();
const std::vector<uint8_t>& shownFrame();  // what the window shows now
int32_t presentCount();
int32_t warpCount();
const std::vector<Tone>& tones();
bool eventsPending();
int32_t pixel(int32_t x, int32_t y);  // palette index the window shows at (x, y)

}  // namespace script
