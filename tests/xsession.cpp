#include "tests/xsession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

constexpr int32_t SERVER_START_MS = 10000;
constexpr int32_t SERVER_STOP_MS = 2000;
constexpr int32_t POLL_MS = 5;
constexpr int32_t BUTTON_HOLD_MS = 60;
constexpr int32_t KEY_HOLD_MS = 20;

pid_t serverPid = -1;
Display* display = nullptr;
std::string displayName;
pid_t gamePid = -1;
bool gameEnded = false;
int32_t gameStatus = -1;
Window gameWindow = 0;
Window otherWindow = 0;  // the test's own window, for moving the focus away
std::string stdoutPath;
std::string stderrPath;
// Set by startGameWithEnvironment; placed first, so they win over inherited variables.
std::vector<std::string> extraEnvironment;

void sleepMs(int32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A window may vanish between finding it and asking about it; such errors must not end
// the test process, which is Xlib's default.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

int32_t statusFromWait(int raw) {
    if (WIFEXITED(raw)) {
        return WEXITSTATUS(raw);
    }
    if (WIFSIGNALED(raw)) {
        return 128 + WTERMSIG(raw);
    }
    return -1;
}

// Kills the child and reaps it; returns its status.
int32_t killAndReap(pid_t pid, int signal, int32_t graceMs) {
    kill(pid, signal);
    const int64_t deadline = nowMs() + graceMs;
    int raw = 0;
    while (waitpid(pid, &raw, WNOHANG) == 0) {
        if (nowMs() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &raw, 0);
            break;
        }
        sleepMs(POLL_MS);
    }
    return statusFromWait(raw);
}

std::string temporaryFile(const char* stem) {
    const char* directory = std::getenv("TMPDIR");
    std::string path =
        std::string(directory != nullptr ? directory : "/tmp") + "/" + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        return "";
    }
    close(fd);
    return path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool readProperty(Window window, Atom property, Atom type, std::vector<unsigned char>& value,
                  int& format) {
    Atom actualType = None;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 1024, False, type, &actualType, &format,
                           &count, &remaining, &data) != Success ||
        data == nullptr) {
        return false;
    }
    const size_t unit = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
    value.assign(data, data + count * unit);
    XFree(data);
    return actualType != None;
}

std::string fetchName(Window window) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) == 0 || name == nullptr) {
        return "";
    }
    std::string text = name;
    XFree(name);
    return text;
}

bool isGameWindow(Window window) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0 ||
        attributes.map_state != IsViewable) {
        return false;
    }
    std::vector<unsigned char> value;
    int format = 0;
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    if (readProperty(window, pidAtom, XA_CARDINAL, value, format) && format == 32 &&
        !value.empty()) {
        long pid = 0;
        std::memcpy(&pid, value.data(), sizeof pid);
        if (pid == gamePid) {
            return true;
        }
    }
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    if (readProperty(window, netName, utf8, value, format) &&
        std::string(value.begin(), value.end()) == "corvane") {
        return true;
    }
    return fetchName(window) == "corvane";
}

Window searchTree(Window top) {
    if (isGameWindow(top)) {
        return top;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, top, &root, &parent, &children, &count) == 0) {
        return 0;
    }
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        found = searchTree(children[i]);
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

