// xcb lives in this folder only; nothing here is seen by the toolkit's code.
#include "platform/x11_session.h"

#include "platform/linux/xcb_link.h"

#include <xcb/dpms.h>
#include <xcb/screensaver.h>

#include <memory>
#include <mutex>

namespace platform {
namespace {

class xcb_session final : public x11_session {
public:
    std::optional<double> idle_seconds() override { return query(true, false).idle_seconds; }
    display_power display_state() override { return query(false, true).display; }
    x11_sample sample() override { return query(true, true); }

private:
    // The wanted facts from requests sent together and answered after one
    // wait.
    x11_sample query(bool want_idle, bool want_display) {
        std::lock_guard<std::mutex> lock(mutex_);
        x11_sample result;
        if (!connected_locked()) return result;
        xcb_connection_t* c = link_->get();
        const bool ask_saver = has_screen_saver_;
        const bool ask_dpms = want_display && has_dpms_;
        if (!ask_saver && !ask_dpms) return result;
        xcb_screensaver_query_info_cookie_t saver_cookie{};
        xcb_dpms_capable_cookie_t capable_cookie{};
        xcb_dpms_info_cookie_t dpms_cookie{};
        if (ask_saver) saver_cookie = xcb_screensaver_query_info(c, link_->root());
        if (ask_dpms) {
            capable_cookie = xcb_dpms_capable(c);
            dpms_cookie = xcb_dpms_info(c);
        }
        link_->begin_wait();
        xcb::owned<xcb_screensaver_query_info_reply_t> saver;
        xcb::owned<xcb_dpms_capable_reply_t> capable;
        xcb::owned<xcb_dpms_info_reply_t> dpms;
        if (ask_saver) saver.reset(xcb_screensaver_query_info_reply(c, saver_cookie, nullptr));
        if (ask_dpms) {
            capable.reset(xcb_dpms_capable_reply(c, capable_cookie, nullptr));
            dpms.reset(xcb_dpms_info_reply(c, dpms_cookie, nullptr));
        }
        if (!link_->usable()) {
            link_.reset();  // reconnects at the next question
            return result;
        }
        if (want_idle && saver) result.idle_seconds = static_cast<double>(saver->ms_since_user_input) / 1000.0;
        if (!want_display) return result;
        if (capable && capable->capable && dpms && dpms->state) {
            result.display = dpms->power_level == XCB_DPMS_DPMS_MODE_ON ? display_power::on : display_power::off;
        } else if (saver) {
            result.display = saver->state == XCB_SCREENSAVER_STATE_ON ? display_power::off : display_power::on;
        }
        return result;
    }

    bool connected_locked() {
        if (link_ && !link_->usable()) link_.reset();
        if (link_) return true;
        auto opened = std::make_unique<xcb::link>(std::string());
        if (!opened->usable()) return false;
        xcb_connection_t* c = opened->get();
        xcb_prefetch_extension_data(c, &xcb_screensaver_id);
        xcb_prefetch_extension_data(c, &xcb_dpms_id);
        opened->begin_wait();
        const xcb_query_extension_reply_t* saver = xcb_get_extension_data(c, &xcb_screensaver_id);
        const xcb_query_extension_reply_t* dpms = xcb_get_extension_data(c, &xcb_dpms_id);
        has_screen_saver_ = saver && saver->present;
        has_dpms_ = dpms && dpms->present;
        if (!opened->usable()) return false;
        link_ = std::move(opened);
        return true;
    }

    std::mutex mutex_;
    std::unique_ptr<xcb::link> link_;
    bool has_screen_saver_ = false;
    bool has_dpms_ = false;
};

}  // namespace

std::shared_ptr<x11_session> open_x11_session() { return std::make_shared<xcb_session>(); }

}  // namespace platform
