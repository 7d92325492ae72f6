#include "screen/surface.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "screen/font.h"
#include "screen/host.h"
#include "screen/keys.h"
#include "screen/palette.h"

namespace surface {
namespace {

constexpr int32_t CELL = 8;  // text cells are 8 x 8 pixels
constexpr int32_t FIRST_FOREGROUND = 15;
constexpr int32_t FIRST_BACKGROUND = 0;

// With nothing happening, a pointer poll sleeps this long (or until an event comes), so a
// game polling in a tight loop does not keep a core busy.
constexpr int32_t IDLE_WAIT_MS = 100;

constexpr int32_t PAUSE_STEP_MS = 50;
constexpr int32_t SHORTEST_STEPPED_PAUSE_MS = 100;
constexpr int32_t BEEP_HERTZ = 1000;
constexpr int32_t BEEP_MS = 250;
constexpr int32_t BEEP_GIVE_UP_MS = 1000;
constexpr int32_t TONE_CHECK_MS = 10;

struct Rect {
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
};

std::vector<uint8_t> pixels;
int32_t frameW = 0;  // frame size in pixels
int32_t frameH = 0;
bool windowShown = false;  // false for a frame opened without a window

TextState text{1, 1, FIRST_FOREGROUND, FIRST_BACKGROUND};

// The key ring: keyHead is the oldest unread key, keyTail the next free slot.
std::array<std::string, KEY_QUEUE_SLOTS> keyRing;
int32_t keyHead = 0;
int32_t keyTail = 0;
bool keyArrived = false;

int32_t heldButtons = 0;
int32_t wheelCount = 0;
uint32_t randomState = 0;

// What changed since the last present; empty when x1 > x2.
Rect dirty{0, 0, -1, -1};

// What happened since the last pointer poll, for the idle wait.
int32_t eventsSincePointerPoll = 0;
bool drawnSincePointerPoll = false;
bool keyTakenSincePointerPoll = false;

void markDirty(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (dirty.x1 > dirty.x2) {
        dirty = {x1, y1, x2, y2};
    } else {
        dirty = {std::min(dirty.x1, x1), std::min(dirty.y1, y1), std::max(dirty.x2, x2),
                 std::max(dirty.y2, y2)};
    }
    drawnSincePointerPoll = true;
}

void markAllDirty() {
    if (frameW > 0 && frameH > 0) {
        markDirty(0, 0, frameW - 1, frameH - 1);
    }
}

size_t offsetOf(int32_t x, int32_t y) {
    return static_cast<size_t>(y) * static_cast<size_t>(frameW) + static_cast<size_t>(x);
}

void present() {
    if (dirty.x1 > dirty.x2) {
        return;
    }
    if (windowShown) {
        host::showFrame(pixels.data(), frameW, frameH, dirty.x1, dirty.y1, dirty.x2, dirty.y2);
    }
    dirty = {0, 0, -1, -1};
}

int32_t unreadKeys() {
    return (keyTail - keyHead + KEY_QUEUE_SLOTS) % KEY_QUEUE_SLOTS;
}

void queueKey(std::string key) {
    if (unreadKeys() == KEY_QUEUE_SLOTS - 1) {
        keyHead = (keyHead + 1) % KEY_QUEUE_SLOTS;  // full: the oldest key is lost
    }
    keyRing[static_cast<size_t>(keyTail)] = std::move(key);
    keyTail = (keyTail + 1) % KEY_QUEUE_SLOTS;
}

// Takes every event the host has queued.
void pump() {
    host::Event event{};
    while (host::pollEvent(event)) {
        ++eventsSincePointerPoll;
        switch (event.kind) {
            case host::EventKind::ButtonDown:
                heldButtons |= event.value;
                break;
            case host::EventKind::ButtonUp:
                heldButtons &= ~event.value;
                break;
            case host::EventKind::Wheel:
                // Wraps instead of overflowing on an endless spin.
                wheelCount = static_cast<int32_t>(static_cast<uint32_t>(wheelCount) +
                                                  static_cast<uint32_t>(event.value));
                break;
            default: {
                std::string key = keyString(event);
                if (!key.empty()) {
                    queueKey(std::move(key));
                    keyArrived = true;
                }
                break;
            }
        }
    }
}

// Waits until the monotonic clock reaches endMs, taking input all the while.
void waitUntil(int64_t endMs) {
    for (int64_t now = host::monotonicMs(); now < endMs; now = host::monotonicMs()) {
        host::waitEvent(static_cast<int32_t>(std::min<int64_t>(endMs - now, INT32_MAX)));
        pump();
    }
}

void setUpFrame(int32_t width, int32_t height) {
    frameW = std::max(width, 0);
    frameH = std::max(height, 0);
    pixels.assign(static_cast<size_t>(frameW) * static_cast<size_t>(frameH), 0);
    text = {1, 1, FIRST_FOREGROUND, FIRST_BACKGROUND};
    keyHead = 0;
    keyTail = 0;
    keyArrived = false;
    heldButtons = 0;
    wheelCount = 0;
    dirty = {0, 0, -1, -1};
    eventsSincePointerPoll = 0;
    drawnSincePointerPoll = false;
    keyTakenSincePointerPoll = false;
}

// Fills the rectangle of whole pixels, both corners included, clipped to the frame.
void fillPixels(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t colour) {
    if (x1 > x2) {
        std::swap(x1, x2);
    }
    if (y1 > y2) {
        std::swap(y1, y2);
    }
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, frameW - 1);
    y2 = std::min(y2, frameH - 1);
    if (x1 > x2 || y1 > y2) {
        return;
    }
    for (int32_t y = y1; y <= y2; ++y) {
        std::fill_n(pixels.begin() + static_cast<std::ptrdiff_t>(offsetOf(x1, y)), x2 - x1 + 1,
                    colour);
    }
    markDirty(x1, y1, x2, y2);
}

// A box coordinate rounded half away from zero. Anything beyond the frame is held just
// outside it (-1 or the size), which clips the same and converts safely; NaN counts as
// outside too.
int32_t boxCoordinate(double value, int32_t size) {
    const double rounded = std::round(value);
    if (!(rounded >= -1.0)) {
        return -1;
    }
    if (rounded > static_cast<double>(size)) {
        return size;
    }
    return static_cast<int32_t>(rounded);
}

uint8_t paletteIndex(int32_t colour) {
    return static_cast<uint8_t>(colour & 255);
}

// Moves the whole frame up by whole text rows, filling the freed lines with the background.
void scrollUp(int32_t textRowCount) {
    const int32_t lines = std::min(textRowCount * CELL, frameH);
    const auto begin = pixels.begin();
    std::copy(begin + static_cast<std::ptrdiff_t>(offsetOf(0, lines)), pixels.end(), begin);
    std::fill(pixels.end() - static_cast<std::ptrdiff_t>(offsetOf(0, lines)), pixels.end(),
              paletteIndex(text.background));
    markAllDirty();
}

void drawCell(int32_t row, int32_t column, uint8_t code) {
    const int32_t left = (column - 1) * CELL;
    const int32_t top = (row - 1) * CELL;
    const uint8_t foreground = paletteIndex(text.foreground);
    const uint8_t background = paletteIndex(text.background);
    for (int32_t y = 0; y < CELL; ++y) {
        const uint32_t bits = FONT_8X8[code][y];
        uint8_t* line = pixels.data() + offsetOf(left, top + y);
        for (int32_t x = 0; x < CELL; ++x) {
            line[x] = ((bits >> (7 - x)) & 1U) != 0 ? foreground : background;
        }
    }
    markDirty(left, top, left + CELL - 1, top + CELL - 1);
}

}  // namespace