int shiftOf(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

void removeCaptures() {
    for (std::string* path : {&stdoutPath, &stderrPath}) {
        if (!path->empty()) {
            unlink(path->c_str());
            path->clear();
        }
    }
}

bool spawnGame(const char* displayValue, std::string& error) {
    if (gamePid > 0 && !gameEnded) {
        killAndReap(gamePid, SIGKILL, SERVER_STOP_MS);
    }
    removeCaptures();
    stdoutPath = temporaryFile("corvane-stdout");
    stderrPath = temporaryFile("corvane-stderr");
    if (stdoutPath.empty() || stderrPath.empty()) {
        error = "cannot create capture files";
        return false;
    }
    // Everything the child needs is prepared before fork: the test process has threads.
    std::vector<std::string> environment = extraEnvironment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "DISPLAY=", 8) != 0) {
            environment.emplace_back(*entry);
        }
    }
    if (displayValue != nullptr) {
        environment.push_back(std::string("DISPLAY=") + displayValue);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string binary = CORVANE_BINARY;
    char* argv[] = {binary.data(), nullptr};
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int output = open(stdoutPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const int errors = open(stderrPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    gamePid = fork();
    if (gamePid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(input, 0);
        dup2(output, 1);
        dup2(errors, 2);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(input);
    close(output);
    close(errors);
    gameEnded = false;
    gameStatus = -1;
    gameWindow = 0;
    if (gamePid < 0) {
        error = "fork failed";
        return false;
    }
    return true;
}

}  // namespace

namespace xsession {

Rgb pixel(const Image& image, int32_t x, int32_t y) {
    const size_t at =
        3 * (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x));
    return {image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
}

bool startServer(std::string& error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = "pipe failed";
        return false;
    }
    std::string fdText = std::to_string(fds[1]);
    std::vector<std::string> args = {"Xvfb", "-displayfd",  fdText,      "-screen",
                                     "0",    "1024x768x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    serverPid = fork();
    if (serverPid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        fcntl(fds[1], F_SETFD, 0);
        dup2(quiet, 1);
        dup2(quiet, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(quiet);
    close(fds[1]);
    // Xvfb writes the display number it took once it accepts connections.
    std::string number;
    const int64_t deadline = nowMs() + SERVER_START_MS;
    while (number.find('\n') == std::string::npos && nowMs() < deadline) {
        pollfd ready = {fds[0], POLLIN, 0};
        if (poll(&ready, 1, POLL_MS * 10) > 0) {
            char buffer[16];
            const ssize_t got = read(fds[0], buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            number.append(buffer, static_cast<size_t>(got));
        }
    }
    close(fds[0]);
    if (serverPid < 0 || number.find('\n') == std::string::npos) {
        error = "Xvfb did not start";
        return false;
    }
    number.resize(number.find('\n'));
    number.insert(number.begin(), ':');  // g++ 12 warns falsely on ":" + string
    displayName = std::move(number);
    display = XOpenDisplay(displayName.c_str());
    if (display == nullptr) {
        error = "cannot open " + displayName;
        return false;
    }
    XSetErrorHandler(ignoreXError);
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        error = "no XTest on " + displayName;
        return false;
    }
    return true;
}

bool startGame(std::string& error) {
    if (display == nullptr) {
        error = "no server";
        return false;
    }
    return spawnGame(displayName.c_str(), error);
}

bool startGameWithDisplay(const char* displayValue, std::string& error) {
    return spawnGame(displayValue, error);
}

bool startGameWithEnvironment(const std::vector<std::string>& extra, std::string& error) {
    extraEnvironment = extra;
    const bool started = startGame(error);
    extraEnvironment.clear();
    return started;
}

void stop() {
    if (gamePid > 0 && !gameEnded) {
        killAndReap(gamePid, SIGKILL, SERVER_STOP_MS);
    }
    gamePid = -1;
    gameEnded = false;
    gameWindow = 0;
    killServer();
    removeCaptures();
}

void killServer() {
    otherWindow = 0;  // goes with the connection
    if (display != nullptr) {
        XCloseDisplay(display);
        display = nullptr;
    }
    if (serverPid > 0) {
        killAndReap(serverPid, SIGTERM, SERVER_STOP_MS);
        serverPid = -1;
    }
}

bool findWindow(int32_t timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        gameWindow = searchTree(DefaultRootWindow(display));
        if (gameWindow != 0) {
            return true;
        }
        if (nowMs() >= deadline || !running()) {
            return false;
        }
        sleepMs(POLL_MS);
    }
}

std::string windowName() {
    return gameWindow == 0 ? "" : fetchName(gameWindow);
}

void clientSize(int32_t& width, int32_t& height) {
    XWindowAttributes attributes;
    width = 0;
    height = 0;
    if (XGetWindowAttributes(display, gameWindow, &attributes) != 0) {
        width = attributes.width;
        height = attributes.height;
    }
}

void clientOrigin(int32_t& x, int32_t& y) {
    Window child = 0;
    x = 0;
    y = 0;
    XTranslateCoordinates(display, gameWindow, DefaultRootWindow(display), 0, 0, &x, &y, &child);
}

Image grab() {
    Image image;
    int32_t width = 0;
    int32_t height = 0;
    clientSize(width, height);
    if (width == 0 || height == 0) {
        return image;
    }
    XImage* shot = XGetImage(display, gameWindow, 0, 0, static_cast<unsigned int>(width),
                             static_cast<unsigned int>(height), AllPlanes, ZPixmap);
    if (shot == nullptr) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.rgb.resize(3 * static_cast<size_t>(width) * static_cast<size_t>(height));
    const int redShift = shiftOf(shot->red_mask);
    const int greenShift = shiftOf(shot->green_mask);
    const int blueShift = shiftOf(shot->blue_mask);
    size_t at = 0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const unsigned long value = XGetPixel(shot, x, y);
            image.rgb[at++] = static_cast<uint8_t>((value & shot->red_mask) >> redShift);
            image.rgb[at++] = static_cast<uint8_t>((value & shot->green_mask) >> greenShift);
            image.rgb[at++] = static_cast<uint8_t>((value & shot->blue_mask) >> blueShift);
        }
    }
    XDestroyImage(shot);
    return image;
}

bool waitForImage(const std::function<bool(const Image&)>& holds, int32_t timeoutMs, Image& last) {
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        last = grab();
        if (!last.rgb.empty() && holds(last)) {
            return true;
        }
        if (nowMs() >= deadline) {
            return false;
        }
        sleepMs(POLL_MS);
    }
}

void movePointer(int32_t x, int32_t y) {
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, gameWindow, DefaultRootWindow(display), x, y, &rootX, &rootY,
                          &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    XSync(display, False);
}

void click(uint32_t button) {
    XTestFakeButtonEvent(display, button, True, CurrentTime);
    XSync(display, False);
    sleepMs(BUTTON_HOLD_MS);
    XTestFakeButtonEvent(display, button, False, CurrentTime);
    XSync(display, False);
}

void tapKey(const char* keysymName) {
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysymName));
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XSync(display, False);
    sleepMs(KEY_HOLD_MS);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
}

