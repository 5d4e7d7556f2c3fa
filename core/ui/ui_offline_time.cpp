// Offline time: the user says what they did while away from the computer,
// and the away period becomes an activity record of its own kind.
#include "core/ui/ui.h"

#include "core/capture/log_entry.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {
namespace {

const std::wstring details_placeholder = L"Optional details";

// A character that cannot be written as UTF-8 (or would end the text early)
// becomes U+FFFD: the user's time is kept, and it can never spoil a batch.
std::wstring writable_text(const std::wstring& text) {
    std::wstring out = text;
    for (wchar_t& c : out) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) c = L'\uFFFD';
    }
    return out;
}

}  // namespace

void ui::on_enter_offline_time(const std::wstring& label, const std::wstring& details) {
    const away_period away = take_away_period();
    if (away.since.is_special()) {
        // Entered twice, or after the prompt was closed: there is no period to enter.
        log(L"[ui:on_enter_offline_time] No away period is open; nothing is recorded.", log_level::warning);
        ux_hide_offline_time();
        return;
    }
    if (away.duration.is_negative() || away.duration.total_seconds() >= away_cut_off_seconds) {
        log(L"[ui:on_enter_offline_time] The away period lasted " + std::to_wstring(away.duration.total_seconds()) +
                L" s, which no offline time can; nothing is recorded.",
            log_level::error);
        ux_hide_offline_time();
        return;
    }
    log_entry record;
    record.set_started(away.since);
    record.set_completed(away.since + away.duration);
    // Typed text and service labels may hold tabs, escape sequences and other
    // control characters, which have no place in a record or a log line.
    record.set_application_name(util::without_control_characters(label));
    record.set_window_title(details.compare(0, details_placeholder.size(), details_placeholder) == 0
                                ? L""
                                : util::without_control_characters(details));
    record.set_computer_name(configuration_->get_computer_name());
    record.set_os_username(configuration_->get_os_username());
    record.mark_as_offline_time();
    if (!record.is_valid_entry()) {
        log(L"[ui:on_enter_offline_time] The entry held text that cannot be written; it is kept with "
            L"replacement characters.",
            log_level::error);
        record.set_application_name(writable_text(record.get_application_name()));
        record.set_window_title(writable_text(record.get_window_title()));
        record.set_computer_name(writable_text(record.get_computer_name()));
        record.set_os_username(writable_text(record.get_os_username()));
    }
    record_activity_(record);
    log(L"[ui:on_enter_offline_time]" + record.to_csv_row(), log_level::info);
    ux_hide_offline_time();
}

void ui::on_dismiss_offline_time(int minutes) {
    log(L"[ui:on_dismiss_offline_time]  Dismiss OfflineTime for " + std::to_wstring(minutes) + L" minutes.",
        log_level::ui_info);
    ux_hide_offline_time();
    end_away_period();
    if (minutes > 0) {
        std::lock_guard<std::mutex> lock(away_mutex_);
        offline_dismissal_end_ =
            configuration_->local_now() + boost::posix_time::minutes(offline_dismissal_minutes);
        configuration_->set_offline_dismissed_until(offline_dismissal_end_);
    }
}

}  // namespace kes