void openFrame(int32_t width, int32_t height) {
    setUpFrame(width, height);
    windowShown = false;
}

void openWindow(int32_t width, int32_t height) {
    std::string error;
    if (!host::openWindow(captionFromPath(host::programPath()), width, height, DEFAULT_PALETTE,
                          error)) {
        std::fprintf(stderr, "corvane: cannot open the window: %s\n", error.c_str());
        host::exitProcess(1);
    }
    setUpFrame(width, height);
    windowShown = true;
    markAllDirty();  // the first present paints the whole window
}

void clearScreen() {
    std::fill(pixels.begin(), pixels.end(), paletteIndex(text.background));
    text.row = 1;
    text.column = 1;
    markAllDirty();
}

void setColours(int32_t foreground, int32_t background) {
    if (foreground >= 0) {
        text.foreground = foreground & 255;
    }
    if (background >= 0) {
        text.background = background & 255;
    }
}

void locate(int32_t row, int32_t column) {
    const bool rowValid = row == 0 || (row >= 1 && row <= textRows());
    const bool columnValid = column == 0 || (column >= 1 && column <= textColumns());
    if (!rowValid || !columnValid) {
        return;
    }
    if (row != 0) {
        text.row = row;
    }
    if (column != 0) {
        text.column = column;
    }
}

