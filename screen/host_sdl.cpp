// The host on SDL2: one window showing an 8-bit frame through the palette, input events,
// a tone, clocks and ending the process. Nothing of the game's rules lives here.
#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string_view>
#include <vector>

#include "screen/host.h"
#include "screen/host_platform.h"
#if defined(SDL_VIDEO_DRIVER_X11)
#include "screen/x11_focus.h"
#endif

namespace {

constexpr int32_t FOCUS_WAIT_MS = 2000;  // SDL applies the focus ~200 ms after mapping
constexpr int32_t FOCUS_POLL_MS = 5;
constexpr int32_t AUDIO_RATE = 48000;
constexpr int32_t FADE_MS = 5;  // ramps at both ends of a tone keep it from clicking
constexpr double TONE_AMPLITUDE = 0.25 * 32767.0;

enum class AudioState : int32_t { Untried, Ready, Unavailable };

SDL_Window* window = nullptr;
SDL_Surface* frameSurface = nullptr;  // 8-bit copy of the game's frame, with the palette
int32_t windowWidth = 0;
int32_t windowHeight = 0;

// waitEvent keeps the event it woke on here, so that pollEvent still delivers it.
SDL_Event lookahead;
bool haveLookahead = false;

// A text event may carry several code points; they are handed out one per pollEvent.
std::array<int32_t, SDL_TEXTINPUTEVENT_TEXT_SIZE> pendingText{};
int32_t pendingTextCount = 0;
int32_t pendingTextNext = 0;

// SDL's pointer state is stale after a warp until the next motion event arrives.
bool warpPending = false;
int32_t warpX = 0;
int32_t warpY = 0;

AudioState audioState = AudioState::Untried;
SDL_AudioDeviceID audioDevice = 0;
int32_t deviceBufferMs = 0;  // how long the device's own buffer plays
int64_t toneStartMs = 0;
int32_t toneMs = 0;

void discardLog(void*, int, SDL_LogPriority, const char*) {}

// Reads the window system's pending input into SDL's queue, at most once a millisecond: a
// turn polls several times in a row, and on Windows each reading costs a few calls into the
// system even when nothing has arrived.
int64_t lastPumpMs = -1;
void pumpEvents() {
    const int64_t now = host::monotonicMs();
    if (now != lastPumpMs) {
        SDL_PumpEvents();
        lastPumpMs = now;
    }
}

SDL_Rect wholeWindow() {
    return {0, 0, windowWidth, windowHeight};
}

void present(SDL_Rect rect) {
    SDL_Surface* target = SDL_GetWindowSurface(window);
    if (target == nullptr) {
        return;
    }
    SDL_Rect targetRect = rect;
    SDL_BlitSurface(frameSurface, &rect, target, &targetRect);
    SDL_UpdateWindowSurfaceRects(window, &rect, 1);
}

bool waitForKeyboardFocus() {
    const int64_t deadline = host::monotonicMs() + FOCUS_WAIT_MS;
    while (host::monotonicMs() < deadline) {
        SDL_PumpEvents();
        if (SDL_GetKeyboardFocus() == window) {
            return true;
        }
        SDL_Delay(FOCUS_POLL_MS);
    }
    return false;
}

// Splits UTF-8 text into code points; malformed bytes are dropped.
void queueText(const char* text) {
    pendingTextCount = 0;
    pendingTextNext = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (bytes[i] != 0 && pendingTextCount < static_cast<int32_t>(pendingText.size())) {
        const unsigned char lead = bytes[i];
        int32_t length = 0;
        int32_t codePoint = 0;
        if (lead < 0x80) {
            length = 1;
            codePoint = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            ++i;
            continue;
        }
        int32_t taken = 1;
        while (taken < length && (bytes[i + static_cast<size_t>(taken)] & 0xC0) == 0x80) {
            codePoint = (codePoint << 6) | (bytes[i + static_cast<size_t>(taken)] & 0x3F);
            ++taken;
        }
        i += static_cast<size_t>(taken);
        if (taken == length) {
            pendingText[static_cast<size_t>(pendingTextCount++)] = codePoint;
        }
    }
}

bool takePendingText(host::Event& event) {
    if (pendingTextNext >= pendingTextCount) {
        return false;
    }
    event = {host::EventKind::Text, pendingText[static_cast<size_t>(pendingTextNext++)]};
    return true;
}

// With the X focus on PointerRoot, as when a window manager ends or is replaced, keys go to
// the window under the pointer: the game's window is then the active one, though SDL says
// otherwise. Asked only while SDL says so, which costs nothing in play.
bool keysFollowPointer() {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11) {
        return x11focus::keysFollowPointer(info.info.x11.display);
    }
#endif
    return false;
}

