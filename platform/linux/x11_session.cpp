// Xlib lives only in this file: its macros (Status, Bool, None) break Qt.
#include "platform/x11_session.h"

#include "platform/linux/xlib_setup.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace platform {
namespace {

// Xlib ends the process when the server connection breaks unless an exit
// handler returns; this one only marks the connection dead for reconnection.
void mark_connection_lost(Display*, void* user_data) {
    static_cast<std::atomic<bool>*>(user_data)->store(true);
}

class xlib_session final : public x11_session {
public:
    ~xlib_session() override {
        std::lock_guard<std::mutex> lock(mutex_);
        close_locked();
    }

    std::optional<double> idle_seconds() override {
        std::lock_guard<std::mutex> lock(mutex_);
        Display* display = connected_locked();
        if (!display || !has_screen_saver_) return std::nullopt;
        std::unique_ptr<XScreenSaverInfo, int (*)(void*)> info(XScreenSaverAllocInfo(), &XFree);
        if (!info || !XScreenSaverQueryInfo(display, DefaultRootWindow(display), info.get())) {
            return std::nullopt;
        }
        return static_cast<double>(info->idle) / 1000.0;
    }

    display_power display_state() override {
        std::lock_guard<std::mutex> lock(mutex_);
        Display* display = connected_locked();
        if (!display) return display_power::unknown;
        if (has_dpms_ && DPMSCapable(display)) {
            CARD16 level = 0;
            BOOL enabled = False;
            if (DPMSInfo(display, &level, &enabled) && enabled) {
                return level == DPMSModeOn ? display_power::on : display_power::off;
            }
        }
        if (!has_screen_saver_) return display_power::unknown;
        std::unique_ptr<XScreenSaverInfo, int (*)(void*)> info(XScreenSaverAllocInfo(), &XFree);
        if (!info || !XScreenSaverQueryInfo(display, DefaultRootWindow(display), info.get())) {
            return display_power::unknown;
        }
        return info->state == ScreenSaverOn ? display_power::off : display_power::on;
    }

private:
    Display* connected_locked() {
        if (display_ && lost_.load()) close_locked();
        if (!display_) open_locked();
        return display_;
    }

    void open_locked() {
        prepare_xlib();
        display_ = XOpenDisplay(nullptr);
        if (!display_) return;
        lost_.store(false);
        XSetIOErrorExitHandler(display_, &mark_connection_lost, &lost_);
        int event_base = 0;
        int error_base = 0;
        has_screen_saver_ = XScreenSaverQueryExtension(display_, &event_base, &error_base);
        has_dpms_ = DPMSQueryExtension(display_, &event_base, &error_base);
    }

    void close_locked() {
        if (!display_) return;
        // A dead connection cannot be closed cleanly; its memory is left behind.
        if (!lost_.load()) XCloseDisplay(display_);
        display_ = nullptr;
    }

    std::mutex mutex_;
    Display* display_ = nullptr;
    std::atomic<bool> lost_{false};
    bool has_screen_saver_ = false;
    bool has_dpms_ = false;
};

}  // namespace

std::shared_ptr<x11_session> open_x11_session() { return std::make_shared<xlib_session>(); }

}  // namespace platform
