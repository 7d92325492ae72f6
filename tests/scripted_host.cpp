#include "tests/scripted_host.h"

#include <algorithm>
#include <deque>

namespace {

enum class Action : int32_t { Deliver, MoveTo, Leave, Activate, Deactivate };

struct Scripted {
    int64_t dueMs;
    Action action;
    host::Event event;
    int32_t x;
    int32_t y;
};

// A game that keeps waiting this long with an empty script is taken to be stuck.
constexpr int64_t IDLE_LIMIT_MS = 3'600'000;

struct Machine {
    std::deque<Scripted> queue;
    int64_t nowMs = 0;
    int64_t nextDueMs = 0;
    int64_t idleMs = 0;
    bool inside = false;
    bool active = true;
    int32_t x = 0;
    int32_t y = 0;
    bool open = false;
    std::string caption;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> shown;
    int32_t presents = 0;
    int32_t warps = 0;
    bool sound = true;
    double wallClock = 1'000'000.0;
    std::vector<script::Tone> tones;
};

Machine machine;

void queue(Action action, host::Event event, int32_t x = 0, int32_t y = 0) {
    machine.queue.push_back({machine.nextDueMs, action, event, x, y});
}

void queueEvent(host::EventKind kind, int32_t value) {
    queue(Action::Deliver, {kind, value});
}

}  // namespace

namespace script {

void reset() {
    machine = Machine{};
}

void moveTo(int32_t x, int32_t y) {
    queue(Action::MoveTo, {host::EventKind::Other, 0}, x, y);
}
void leave() {
    queue(Action::Leave, {host::EventKind::Other, 0});
}
void setActive(bool active) {
    queue(active ? Action::Activate : Action::Deactivate, {host::EventKind::Other, 0});
}
void press(int32_t button) {
    queueEvent(host::EventKind::ButtonDown, button);
}
void release(int32_t button) {
    queueEvent(host::EventKind::ButtonUp, button);
}
void wheel(int32_t notches) {
    queueEvent(host::EventKind::Wheel, notches);
}
void typeText(const std::string& text) {
    for (const char c : text) {
        queueEvent(host::EventKind::Text, static_cast<unsigned char>(c));
    }
}
void typeKey(host::KeyName key) {
    queueEvent(host::EventKind::Key, static_cast<int32_t>(key));
}
void closeBox() {
    queueEvent(host::EventKind::CloseRequest, 0);
}
void after(int64_t ms) {
    machine.nextDueMs = machine.nowMs + ms;
}

void setSound(bool present) {
    machine.sound = present;
}
void setWallClock(double seconds) {
    machine.wallClock = seconds;
}

int64_t now() {
    return machine.nowMs;
}
bool windowOpen() {
    return machine.open;
}
std::string caption() {
    return machine.caption;
}
const std::vector<uint8_t>& shownFrame() {
    return machine.shown;
}
int32_t presentCount() {
    return machine.presents;
}
int32_t warpCount() {
    return machine.warps;
}
const std::vector<Tone>& tones() {
    return machine.tones;
}
bool eventsPending() {
    return !machine.queue.empty();
}
int32_t pixel(int32_t x, int32_t y) {
    return machine.shown[static_cast<size_t>(y) * static_cast<size_t>(machine.width) +
                         static_cast<size_t>(x)];
}

}  // namespace script

namespace host {

bool openWindow(const std::string& caption, int32_t width, int32_t height, const uint8_t (*)[3],
                std::string&) {
    machine.open = true;
    machine.caption = caption;
    machine.width = width;
    machine.height = height;
    machine.shown.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    return true;
}

void showFrame(const uint8_t* pixels, int32_t width, int32_t, int32_t x1, int32_t y1, int32_t x2,
               int32_t y2) {
    const auto rowLength = static_cast<size_t>(x2 - x1 + 1);
    for (int32_t y = y1; y <= y2; ++y) {
        const size_t at =
            static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x1);
        std::copy_n(pixels + at, rowLength,
                    machine.shown.begin() + static_cast<std::ptrdiff_t>(at));
    }
    ++machine.presents;
}

bool pollEvent(Event& event) {
    while (!machine.queue.empty() && machine.queue.front().dueMs <= machine.nowMs) {
        const Scripted next = machine.queue.front();
        machine.queue.pop_front();
        machine.idleMs = 0;
        switch (next.action) {
            case Action::MoveTo:
                machine.inside = true;
                machine.x = next.x;
                machine.y = next.y;
                break;
            case Action::Leave:
                machine.inside = false;
                break;
            case Action::Activate:
                machine.active = true;
                break;
            case Action::Deactivate:
                machine.active = false;
                break;
            case Action::Deliver:
                break;
        }
        event = next.event;
        return true;
    }
    return false;
}

void waitEvent(int32_t ms) {
    const int64_t until = machine.nowMs + std::max<int64_t>(ms, 0);
    if (!machine.queue.empty()) {
        machine.nowMs = std::max(machine.nowMs, std::min(until, machine.queue.front().dueMs));
        return;
    }
    machine.idleMs += until - machine.nowMs;
    machine.nowMs = until;
    if (machine.idleMs > IDLE_LIMIT_MS) {
        throw script::ScriptExhausted{};
    }
}

PointerPlace pointerPlace(int32_t& x, int32_t& y) {
    if (!machine.inside) {
        return PointerPlace::Outside;
    }
    if (!machine.active) {
        return PointerPlace::Inactive;
    }
    x = machine.x;
    y = machine.y;
    return PointerPlace::Inside;
}

void warpPointer(int32_t x, int32_t y) {
    machine.inside = true;
    machine.x = x;
    machine.y = y;
    ++machine.warps;
}

bool startTone(int32_t hertz, int32_t ms) {
    machine.tones.push_back({machine.nowMs, hertz, ms, machine.shown});
    return machine.sound;
}

bool toneFinished() {
    const script::Tone& last = machine.tones.back();
    return !machine.sound || machine.nowMs >= last.startMs + last.ms;
}

double wallClockSeconds() {
    return machine.wallClock + static_cast<double>(machine.nowMs) / 1000.0;
}
int64_t monotonicMs() {
    return machine.nowMs;
}
std::string programPath() {
    return "/usr/games/corvane";
}

void exitProcess(int32_t status) {
    throw script::ProgramEnded{status};
}

}  // namespace host