// XWayland does not move the pointer the player sees on a warp, yet reports the warp's
// target as the pointer's position, with a motion event to it, until the compositor next
// sends real motion. A warp there would have the game act on a pointer that is not where
// the player sees it, so none is made. XWayland names each output it offers "XWAYLAND<n>",
// and SDL names each display after its output.
bool warpsIgnored() {
    const char* name = SDL_GetDisplayName(std::max(SDL_GetWindowDisplayIndex(window), 0));
    return name != nullptr && std::string_view(name).starts_with("XWAYLAND");
}

int32_t buttonBit(Uint8 button) {
    switch (button) {
        case SDL_BUTTON_LEFT:
            return 1;
        case SDL_BUTTON_RIGHT:
            return 2;
        case SDL_BUTTON_MIDDLE:
            return 4;
        default:
            return 0;
    }
}

// Keys with a name of their own that type no character; printable keys arrive as text
// events instead. Returns false for keys that are not named here.
bool keyName(const SDL_Keysym& keysym, host::KeyName& name) {
    const SDL_Keycode sym = keysym.sym;
    if ((keysym.mod & KMOD_CTRL) != 0 && sym >= SDLK_a && sym <= SDLK_z) {
        name = static_cast<host::KeyName>(static_cast<int32_t>(host::KeyName::ControlA) +
                                          (sym - SDLK_a));
        return true;
    }
    if (sym >= SDLK_F1 && sym <= SDLK_F12) {
        name =
            static_cast<host::KeyName>(static_cast<int32_t>(host::KeyName::F1) + (sym - SDLK_F1));
        return true;
    }
    switch (sym) {
        case SDLK_ESCAPE:
            name = host::KeyName::Escape;
            return true;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            name = host::KeyName::Enter;
            return true;
        case SDLK_BACKSPACE:
            name = host::KeyName::Backspace;
            return true;
        case SDLK_TAB:
            name = host::KeyName::Tab;
            return true;
        case SDLK_UP:
            name = host::KeyName::Up;
            return true;
        case SDLK_DOWN:
            name = host::KeyName::Down;
            return true;
        case SDLK_LEFT:
            name = host::KeyName::Left;
            return true;
        case SDLK_RIGHT:
            name = host::KeyName::Right;
            return true;
        case SDLK_HOME:
            name = host::KeyName::Home;
            return true;
        case SDLK_END:
            name = host::KeyName::End;
            return true;
        case SDLK_PAGEUP:
            name = host::KeyName::PageUp;
            return true;
        case SDLK_PAGEDOWN:
            name = host::KeyName::PageDown;
            return true;
        case SDLK_INSERT:
            name = host::KeyName::Insert;
            return true;
        case SDLK_DELETE:
            name = host::KeyName::Delete;
            return true;
        default:
            return false;
    }
}

// Keys that change what others type and type nothing themselves.
bool isModifier(SDL_Keycode sym) {
    switch (sym) {
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
        case SDLK_LCTRL:
        case SDLK_RCTRL:
        case SDLK_LALT:
        case SDLK_RALT:
        case SDLK_LGUI:
        case SDLK_RGUI:
        case SDLK_MODE:
        case SDLK_CAPSLOCK:
        case SDLK_NUMLOCKCLEAR:
        case SDLK_SCROLLLOCK:
            return true;
        default:
            return false;
    }
}