void requestClose() {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = gameWindow;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, gameWindow, False, NoEventMask, &event);
    XSync(display, False);
}

void pressButton(uint32_t button) {
    XTestFakeButtonEvent(display, button, True, CurrentTime);
    XSync(display, False);
}

void releaseButton(uint32_t button) {
    XTestFakeButtonEvent(display, button, False, CurrentTime);
    XSync(display, False);
}

void pressKey(const char* keysymName) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, XStringToKeysym(keysymName)), True,
                      CurrentTime);
    XSync(display, False);
}

void releaseKey(const char* keysymName) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, XStringToKeysym(keysymName)), False,
                      CurrentTime);
    XSync(display, False);
}

bool openOtherWindow() {
    if (otherWindow != 0) {
        return true;
    }
    otherWindow = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 100, 60, 0, 0,
                                      WhitePixel(display, DefaultScreen(display)));
    if (otherWindow == 0) {
        return false;
    }
    XSelectInput(display, otherWindow, StructureNotifyMask);
    XMapWindow(display, otherWindow);
    XEvent event;
    do {
        XNextEvent(display, &event);
    } while (event.type != MapNotify);
    return true;
}

void focusOtherWindow() {
    XSetInputFocus(display, otherWindow, RevertToParent, CurrentTime);
    XSync(display, False);
}

void focusGame() {
    XSetInputFocus(display, gameWindow, RevertToParent, CurrentTime);
    XSync(display, False);
}

bool signalGame(int signal) {
    return gamePid > 0 && !gameEnded && kill(gamePid, signal) == 0;
}

bool pointerPosition(int32_t& x, int32_t& y) {
    Window root = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display, gameWindow, &root, &child, &rootX, &rootY, &windowX, &windowY,
                       &mask)) {
        return false;
    }
    x = windowX;
    y = windowY;
    return true;
}

