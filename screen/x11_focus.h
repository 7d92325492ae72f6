// Where an X server sends the keyboard, beyond what SDL reports.
#pragma once

namespace x11focus {

// True while the server's input focus is PointerRoot: keys go to whichever window the
// pointer is over. SDL does not count that as its window being active.
bool keysFollowPointer(void* display);

}  // namespace x11focus
