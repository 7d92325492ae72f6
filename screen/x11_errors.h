// X protocol errors on the game's display connection.
#pragma once

namespace x11errors {

// Makes an X protocol error end the game with one line on stderr and status 1, as a lost
// connection does. Xlib's own handler prints several lines and ends through exit().
void endQuietlyOnXError();

}  // namespace x11errors
