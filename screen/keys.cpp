#include "screen/keys.h"

#include <cstdint>

namespace surface {
namespace {

constexpr char EXTENDED = '\xff';
// The code after EXTENDED for every key without a name of its own, and for characters that
// code page 437 cannot show: no command answers to it, yet it is queued like any key.
constexpr char UNNAMED = '\0';

// Unicode code points of the code page 437 characters 128..255.
constexpr int32_t UPPER_HALF[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 128
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 136
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 144
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 152
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // 160
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // 168
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // 176
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // 184
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // 192
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // 200
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // 208
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // 216
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // 224
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // 232
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // 240
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // 248
};

std::string oneCharacter(int32_t code) {
    return std::string(1, static_cast<char>(code));
}

std::string extended(char code) {
    return std::string{EXTENDED, code};
}

std::string textKey(int32_t codePoint) {
    if (codePoint >= 0 && codePoint < 128) {
        return oneCharacter(codePoint);
    }
    for (int32_t i = 0; i < 128; ++i) {
        if (UPPER_HALF[i] == codePoint) {
            return oneCharacter(128 + i);
        }
    }
    return extended(UNNAMED);
}

std::string namedKey(int32_t value) {
    using host::KeyName;
    const int32_t controlA = static_cast<int32_t>(KeyName::ControlA);
    if (value >= controlA && value <= controlA + 25) {
        return oneCharacter(value - controlA + 1);
    }
    switch (static_cast<KeyName>(value)) {
        case KeyName::Escape:
            return "\x1b";
        case KeyName::Enter:
            return "\r";
        case KeyName::Backspace:
            return "\b";
        case KeyName::Tab:
            return "\t";
        case KeyName::Up:
            return extended('H');
        case KeyName::Down:
            return extended('P');
        case KeyName::Left:
            return extended('K');
        case KeyName::Right:
            return extended('M');
        case KeyName::Home:
            return extended('G');
        case KeyName::End:
            return extended('O');
        case KeyName::PageUp:
            return extended('I');
        case KeyName::PageDown:
            return extended('Q');
        case KeyName::Insert:
            return extended('R');
        case KeyName::Delete:
            return extended('S');
        case KeyName::F11:
            return extended('\x85');
        case KeyName::F12:
            return extended('\x86');
        case KeyName::Unnamed:
            return extended(UNNAMED);
        default:
            break;
    }
    const int32_t f1 = static_cast<int32_t>(KeyName::F1);
    if (value >= f1 && value <= static_cast<int32_t>(KeyName::F10)) {
        return extended(static_cast<char>(';' + (value - f1)));
    }
    return "";
}

}  // namespace

std::string keyString(const host::Event& event) {
    switch (event.kind) {
        case host::EventKind::Text:
            return textKey(event.value);
        case host::EventKind::Key:
            return namedKey(event.value);
        case host::EventKind::CloseRequest:
            return extended('k');
        default:
            return "";
    }
}

}  // namespace surface