void printText(std::string_view s) {
    const int32_t rows = textRows();
    const int32_t columns = textColumns();
    if (rows == 0 || columns == 0) {
        return;
    }
    for (const char c : s) {
        // After a character in the last cell the cursor waits below the last row; only
        // more output scrolls.
        if (text.row > rows) {
            scrollUp(text.row - rows);
            text.row = rows;
        }
        drawCell(text.row, text.column, static_cast<uint8_t>(c));
        if (++text.column > columns) {
            text.column = 1;
            ++text.row;
        }
    }
}

void printNumber(std::string_view format, int32_t value) {
    const size_t firstPlace = format.find('#');
    const std::string_view prefix = format.substr(0, firstPlace);
    const auto places = static_cast<size_t>(std::count(format.begin(), format.end(), '#'));
    const std::string digits = std::to_string(value);
    std::string out(prefix);
    if (digits.size() < places) {
        out.append(places - digits.size(), ' ');
    }
    out += digits;
    printText(out);
}

std::string decimalText(int32_t n) {
    return std::to_string(n);
}

void fillBox(double x1, double y1, double x2, double y2, int32_t colour) {
    fillPixels(boxCoordinate(x1, frameW), boxCoordinate(y1, frameH), boxCoordinate(x2, frameW),
               boxCoordinate(y2, frameH), paletteIndex(colour));
}

void outlineBox(double x1, double y1, double x2, double y2, int32_t colour) {
    int32_t left = boxCoordinate(x1, frameW);
    int32_t right = boxCoordinate(x2, frameW);
    int32_t top = boxCoordinate(y1, frameH);
    int32_t bottom = boxCoordinate(y2, frameH);
    if (left > right) {
        std::swap(left, right);
    }
    if (top > bottom) {
        std::swap(top, bottom);
    }
    const uint8_t index = paletteIndex(colour);
    fillPixels(left, top, right, top, index);
    fillPixels(left, bottom, right, bottom, index);
    fillPixels(left, top, left, bottom, index);
    fillPixels(right, top, right, bottom, index);
}

