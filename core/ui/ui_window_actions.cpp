// What the offline-time and troubleshooting windows ask of the UI logic.
#include "core/ui/ui.h"

#include "core/capture/logger.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <array>
#include <utility>

namespace kes {
namespace {

// The placeholder of the details field: details that start with it are none.
constexpr const wchar_t* details_placeholder_start = L"Optional details";

using checkbox_getter = bool (ui::*)();
using checkbox_setter = void (ui::*)(bool);

struct checkbox {
    std::uint32_t bit;
    checkbox_getter get;
    checkbox_setter set;
};

const std::array<checkbox, 13>& checkboxes() {
    static const std::array<checkbox, 13> boxes = {{
        {log_level::error, &ui::get_control_checked_log_error, &ui::set_control_checked_log_error},
        {log_level::warning, &ui::get_control_checked_log_warning, &ui::set_control_checked_log_warning},
        {log_level::info, &ui::get_control_checked_log_info, &ui::set_control_checked_log_info},
        {log_level::debug, &ui::get_control_checked_log_debug, &ui::set_control_checked_log_debug},
        {log_level::ctor, &ui::get_control_checked_log_ctor, &ui::set_control_checked_log_ctor},
        {log_level::ui, &ui::get_control_checked_log_ui, &ui::set_control_checked_log_ui},
        {log_level::network, &ui::get_control_checked_log_network, &ui::set_control_checked_log_network},
        {log_level::service, &ui::get_control_checked_log_service, &ui::set_control_checked_log_service},
        {log_level::url, &ui::get_control_checked_log_url, &ui::set_control_checked_log_url},
        {log_level::user1, &ui::get_control_checked_log_user1, &ui::set_control_checked_log_user1},
        {log_level::user2, &ui::get_control_checked_log_user2, &ui::set_control_checked_log_user2},
        {log_level::user3, &ui::get_control_checked_log_user3, &ui::set_control_checked_log_user3},
        {log_level::user4, &ui::get_control_checked_log_user4, &ui::set_control_checked_log_user4},
    }};
    return boxes;
}

}  // namespace

void ui::on_enter_offline_time(const std::wstring& label, const std::wstring& details) {
    const away_period away = get_away_period();
    if (away.since.is_special()) {
        // Nothing to record: no away period was seen (or it was entered already).
        log(L"[ui:on_enter_offline_time] No away period to record; the entry is ignored.", log_level::error);
        ux_hide_offline_time();
        return;
    }
    log_entry entry;
    entry.set_started(away.since);
    entry.set_completed(away.since + away.duration);
    entry.set_application_name(label);
    const bool no_details = details.compare(0, 16, details_placeholder_start) == 0;
    entry.set_window_title(no_details ? std::wstring() : details);
    entry.set_computer_name(configuration_->get_computer_name());
    entry.set_os_username(configuration_->get_os_username());
    entry.mark_as_offline_time();
    // A record the upload file could not hold is dropped here, before it
    // could take the rest of a batch with it.
    if (entry.is_valid_entry()) {
        logger::get_instance().log(entry);
        log(L"[ui:on_enter_offline_time]" + entry.to_csv_row(), log_level::info);
    }
    ux_hide_offline_time();
    end_away_period();
}

void ui::on_dismiss_offline_time(int minutes) {
    log(L"[ui:on_dismiss_offline_time]  Dismiss OfflineTime for " + std::to_wstring(minutes) + L" minutes.",
        log_level::info | log_level::ui);
    ux_hide_offline_time();
    end_away_period();
    if (minutes > 0) configuration_->set_offline_dismissed_until(configuration_->local_now() + boost::posix_time::hours(1));
}

void ui::set_log_category_checkboxes() {
    const std::uint32_t mask = configuration_->get_debug_log_level();
    for (const checkbox& box : checkboxes()) (this->*box.set)((mask & box.bit) != 0);
}

void ui::on_debug_level_changed() {
    std::uint32_t from_boxes = 0;
    std::uint32_t box_bits = 0;
    for (const checkbox& box : checkboxes()) {
        box_bits |= box.bit;
        if ((this->*box.get)()) from_boxes |= box.bit;
    }
    const std::uint32_t kept = configuration_->get_debug_log_level() & ~box_bits;
    configuration_->set_debug_log_level(kept | from_boxes);
}

void ui::on_reset_config() {
    if (!confirm_reset_configuration()) return;
    log(L"[User Action][ui::on_reset_config] User chose to reset Kestrel config.", log_level::error);
    configuration_->reset(L"");
}

void ui::on_open_directory() { open_in_finder(util::utf8_to_wstring_lossy(platform_system_->get_data_dir())); }

}  // namespace kes