// SDL queues a key press's text right after the press itself, so the text a press typed,
// if any, is the next event in the queue.
bool textFollows(SDL_Event& text) {
    return SDL_PeepEvents(&text, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
           text.type == SDL_TEXTINPUT;
}

// A key press that has no name of its own: an unnamed key when it typed nothing, none when
// it typed text (the text event is the key). Alt with a letter or the space bar types
// nothing, though X reports the plain letter or space as its text: that text is dropped.
// AltGr, which X may also report as Alt, types other characters, and those stay.
bool unnamedKey(const SDL_Keysym& keysym, host::Event& event) {
    const SDL_Keycode sym = keysym.sym;
    if (isModifier(sym)) {
        return false;
    }
    SDL_Event text;
    if (textFollows(text)) {
        const bool altChord =
            (keysym.mod & KMOD_ALT) != 0 && ((sym >= SDLK_a && sym <= SDLK_z) || sym == SDLK_SPACE);
        const char* typed = text.text.text;
        const bool plain = typed[0] != 0 && typed[1] == 0 &&
                           (typed[0] == static_cast<char>(sym) ||
                            (sym != SDLK_SPACE && typed[0] == static_cast<char>(sym - 32)));
        if (!altChord || !plain) {
            return false;
        }
        SDL_PeepEvents(&text, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT);
    }
    event = {host::EventKind::Key, static_cast<int32_t>(host::KeyName::Unnamed)};
    return true;
}

// Maps one SDL event; false for events the game never hears of.
bool translate(const SDL_Event& sdlEvent, host::Event& event) {
    switch (sdlEvent.type) {
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            const int32_t bit = buttonBit(sdlEvent.button.button);
            if (bit == 0) {
                event = {host::EventKind::Other, 0};
            } else {
                event = {sdlEvent.type == SDL_MOUSEBUTTONDOWN ? host::EventKind::ButtonDown
                                                              : host::EventKind::ButtonUp,
                         bit};
            }
            return true;
        }
        case SDL_MOUSEWHEEL: {
            int32_t notches = sdlEvent.wheel.y;
            if (sdlEvent.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) {
                notches = -notches;
            }
            event = {notches == 0 ? host::EventKind::Other : host::EventKind::Wheel, notches};
            return true;
        }
        case SDL_MOUSEMOTION:
            warpPending = false;
            event = {host::EventKind::Other, 0};
            return true;
        case SDL_TEXTINPUT:
            queueText(sdlEvent.text.text);
            return takePendingText(event);
        case SDL_KEYDOWN: {
            const SDL_Keysym& keysym = sdlEvent.key.keysym;
            if ((keysym.mod & KMOD_ALT) != 0 && keysym.sym == SDLK_F4) {
                event = {host::EventKind::CloseRequest, 0};
                return true;
            }
            host::KeyName name{};
            if (!keyName(keysym, name)) {
                return unnamedKey(keysym, event);
            }
            event = {host::EventKind::Key, static_cast<int32_t>(name)};
            return true;
        }
        case SDL_WINDOWEVENT:
            switch (sdlEvent.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    event = {host::EventKind::CloseRequest, 0};
                    return true;
                case SDL_WINDOWEVENT_EXPOSED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    // The window surface may have been replaced: fetch it anew and repaint.
                    present(wholeWindow());
                    break;
                default:
                    break;
            }
            event = {host::EventKind::Other, 0};
            return true;
        case SDL_QUIT:
            return false;
        default:
            event = {host::EventKind::Other, 0};
            return true;
    }
}

}  // namespace