PointerState pollPointer() {
    present();
    pump();
    // Keys count when they arrive (as events), not while they sit unread: a loop that polls
    // only the pointer, with a key waiting in the queue, must still sleep. A loop that is
    // taking keys one per turn goes on without sleeping while more are waiting.
    const bool takingKeys = keyTakenSincePointerPoll && unreadKeys() > 0;
    if (eventsSincePointerPoll == 0 && !drawnSincePointerPoll && !takingKeys) {
        host::waitEvent(IDLE_WAIT_MS);
        pump();
    }
    eventsSincePointerPoll = 0;
    drawnSincePointerPoll = false;
    keyTakenSincePointerPoll = false;

    int32_t x = 0;
    int32_t y = 0;
    switch (host::pointerPlace(x, y)) {
        case host::PointerPlace::Inside:
            break;
        case host::PointerPlace::Outside:
            heldButtons = 0;  // a button held while outside counts only after a new press
            return {-1, -1, -1, -1};
        case host::PointerPlace::Inactive:
            // Still over the window: the buttons' levels stay known through the switch.
            return {-1, -1, -1, -1};
    }
    return {x, y, wheelCount, heldButtons};
}

void movePointer(int32_t x, int32_t y) {
    if (frameW <= 0 || frameH <= 0) {
        return;
    }
    host::warpPointer(std::clamp(x, 0, frameW - 1), std::clamp(y, 0, frameH - 1));
}

std::string pollKey() {
    pump();
    keyArrived = false;
    if (unreadKeys() == 0) {
        return "";
    }
    std::string key = std::move(keyRing[static_cast<size_t>(keyHead)]);
    keyHead = (keyHead + 1) % KEY_QUEUE_SLOTS;
    keyTakenSincePointerPoll = true;
    return key;
}

void pause(int32_t ms) {
    present();
    const int64_t start = host::monotonicMs();
    const int64_t end = start + ms;
    if (ms < SHORTEST_STEPPED_PAUSE_MS) {
        waitUntil(end);
        return;
    }
    // Steps run on a fixed schedule from the start so that late wake-ups do not add up.
    for (int64_t stepStart = start; end - stepStart > PAUSE_STEP_MS; stepStart += PAUSE_STEP_MS) {
        pump();
        if (keyArrived) {
            keyArrived = false;  // the key itself stays queued for pollKey
            return;
        }
        waitUntil(stepStart + PAUSE_STEP_MS);
    }
    waitUntil(end);
}

void beep() {
    present();
    const int64_t start = host::monotonicMs();
    if (!host::startTone(BEEP_HERTZ, BEEP_MS)) {
        waitUntil(start + BEEP_MS);
        return;
    }
    waitUntil(start + BEEP_MS);
    // A device that reports the end late is given a little longer, but never forever.
    while (!host::toneFinished() && host::monotonicMs() < start + BEEP_GIVE_UP_MS) {
        waitUntil(std::min(host::monotonicMs() + TONE_CHECK_MS, start + BEEP_GIVE_UP_MS));
    }
}

double clockSeconds() {
    return host::wallClockSeconds();
}

void seedRandom(double value) {
    // Truncates toward zero and wraps modulo 2^32; NaN and infinities seed 0.
    constexpr double WRAP = 4294967296.0;
    double wrapped = 0.0;
    if (std::isfinite(value)) {
        wrapped = std::fmod(std::trunc(value), WRAP);
        if (wrapped < 0.0) {
            wrapped += WRAP;
        }
    }
    randomState = static_cast<uint32_t>(wrapped);
    nextRandom();
}

double nextRandom() {
    randomState = randomState * 1103515245U + 12345U;
    const uint32_t value = (randomState >> 16) & 0x7FFFU;
    return static_cast<double>(value) / 32768.0;
}

void endProgram(int32_t status) {
    host::exitProcess(status);
}

const uint8_t* frame() {
    return pixels.data();
}
int32_t frameWidth() {
    return frameW;
}
int32_t frameHeight() {
    return frameH;
}
int32_t textColumns() {
    return frameW / CELL;
}
int32_t textRows() {
    return frameH / CELL;
}
TextState textState() {
    return text;
}

std::string captionFromPath(std::string_view path) {
    // Windows paths separate folders with backslashes as well.
    const size_t slash = path.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string_view::npos && dot != 0) {
        name = name.substr(0, dot);
    }
    return std::string(name);
}

}  // namespace surface
