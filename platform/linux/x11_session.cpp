// xcb lives in this folder only; nothing here is seen by the toolkit's code.
#include "platform/linux/x11_session.h"

#include "platform/linux/idle_alarms.h"
#include "platform/linux/xcb_link.h"

#include <xcb/dpms.h>
#include <xcb/screensaver.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace platform {
namespace {

// How far the server's clock may stand from ours and still count as the
// same clock (the server may read a coarse variant of it).
constexpr std::int64_t clock_slack_ms = 2;

// What one connection knows, and how it learns it. Idle time comes from the
// idle alarms and the screen saver's state from its notices where the
// server offers them and shares our clock; otherwise each question asks.
class xcb_session final : public x11_session {
public:
    xcb_session(std::string display_name, bool keep_from_reports)
        : display_name_(std::move(display_name)), keep_from_reports_(keep_from_reports) {}

    std::optional<double> idle_seconds() override { return answer(true, false).idle_seconds; }
    display_power display_state() override { return answer(false, true).display; }
    x11_sample sample() override { return answer(true, true); }

private:
    struct queries {
        bool saver = false;
        bool dpms = false;
        xcb_screensaver_query_info_cookie_t saver_cookie{};
        xcb_dpms_capable_cookie_t capable_cookie{};
        xcb_dpms_info_cookie_t dpms_cookie{};
    };
    struct replies {
        xcb::owned<xcb_screensaver_query_info_reply_t> saver;
        xcb::owned<xcb_dpms_capable_reply_t> capable;
        xcb::owned<xcb_dpms_info_reply_t> dpms;
    };

    x11_sample answer(bool want_idle, bool want_display) {
        std::lock_guard<std::mutex> lock(mutex_);
        x11_sample result;
        if (!connected_locked()) return result;
        take_events();

        queries asked;
        asked.saver = has_screen_saver_ && ((want_idle && !idle_from_alarms_) || (want_display && !saver_notices_));
        // DPMS leaves "on" only through a step that first starts the screen
        // saver (or not at all when it is already on), and input turns both
        // off again: while the saver is off and DPMS was last seen on, it is on.
        asked.dpms = want_display && has_dpms_ && (!saver_notices_ || saver_active_ || dpms_off_);
        replies answered = ask(*link_, asked);
        if (!link_->usable()) {
            link_.reset();  // reconnects at the next question
            return result;
        }

        if (want_idle) {
            if (idle_from_alarms_) {
                result.idle_seconds = static_cast<double>(timeline_.idle_ms_at(xcb::monotonic_ms())) / 1000.0;
            } else if (answered.saver) {
                result.idle_seconds = static_cast<double>(answered.saver->ms_since_user_input) / 1000.0;
            }
        }
        if (want_display) result.display = display_from(asked, answered);
        return result;
    }

    display_power display_from(const queries& asked, const replies& answered) {
        if (asked.dpms) {
            const bool applies = answered.capable && answered.capable->capable && answered.dpms && answered.dpms->state;
            dpms_off_ = applies && answered.dpms->power_level != XCB_DPMS_DPMS_MODE_ON;
            if (applies) return dpms_off_ ? display_power::off : display_power::on;
        }
        if (saver_notices_) return saver_active_ ? display_power::off : display_power::on;
        if (answered.saver) {
            return answered.saver->state == XCB_SCREENSAVER_STATE_ON ? display_power::off : display_power::on;
        }
        return display_power::unknown;
    }

    // The asked requests sent together, their replies after one wait.
    static replies ask(const xcb::link& link, const queries& asked) {
        replies answered;
        if (!asked.saver && !asked.dpms) return answered;
        xcb_connection_t* c = link.get();
        queries sent = asked;
        if (sent.saver) sent.saver_cookie = xcb_screensaver_query_info(c, link.root());
        if (sent.dpms) {
            sent.capable_cookie = xcb_dpms_capable(c);
            sent.dpms_cookie = xcb_dpms_info(c);
        }
        link.begin_wait();
        if (sent.saver) {
            answered.saver = xcb::take_reply<xcb_screensaver_query_info_reply_t>(link, sent.saver_cookie.sequence);
        }
        if (sent.dpms) {
            answered.capable = xcb::take_reply<xcb_dpms_capable_reply_t>(link, sent.capable_cookie.sequence);
            answered.dpms = xcb::take_reply<xcb_dpms_info_reply_t>(link, sent.dpms_cookie.sequence);
        }
        return answered;
    }

    // Takes in the alarms and notices the server has already sent; reads
    // nothing more. Those sent before the first reading are in it already.
    void take_events() {
        xcb::take_sent_events(*link_, [this](const xcb_generic_event_t& event) {
            if (static_cast<std::int32_t>(event.full_sequence - events_from_) < 0) return;
            const int type = event.response_type & 0x7F;
            if (idle_from_alarms_ && type == sync_first_event_ + XCB_SYNC_ALARM_NOTIFY) {
                const auto* alarm = reinterpret_cast<const xcb_sync_alarm_notify_event_t*>(&event);
                if (alarm->alarm != alarms_.rising && alarm->alarm != alarms_.falling) return;
                const std::int64_t at = xcb::widen_server_time(alarm->timestamp, xcb::monotonic_ms());
                timeline_.crossed(alarm->alarm == alarms_.rising, at, xcb::counter_ms(alarm->counter_value));
            } else if (saver_notices_ && type == saver_first_event_ + XCB_SCREENSAVER_NOTIFY) {
                const auto* notice = reinterpret_cast<const xcb_screensaver_notify_event_t*>(&event);
                saver_active_ = notice->state != XCB_SCREENSAVER_STATE_OFF;
            }
            // Anything else: errors of requests without replies, other notices.
        });
    }

