#include "platform/linux/xlib_setup.h"

#include <X11/Xlib.h>

#include <mutex>

namespace platform {
namespace {

int ignore_x_error(Display*, XErrorEvent*) { return 0; }

int note_io_error(Display*) { return 0; }

}  // namespace

void prepare_xlib() {
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        XSetErrorHandler(&ignore_x_error);
        XSetIOErrorHandler(&note_io_error);
    });
}

}  // namespace platform
