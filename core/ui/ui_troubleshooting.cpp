// The troubleshooting window: its debug-log checkboxes, the configuration
// reset, the data-folder button, and the loop step that keeps its fields
// current while it is open.
#include "core/ui/ui.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"

#include <array>

namespace kes {
namespace {

struct log_category_checkbox {
    std::uint32_t bit;
    bool (ui::*is_checked)();
    void (ui::*set_checked)(bool);
};

const std::array<log_category_checkbox, 13> log_category_checkboxes{{
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

constexpr std::uint32_t bits_with_checkbox = 0x1FF | 0xF000;

// The agent's own window in front must not replace what the window shows.
bool is_this_agent(const std::wstring& application_name) {
    const std::wstring name = util::to_lower(application_name);
    return name == L"kestrel" || name == L"kestrel.exe" || name == L"kestrel.app";
}

}  // namespace

void ui::set_log_category_checkboxes() {
    const std::uint32_t mask = configuration_->get_debug_log_level();
    for (const log_category_checkbox& checkbox : log_category_checkboxes) {
        (this->*checkbox.set_checked)((mask & checkbox.bit) != 0);
    }
}

void ui::on_debug_level_changed() {
    std::uint32_t checked = 0;
    for (const log_category_checkbox& checkbox : log_category_checkboxes) {
        if ((this->*checkbox.is_checked)()) checked |= checkbox.bit;
    }
    // Bits without a checkbox stay as they were.
    const std::uint32_t mask = (configuration_->get_debug_log_level() & ~bits_with_checkbox) | checked;
    configuration_->set_debug_log_level(mask);
}

void ui::on_reset_config() {
    confirm_reset_configuration([this](bool confirmed) {
        if (!confirmed) return;
        log(L"[User Action][ui::on_reset_config] User chose to reset Kestrel config.", log_level::error);
        reset_configuration();
    });
}

void ui::reset_configuration() {
    // The defaults clear the flag the controller sets once its window has
    // loaded; nothing would set it again before the next start.
    const bool gui_loaded = configuration_->get_gui_loaded();
    configuration_->reset(L"");
    configuration_->set_gui_loaded(gui_loaded);
}

void ui::on_open_directory() { open_in_finder(util::utf8_to_wstring_lossy(platform_system_->get_data_dir())); }

void ui::refresh_troubleshooting() {
    const bool visible = is_troubleshooting_visible();
    const bool opened = visible && !troubleshooting_was_visible_;
    troubleshooting_was_visible_ = visible;
    if (!visible) return;
    // A window that opens (again) shows every value, whatever it showed before.
    if (opened) troubleshooting_refresh_forced_ = true;
    const std::uint32_t mask = configuration_->get_debug_log_level();
    if (opened || static_cast<std::int32_t>(mask) != shown_debug_log_level_) {
        set_log_category_checkboxes();
        set_ts_debug_log_level(static_cast<int>(mask));
        shown_debug_log_level_ = static_cast<std::int32_t>(mask);
    }
    set_ts_idle_time(idle_seconds());

    const std::wstring title = configuration_->get_current_window_title();
    const std::wstring extended_info = configuration_->get_current_extended_info();
    const std::wstring application = configuration_->get_current_application_name();
    const bool changed = title != shown_window_title_ || extended_info != shown_extended_info_;
    if (!troubleshooting_refresh_forced_ && (!changed || is_this_agent(application))) return;
    set_ts_debug_log_location(util::utf8_to_wstring_lossy(platform_system_->get_debug_log_path()));
    set_ts_os_username(configuration_->get_os_username());
    set_ts_machine_name(configuration_->get_computer_name());
    set_ts_application_name(application);
    set_ts_application_version(configuration_->get_current_application_version());
    set_ts_window_title(title);
    set_ts_extended_info(extended_info);
    shown_window_title_ = title;
    shown_extended_info_ = extended_info;
    troubleshooting_refresh_forced_ = false;
}

}  // namespace kes
