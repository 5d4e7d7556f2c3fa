#pragma once
// Process-wide Xlib settings every X11 connection of the agent relies on,
// made once before the first connection opens:
// - thread support, since several threads keep connections of their own;
// - protocol errors (a window that vanished between two requests) answer
//   "none" to the request instead of ending the process;
// - an IO error (the server went away) no longer calls exit() from Xlib's
//   default handler: each connection's own exit handler decides.

namespace platform {

void prepare_xlib();

}  // namespace platform