namespace host {

bool openWindow(const std::string& caption, int32_t width, int32_t height,
                const uint8_t (*palette)[3], std::string& error) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // The press that activates the window is not the game's: while another application is
    // active the pointer reads as outside, and a button already down when the window
    // becomes active counts only after a new press. SDL on Windows drops that press with
    // this hint off; on X11 the window reads as inactive until after it, with the same end.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "0");
    // Windows turns Alt+F4 into a close request as well as a key: take only the key, so
    // that one press queues one close key, as on X11.
    SDL_SetHint(SDL_HINT_WINDOWS_NO_CLOSE_ON_ALT_F4, "1");
    // One frame pixel is one screen pixel, as on X11: Windows would otherwise stretch the
    // window's bitmap on a scaled display.
    SDL_SetHint(SDL_HINT_WINDOWS_DPI_AWARENESS, "permonitorv2");
    if (platform::videoDriver() != nullptr) {
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, platform::videoDriver(), SDL_HINT_OVERRIDE);
    }
    SDL_LogSetOutputFunction(discardLog, nullptr);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        error = platform::videoUnavailable();
        return false;
    }
    platform::watchDisplay();
    window = SDL_CreateWindow(caption.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                              width, height, SDL_WINDOW_SHOWN);
    if (window == nullptr) {
        error = SDL_GetError();
        return false;
    }
    frameSurface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 8, SDL_PIXELFORMAT_INDEX8);
    if (frameSurface == nullptr) {
        error = SDL_GetError();
        return false;
    }
    std::array<SDL_Color, 256> colours{};
    for (size_t i = 0; i < colours.size(); ++i) {
        colours[i] = {palette[i][0], palette[i][1], palette[i][2], 255};
    }
    if (SDL_SetPaletteColors(frameSurface->format->palette, colours.data(), 0, 256) != 0 ||
        SDL_SetSurfaceBlendMode(frameSurface, SDL_BLENDMODE_NONE) != 0) {
        error = SDL_GetError();
        return false;
    }
    SDL_FillRect(frameSurface, nullptr, 0);
    windowWidth = width;
    windowHeight = height;
    if (SDL_GetWindowSurface(window) == nullptr) {
        error = SDL_GetError();
        return false;
    }
    present(wholeWindow());
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);
    waitForKeyboardFocus();
    return true;
}

void showFrame(const uint8_t* pixels, int32_t width, int32_t height, int32_t x1, int32_t y1,
               int32_t x2, int32_t y2) {
    if (window == nullptr || width != windowWidth || height != windowHeight) {
        return;
    }
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, width - 1);
    y2 = std::min(y2, height - 1);
    if (x1 > x2 || y1 > y2) {
        return;
    }
    auto* target = static_cast<uint8_t*>(frameSurface->pixels);
    const auto rowBytes = static_cast<size_t>(x2 - x1 + 1);
    for (int32_t y = y1; y <= y2; ++y) {
        const uint8_t* from =
            pixels + static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x1);
        uint8_t* to = target + static_cast<size_t>(y) * static_cast<size_t>(frameSurface->pitch) +
                      static_cast<size_t>(x1);
        std::copy(from, from + rowBytes, to);
    }
    present({x1, y1, x2 - x1 + 1, y2 - y1 + 1});
}

bool pollEvent(Event& event) {
    if (takePendingText(event)) {
        return true;
    }
    SDL_Event sdlEvent;
    for (;;) {
        if (haveLookahead) {
            sdlEvent = lookahead;
            haveLookahead = false;
        } else {
            pumpEvents();
            if (SDL_PeepEvents(&sdlEvent, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) != 1) {
                return false;
            }
        }
        if (translate(sdlEvent, event)) {
            return true;
        }
    }
}

void waitEvent(int32_t ms) {
    if (haveLookahead || pendingTextNext < pendingTextCount) {
        return;
    }
    if (SDL_WaitEventTimeout(&lookahead, std::max(ms, 0)) != 0) {
        haveLookahead = true;
    }
}