bool running() {
    if (gamePid <= 0 || gameEnded) {
        return false;
    }
    int raw = 0;
    if (waitpid(gamePid, &raw, WNOHANG) == gamePid) {
        gameEnded = true;
        gameStatus = statusFromWait(raw);
        return false;
    }
    return true;
}

bool waitExit(int32_t timeoutMs, int32_t& status) {
    const int64_t deadline = nowMs() + timeoutMs;
    while (running()) {
        if (nowMs() >= deadline) {
            gameStatus = killAndReap(gamePid, SIGKILL, SERVER_STOP_MS);
            gameEnded = true;
            status = gameStatus;
            return false;
        }
        sleepMs(POLL_MS);
    }
    status = gameStatus;
    return gameEnded;
}

std::string capturedStdout() {
    return readFile(stdoutPath);
}
std::string capturedStderr() {
    return readFile(stderrPath);
}

namespace {

uint32_t crc32(const std::vector<uint8_t>& bytes, size_t from) {
    uint32_t crc = 0xFFFFFFFFU;
    for (size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int32_t bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ ((crc & 1U) != 0 ? 0xEDB88320U : 0U);
        }
    }
    return ~crc;
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int32_t shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    putBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32(out, typeAt));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<uint8_t> storedZlib(const std::vector<uint8_t>& raw) {
    constexpr size_t BLOCK = 65535;
    std::vector<uint8_t> out = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t length = std::min(BLOCK, raw.size() - at);
        const bool last = at + length == raw.size();
        out.push_back(static_cast<uint8_t>(last ? 1 : 0));
        out.push_back(static_cast<uint8_t>(length));
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(~length));
        out.push_back(static_cast<uint8_t>(~length >> 8));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < raw.size());
    uint32_t low = 1;
    uint32_t high = 0;
    for (const uint8_t byte : raw) {
        low = (low + byte) % 65521U;
        high = (high + low) % 65521U;
    }
    putBigEndian(out, (high << 16) | low);
    return out;
}

}  // namespace

bool savePng(const Image& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0) {
        return false;
    }
    const auto width = static_cast<size_t>(image.width);
    const auto height = static_cast<size_t>(image.height);
    // Colours in order of first appearance; an index per pixel while there are few enough.
    std::vector<uint32_t> colours;
    std::vector<uint8_t> indices(width * height);
    for (size_t i = 0; i < width * height && colours.size() <= 256; ++i) {
        const uint32_t rgb = static_cast<uint32_t>(image.rgb[3 * i]) << 16 |
                             static_cast<uint32_t>(image.rgb[3 * i + 1]) << 8 |
                             image.rgb[3 * i + 2];
        const auto found = std::find(colours.begin(), colours.end(), rgb);
        indices[i] = static_cast<uint8_t>(found - colours.begin());
        if (found == colours.end()) {
            colours.push_back(rgb);
        }
    }
    const bool indexed = colours.size() <= 256;
    const size_t bytesPerPixel = indexed ? 1 : 3;
    std::vector<uint8_t> raw;
    raw.reserve(height * (1 + width * bytesPerPixel));
    for (size_t y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        if (indexed) {
            raw.insert(raw.end(), indices.begin() + static_cast<std::ptrdiff_t>(y * width),
                       indices.begin() + static_cast<std::ptrdiff_t>((y + 1) * width));
        } else {
            raw.insert(raw.end(), image.rgb.begin() + static_cast<std::ptrdiff_t>(3 * y * width),
                       image.rgb.begin() + static_cast<std::ptrdiff_t>(3 * (y + 1) * width));
        }
    }
    std::vector<uint8_t> header;
    putBigEndian(header, static_cast<uint32_t>(width));
    putBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, static_cast<uint8_t>(indexed ? 3 : 2), 0, 0, 0});
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putChunk(png, "IHDR", header);
    if (indexed) {
        std::vector<uint8_t> palette;
        for (const uint32_t rgb : colours) {
            palette.insert(palette.end(),
                           {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                            static_cast<uint8_t>(rgb)});
        }
        putChunk(png, "PLTE", palette);
    }
    putChunk(png, "IDAT", storedZlib(raw));
    putChunk(png, "IEND", {});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out);
}

}  // namespace xsession
