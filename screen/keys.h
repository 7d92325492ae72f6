// The key strings the game reads: one character for a typed character, two characters
// (code 255 and a key code) for keys that type none.
#pragma once

#include <string>

#include "screen/host.h"

namespace surface {

// The key string of a host event; "" for events that are no key (buttons, wheel, motion).
// Keys without a name of their own, and characters that code page 437 cannot show, give
// the same two-character key, which matches no command.
std::string keyString(const host::Event& event);

}  // namespace surface