PointerPlace pointerPlace(int32_t& x, int32_t& y) {
    if (window == nullptr) {
        return PointerPlace::Outside;
    }
    int32_t atX = 0;
    int32_t atY = 0;
    if (warpPending) {
        atX = warpX;
        atY = warpY;
    } else {
        if (SDL_GetMouseFocus() != window) {
            return PointerPlace::Outside;
        }
        SDL_GetMouseState(&atX, &atY);
    }
    if (atX < 0 || atY < 0 || atX >= windowWidth || atY >= windowHeight) {
        return PointerPlace::Outside;
    }
    if ((SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS) == 0 && !keysFollowPointer()) {
        return PointerPlace::Inactive;
    }
    x = atX;
    y = atY;
    return PointerPlace::Inside;
}

void warpPointer(int32_t x, int32_t y) {
    if (window == nullptr || warpsIgnored()) {
        return;
    }
    // Motion already reported by the server predates the warp: drop it, so the first
    // motion event after this is the warp's own or a later real one.
    SDL_PumpEvents();
    SDL_FlushEvent(SDL_MOUSEMOTION);
    if (haveLookahead && lookahead.type == SDL_MOUSEMOTION) {
        haveLookahead = false;
    }
    SDL_WarpMouseInWindow(window, x, y);
    warpPending = true;
    warpX = x;
    warpY = y;
}

// The device is open only while a tone plays: an open device keeps SDL's audio thread
// running, which an idle game must not pay for.
bool openAudioDevice() {
    if (audioState == AudioState::Untried) {
        platform::quietAudioLibraries();
        audioState =
            SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 ? AudioState::Ready : AudioState::Unavailable;
    }
    if (audioState != AudioState::Ready) {
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = AUDIO_RATE;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 1;
    wanted.samples = 1024;
    SDL_AudioSpec obtained{};
    audioDevice = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (audioDevice == 0) {
        // No device now means none later either: stop trying, and stay quiet.
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioState = AudioState::Unavailable;
        return false;
    }
    deviceBufferMs = obtained.freq > 0 ? obtained.samples * 1000 / obtained.freq : 0;
    return true;
}

void closeAudioDevice() {
    if (audioDevice != 0) {
        SDL_CloseAudioDevice(audioDevice);
        audioDevice = 0;
    }
}

bool startTone(int32_t hertz, int32_t ms) {
    toneStartMs = monotonicMs();
    toneMs = ms;
    closeAudioDevice();
    if (!openAudioDevice()) {
        return false;
    }
    const int64_t count = static_cast<int64_t>(AUDIO_RATE) * std::max(ms, 0) / 1000;
    const int64_t fade = std::min<int64_t>(AUDIO_RATE * FADE_MS / 1000, count / 2);
    std::vector<int16_t> samples(static_cast<size_t>(count));
    const double step = 2.0 * std::numbers::pi * static_cast<double>(hertz) / AUDIO_RATE;
    for (int64_t i = 0; i < count; ++i) {
        double gain = 1.0;
        const int64_t fromEdge = std::min(i, count - 1 - i);
        if (fromEdge < fade) {
            gain = static_cast<double>(fromEdge) / static_cast<double>(fade);
        }
        samples[static_cast<size_t>(i)] = static_cast<int16_t>(
            std::lround(TONE_AMPLITUDE * gain * std::sin(step * static_cast<double>(i))));
    }
    SDL_QueueAudio(audioDevice, samples.data(),
                   static_cast<Uint32>(samples.size() * sizeof(int16_t)));
    SDL_PauseAudioDevice(audioDevice, 0);
    return true;
}

// The tone has ended once its samples have left the queue and the device's own buffer has
// had time to play them; then the device is closed again.
bool toneFinished() {
    if (audioDevice == 0) {
        return true;
    }
    if (SDL_GetQueuedAudioSize(audioDevice) != 0 ||
        monotonicMs() - toneStartMs < toneMs + deviceBufferMs) {
        return false;
    }
    closeAudioDevice();
    return true;
}

double wallClockSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int64_t monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string programPath() {
    return platform::programPath();
}

// Leaves the window and SDL as they are: tearing them down right after a wait can fail
// with an X error, and the process's end releases everything anyway.
void exitProcess(int32_t status) {
    std::fflush(stdout);
    std::fflush(stderr);
    platform::endProcess(status);
}

}  // namespace host
