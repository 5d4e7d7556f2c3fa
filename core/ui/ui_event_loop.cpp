// The UI event-handler thread: every 500 ms it compares the configuration
// with what it last showed and calls the platform only where they differ.
#include "core/ui/ui.h"

#include "core/capture/daemon.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"
#include "core/service/puller.h"
#include "core/ui/menu_state.h"
#include "core/foundation/text_table.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <algorithm>

namespace kes {
namespace {

using boost::posix_time::ptime;
using boost::posix_time::seconds;

constexpr auto first_wait = std::chrono::milliseconds(2500);
constexpr auto pass_wait = std::chrono::milliseconds(500);
constexpr int failures_survived = 10;
constexpr std::size_t max_offline_time_labels = 6;

// The loop's trace lines: they run twice a second all day, so nothing is
// built for them while the category is off.
bool tracing() { return log_enabled(log_level::ui); }
void log_ui(const wchar_t* line) {
    if (tracing()) log(line, log_level::ui);
}
template <class Tail>
void log_ui(const wchar_t* head, const Tail& tail) {
    if (tracing()) log(head + std::wstring(tail), log_level::ui);
}

}  // namespace

void ui::event_handler() {
    log_ui(L"[ui::event_handler]Starting");
    log(L"[ui::event_handler] Thread starting ", log_level::info);
    log(L"[ui::event_handler] UI thread id is: " + daemon::current_thread_id_text(), log_level::info);
    log_ui(L"[ui:event_handler]before first run sleep");
    if (wait_for_stop(first_wait)) {
        int failures = 0;
        bool go_on = true;
        while (go_on) {
            bool failed = false;
            try {
                run_event_pass();
                log_ui(L"[ui:event_handler]before sleep");
                go_on = wait_for_stop(pass_wait);
                log_ui(L"[ui:event_handler]after sleep");
                failures = 0;
            } catch (const std::exception& e) {
                log(L"[ui:event_handler] Caught std::exception: " + util::utf8_to_wstring_lossy(e.what()),
                    log_level::error);
                failed = true;
            } catch (...) {
                log(L"[ui:event_handler] Caught unknown exception!", log_level::error);
                failed = true;
            }
            if (!failed) continue;
            if (failures >= failures_survived) {
                log(L"[ui:event_handler] Error count too high, stopping thread.", log_level::error);
                break;
            }
            ++failures;  // and the pass runs again at once
        }
    }
    log(L"[ui:event_handler] Thread stopping ", log_level::info);
}

void ui::run_event_pass() {
    configuration_->set_last_event_time(configuration_->local_now());
    if (!configuration_->get_gui_loaded()) {
        log(L"[ui::event_handler] UI has not been initialized, skipping UI events", log_level::error);
        return;
    }

    // A pause that ended is moved a day into the past, so that it stays
    // over for good.
    const ptime now = configuration_->local_now();
    const ptime paused_until = configuration_->get_paused_until();
    if (!paused_until.is_special() && paused_until < now && now - paused_until < boost::posix_time::hours(24)) {
        configuration_->set_paused_until(now - boost::posix_time::hours(24));
    }

    const auto step = [](const wchar_t* name, auto&& run) {
        log_ui(L"[ui:event_handler]before ", name);
        run();
    };
    step(L"display_tray_icon", [&] { display_tray_icon(); });
    step(L"set_ui_state", [&] { set_ui_state(); });
    step(L"set_menu_item_state", [&] { set_menu_item_state(); });
    step(L"update_status_text", [&] { update_status_text(); });
    step(L"display_offline_time", [&] { display_offline_time(); });
    step(L"display_alerts", [&] { display_alerts(); });
    step(L"check_unpause_alert", [&] { check_unpause_alert(); });
    step(L"display_survey", [&] { display_survey(); });
    step(L"display_still_zone", [&] { display_still_zone(); });
    step(L"refresh_troubleshooting", [&] { refresh_troubleshooting(); });
    step(L"check_for_updates", [&] {
        if (configuration_->get_update_check_requested()) {
            check_for_updates_now();
            configuration_->set_update_check_requested(false);
        } else {
            check_for_updates(false);
        }
    });
    step(L"refresh_help_info", [&] { refresh_help_info(); });
}

void ui::display_tray_icon() {
    int wanted = tray_icon::none;
    if (!configuration_->get_disable_gui()) {
        if (get_tray_icon() == tray_icon::none) ux_set_tray_icon(tray_icon::normal);
        const int severity = configuration_->get_status_severity();
        if (!configuration_->is_logging_allowed_now()) {
            wanted = tray_icon::paused;
        } else if (severity == 4 || severity == 2) {
            wanted = tray_icon::alert;
        } else {
            wanted = tray_icon::normal;
        }
    }
    if (get_tray_icon() != wanted) ux_set_tray_icon(wanted);
}

void ui::set_ui_state() {
    if (configuration_->get_disable_gui() || configuration_->has_account_key() ||
        configuration_->has_enterprise_team_key()) {
        return;
    }
    if (!activation_prompt_shown_.exchange(true)) show_activation_prompt();
}

void ui::set_menu_item_state() {
    if (configuration_->get_disable_gui()) return;
    system_tray_menu_interface* menu = get_tray_menu();
    if (menu == nullptr) return;
    const menu_facts facts = read_menu_facts(*configuration_, configuration_->local_now());
    // The menu holds the state of the facts last applied while nobody has
    // changed it since: unchanged facts need not even build the state again.
    // Otherwise the state is applied whole; the menu sets only what differs.
    const bool untouched = menu == applied_menu_ && applied_menu_facts_ &&
                           menu->change_count() == menu_changes_after_apply_;
    if (!untouched || !same_menu_facts(*applied_menu_facts_, facts)) {
        menu_changes_after_apply_ = apply_menu_state(menu_state_for(facts), *menu);
        applied_menu_ = menu;
        applied_menu_facts_ = facts;
    }
    menu->refresh_if_dirty();
}

void ui::update_status_text() {
    log_ui(L"[ui:update_status_text]");
    log_ui(L"[ui:update_status_text]Status = ", shown_status_text_);
    const bool authenticated = configuration_->is_authenticated();
    if (configuration_->status_message_is(std::wstring())) {
        configuration_->set_status_message(get_text(authenticated ? L"status_message_activation_success"
                                                                  : L"status_message_activation_incomplete"),
                                           0);
    }
    if (!configuration_->is_logging_allowed_now() && authenticated) {
        if (!configuration_->get_logging_enabled()) {
            configuration_->set_status_message(get_text(L"status_message_disabled_by_admin"), 0);
        } else {
            configuration_->set_status_message(get_text(L"status_message_is_paused"), 0);
            status_was_paused_ = true;
        }
    } else if (status_was_paused_) {
        configuration_->set_status_message(get_text(L"status_message_was_paused"), 0);
        status_was_paused_ = false;
    }
    if (configuration_->status_message_is(shown_status_text_)) return;
    const std::wstring current = configuration_->get_status_message();
    if (current == shown_status_text_) return;
    shown_status_text_ = current;
    log_ui(L"[ui:update_status_text]Change status to = ", current);
    if (!current.empty()) set_status_message(current);
}

ptime ui::offline_prompt_dismissed_until() {
    // The time is read under the lock a dismissal is made under: one made
    // meanwhile never looks further ahead than it reaches.
    std::lock_guard<std::mutex> lock(away_mutex_);
    const ptime now = configuration_->local_now();
    const ptime dismissed_until = configuration_->get_offline_dismissed_until();
    if (dismissed_until.is_special()) return dismissed_until;
    const auto reach = dismissed_until == offline_dismissal_end_ ? boost::posix_time::minutes(offline_dismissal_minutes)
                                                                 : boost::posix_time::minutes(0);
    if (dismissed_until <= now + reach) return dismissed_until;
    // Set before the wall clock went back: it would hold the prompt off
    // until the clock caught up with it, longer than any dismissal.
    log(L"[ui:display_offline_time] The clock went back; the offline-time prompt is no longer held off until " +
            util::ptime_to_simple_wstr(dismissed_until) + L".",
        log_level::warning);
    configuration_->set_offline_dismissed_until(now);
    return now;
}

void ui::display_offline_time() {
    const ptime dismissed_until = offline_prompt_dismissed_until();
    const ptime now = configuration_->local_now();
    const bool asking = configuration_->get_timepie_enabled() &&
                        (dismissed_until.is_special() || dismissed_until <= now) &&
                        !configuration_->get_disable_gui() && configuration_->is_logging_allowed_now() &&
                        !configuration_->get_in_idle_activity();
    bool period_open = false;
    {
        std::lock_guard<std::mutex> lock(away_mutex_);
        period_open = !away_.since.is_not_a_date_time() && !away_.over;
    }
    if (!asking && !period_open) return;
    const std::int64_t idle = idle_seconds();
    const std::int64_t away_threshold = configuration_->get_idle_time_away();

    // Back, whether asked now or not: the period ends where it was last
    // measured, and an entry made later covers that time only, never the
    // work that follows.
    if (period_open && idle < away_threshold) {
        std::lock_guard<std::mutex> lock(away_mutex_);
        away_.over = true;
    }
    if (!asking) return;

    if (offline_prompt_armed_ && idle < away_threshold) {
        offline_prompt_armed_ = false;
        ux_show_offline_time();  // the user is back: the window asks what they did
    }
    if (idle <= away_threshold) return;

    ptime away_since;
    boost::posix_time::time_duration away_duration;
    bool ask = false;
    {
        std::lock_guard<std::mutex> lock(away_mutex_);
        std::int64_t elapsed = idle;
        if (away_.since.is_not_a_date_time() || away_.over) {
            away_ = away_period{now - seconds(idle)};
        } else if (now < away_.since + away_.duration) {
            // The wall clock went back since the last pass (local time falls
            // back an hour in autumn): measured on it, the period would end
            // before it began. The idle time does not follow the wall clock.
            log(L"[ui:display_offline_time] The clock went back; the away period is measured again from the idle "
                L"time.",
                log_level::warning);
            away_.since = now - seconds(idle);
        } else {
            elapsed = (now - away_.since).total_seconds();
        }
        if (elapsed < away_cut_off_seconds) {
            away_.duration = now - away_.since;
            away_since = away_.since;
            away_duration = away_.duration;
            ask = true;
        } else {
            away_.since = boost::posix_time::not_a_date_time;
        }
    }
    if (!ask) {
        offline_prompt_armed_ = false;
        if (!offline_prompt_hidden_) {
            offline_prompt_hidden_ = true;
            ux_hide_offline_time();
        }
        return;
    }

    const std::vector<std::wstring> labels = configuration_->get_timepie_labels();
    if (labels != shown_offline_time_labels_) {
        shown_offline_time_labels_ = labels;
        std::vector<std::wstring> passed = labels;
        if (passed.size() > max_offline_time_labels) {
            log(L"[ui:display_offline_time] Too many labels = " + std::to_wstring(passed.size()), log_level::error);
            passed.resize(max_offline_time_labels);
        }
        ux_set_offline_time_labels(passed);
    }
    ux_set_offline_time_start_time(
        get_text_with_args(L"offline_time_what_doing", util::ptime_to_hour_minute_wstr(away_since)));
    ux_set_offline_time_elapsed_time(util::duration_to_simple_wstr(seconds(away_duration.total_seconds())));
    offline_prompt_armed_ = true;
    offline_prompt_hidden_ = false;
}

void ui::display_alerts() {
    std::wstring text;
    configuration_->pop_status_message(text);
    if (text.empty() || configuration_->get_disable_gui()) return;
    // The schedule and the administrator's switch silence alerts; the
    // user's own pause does not, or its confirmation would never be seen.
    if (!configuration_->is_logging_allowed_ignoring_pause()) return;
    show_user_notification(text);
}

void ui::check_unpause_alert() {
    const bool paused = configuration_->is_paused();
    if (paused && !pause_alert_armed_) {
        pause_alert_armed_ = true;
    } else if (!paused && pause_alert_armed_) {
        configuration_->push_status_message(get_text(L"alert_message_pause_ended"));
        pause_alert_armed_ = false;
    }
}

void ui::display_survey() {
    // No survey and none shown: nothing to announce or clear.
    if (shown_survey_address_.empty() && !configuration_->has_survey_url()) return;
    const std::wstring address = configuration_->get_survey_url();
    const ptime limit = configuration_->get_survey_time();
    const ptime now = configuration_->local_now();
    const bool open = !limit.is_not_a_date_time() && now < limit;
    if (!address.empty() && address != shown_survey_address_ && open) {
        if (!configuration_->get_disable_gui() && configuration_->is_logging_allowed_now()) {
            log(L"[ui::display_survey]new survey found, display survey ", log_level::info);
            show_user_notification(configuration_->get_survey_message());
        }
        shown_survey_address_ = address;  // announced at most once
    } else if (address.empty() || !open) {
        // Item 12 follows the stored address at the next menu step.
        if (!address.empty()) configuration_->set_survey_url(L"");
        shown_survey_address_.clear();
    }
}

void ui::display_still_zone() {
    if (configuration_->is_blocking()) {
        focus_session_running_ = true;
        return;
    }
    if (!focus_session_running_) return;
    // A session being started or extended right now switches blocking off
    // for the length of its request; its outcome decides, at a later pass.
    std::unique_lock<std::mutex> lock(focus_mutex_, std::try_to_lock);
    if (!lock.owns_lock() || configuration_->is_blocking()) return;
    focus_session_running_ = false;
    make_puller()->update_blocked_list_stop_stillzone();
    configuration_->push_status_message(L"Stillzone session ended.");
}

}  // namespace kes