    bool connected_locked() {
        if (link_ && !link_->usable()) link_.reset();
        if (link_) return true;
        auto opened = std::make_unique<xcb::link>(display_name_);
        if (!opened->usable()) return false;
        if (!set_up(*opened)) return false;
        link_ = std::move(opened);
        return true;
    }

    // Learns what the server offers, arms the alarms and notices, and reads
    // the state they then keep current: three round trips, once.
    bool set_up(const xcb::link& opened) {
        xcb_connection_t* c = opened.get();
        xcb_prefetch_extension_data(c, &xcb_screensaver_id);
        xcb_prefetch_extension_data(c, &xcb_dpms_id);
        xcb_prefetch_extension_data(c, &xcb_sync_id);
        opened.begin_wait();
        const xcb_query_extension_reply_t* saver = xcb_get_extension_data(c, &xcb_screensaver_id);
        const xcb_query_extension_reply_t* dpms = xcb_get_extension_data(c, &xcb_dpms_id);
        const xcb_query_extension_reply_t* sync = xcb_get_extension_data(c, &xcb_sync_id);
        has_screen_saver_ = saver && saver->present;
        has_dpms_ = dpms && dpms->present;
        saver_first_event_ = has_screen_saver_ ? saver->first_event : 0;
        sync_first_event_ = sync && sync->present ? sync->first_event : 0;
        const std::optional<xcb::sync_counters> found =
            keep_from_reports_ && sync && sync->present ? xcb::find_sync_counters(opened) : std::nullopt;
        const bool counters = found.has_value();
        const xcb::sync_counters counter = found.value_or(xcb::sync_counters{});

        xcb_void_cookie_t notices_cookie{};
        if (has_screen_saver_ && keep_from_reports_) {
            notices_cookie =
                xcb_screensaver_select_input_checked(c, opened.root(), XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
        }
        if (counters) alarms_ = xcb::request_idle_alarms(opened, counter.idle_time);
        const std::int64_t sent_at = xcb::monotonic_ms();
        xcb_sync_query_counter_cookie_t idle_cookie{};
        xcb_sync_query_counter_cookie_t clock_cookie{};
        if (counters) {
            idle_cookie = xcb_sync_query_counter(c, counter.idle_time);
            clock_cookie = xcb_sync_query_counter(c, counter.server_time);
        }
        queries first;
        first.saver = has_screen_saver_;
        first.dpms = has_dpms_;
        const replies answered = ask(opened, first);
        const xcb::owned<xcb_sync_query_counter_reply_t> idle(
            counters ? xcb_sync_query_counter_reply(c, idle_cookie, nullptr) : nullptr);
        const xcb::owned<xcb_sync_query_counter_reply_t> clock(
            counters ? xcb_sync_query_counter_reply(c, clock_cookie, nullptr) : nullptr);
        const std::int64_t answered_at = xcb::monotonic_ms();
        if (!opened.usable()) return false;

        // Anything sent before the readings is part of them.
        events_from_ = counters ? idle_cookie.sequence : 0;
        idle_from_alarms_ = false;
        if (counters && idle && clock && xcb::idle_alarms_made(opened, alarms_)) {
            const std::int64_t server_now = xcb::widen_server_time(clock->counter_value.lo, answered_at);
            const bool same_clock =
                server_now >= sent_at - clock_slack_ms && server_now <= answered_at + clock_slack_ms;
            if (same_clock) {
                timeline_.read(server_now, xcb::counter_ms(idle->counter_value));
                idle_from_alarms_ = true;
            }
        }
        saver_notices_ = false;
        if (has_screen_saver_ && keep_from_reports_) {
            xcb_generic_error_t* refused = xcb_request_check(c, notices_cookie);
            saver_notices_ = refused == nullptr && answered.saver != nullptr;
            std::free(refused);
            saver_active_ = answered.saver && answered.saver->state == XCB_SCREENSAVER_STATE_ON;
        }
        dpms_off_ = false;
        display_from(first, answered);  // remembers whether DPMS is off
        return opened.usable();
    }

    const std::string display_name_;
    const bool keep_from_reports_;
    std::mutex mutex_;
    std::unique_ptr<xcb::link> link_;
    bool has_screen_saver_ = false;
    bool has_dpms_ = false;
    int saver_first_event_ = 0;
    int sync_first_event_ = 0;
    std::uint32_t events_from_ = 0;

    bool idle_from_alarms_ = false;
    xcb::idle_alarm_requests alarms_;
    xcb::idle_timeline timeline_;

    bool saver_notices_ = false;
    bool saver_active_ = false;
    bool dpms_off_ = false;
};

}  // namespace

std::shared_ptr<x11_session> open_x11_session(std::string display_name, bool keep_from_reports) {
    return std::make_shared<xcb_session>(std::move(display_name), keep_from_reports);
}

}  // namespace platform
