#include "app/osx_ui.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/foundation/text_table.h"
#include "platform/main_queue.h"
#include "platform/main_thread_call.h"
#include "platform/notification_center.h"
#include "platform/session_kind.h"

#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

namespace kes {
namespace {

// With no window system the menu has nowhere to be drawn.
class headless_tray_menu : public system_tray_menu_interface {
public:
    void show() override {}
};

std::mutex& provided_mutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<osx_ui_services>& provided() {
    static std::optional<osx_ui_services> services;
    return services;
}

std::string to_utf8(const std::wstring& text) { return util::wstring_to_utf8_lossy(text); }
std::wstring wide(const std::string& text) { return util::utf8_to_wstring_lossy(text); }

// The page without its query: queries carry account and team keys.
std::wstring address_for_log(const std::wstring& address) {
    const auto query = address.find(L'?');
    return query == std::wstring::npos ? address : address.substr(0, query) + L"?...";
}

// The debug-log line, and the detail for the session's log (standard error).
// `accepted`: the address got as far as an opener.
void log_unopened_address(const std::wstring& address, const std::string& escaped, bool accepted) {
    log(L"[osx_ui::ux_open_url()] could not open url: " + address_for_log(address), log_level::error);
    const std::string escaped_shown = to_utf8(address_for_log(wide(escaped)));
    std::cerr << "Failed to open url\n\turlString: " << to_utf8(address_for_log(address))
              << "\n\tpercentEncodedURLString: " << escaped_shown
              << "\n\turlToOpen: " << (accepted ? escaped_shown : std::string("(nil)")) << std::endl;
}

}  // namespace

std::uint32_t log_checkbox_bit(log_checkbox box) {
    static constexpr std::uint32_t bits[log_checkbox_count] = {
        log_level::error, log_level::warning, log_level::info,  log_level::debug, log_level::ctor,
        log_level::ui,    log_level::network, log_level::service, log_level::url,  log_level::user1,
        log_level::user2, log_level::user3,   log_level::user4};
    return bits[static_cast<int>(box)];
}

void osx_ui::provide_services(osx_ui_services services) {
    std::lock_guard<std::mutex> lock(provided_mutex());
    provided() = std::move(services);
}

std::unique_ptr<ui> osx_ui::make_with_provided_services() {
    osx_ui_services services;
    {
        std::lock_guard<std::mutex> lock(provided_mutex());
        if (provided()) services = std::move(*provided());
        provided().reset();
    }
    return std::make_unique<osx_ui>(std::move(services));
}

osx_ui::osx_ui(osx_ui_services services, seams with) : ui(std::move(with)), services_(std::move(services)) {
    if (!services_.queue) services_.queue = &platform::main_queue::instance();
    if (!services_.notifications) services_.notifications = &platform::notification_center::default_center();
    if (!services_.pause) services_.pause = [](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); };
    if (!services_.computer_identity) services_.computer_identity = [] { return platform::read_computer_identity(); };
}

osx_ui::~osx_ui() {
    // The request threads call this object's operations until they end.
    finish_requests();
}

void osx_ui::set_delegate(std::shared_ptr<application_delegate> delegate) {
    delegate_owner_ = std::move(delegate);
    delegate_.store(delegate_owner_.get());
}

void osx_ui::end_desktop() {
    delegate_.store(nullptr);
    delegate_owner_.reset();
    if (services_.desktop.status) services_.desktop.status->set_menu_will_open({});
    // The application object goes last: every widget must end before it.
    std::shared_ptr<platform::application> app = std::move(services_.desktop.app);
    services_.make_tray_menu = {};
    services_.run_application = {};
    services_.desktop = {};
    app.reset();
}

void osx_ui::install_status_menu() {
    if (tray_menu_) tray_menu_->refresh_if_dirty();
    if (const auto& status = services_.desktop.status) {
        status->set_menu_will_open([this] {
            if (application_delegate* controller = delegate()) controller->menuWillOpen();
        });
    }
}

std::wstring osx_ui::session_line() {
    return L"Session: " + util::utf8_to_wstring_lossy(platform::session_reading_text(platform::current_session_kind()));
}

void osx_ui::init() {
    if (!tray_menu_) {
        tray_menu_ = services_.make_tray_menu ? services_.make_tray_menu() : nullptr;
        if (!tray_menu_) tray_menu_ = std::make_unique<headless_tray_menu>();
    }
    bool launched_at_login = false;
    if (const auto& defaults = services_.desktop.defaults) {
        defaults->register_defaults({{launched_at_login_default, true}});
        launched_at_login = defaults->get_bool(launched_at_login_default);
    }
    // An entry removed behind the agent's back comes back at the next start;
    // a "no" leaves whatever the user set up alone. An entry the user
    // switched off in the desktop's startup settings is the user's "no":
    // the agent keeps it as it is and says so.
    if (launched_at_login && services_.desktop.login) {
        if (services_.desktop.login->is_switched_off(login_helper_identifier)) {
            launched_at_login = false;
            (void)services_.desktop.defaults->set_bool(launched_at_login_default, false);
            log(L"[osx_ui:init] The desktop's startup settings switched 'Start at Login' off; the entry stays as it "
                L"is.",
                log_level::ui);
        } else {
            (void)services_.desktop.login->set_enabled(login_helper_identifier, true);
        }
    }
    log(L"[osx_ui:init] " + session_line(), log_level::info);
    tray_menu_->set_tray_item_visible(k_tray_item_preferences_start_at_login, true);
    tray_menu_->set_tray_item_visible(k_tray_item_separator_start_at_login, true);
    tray_menu_->set_tray_item_checked(k_tray_item_preferences_start_at_login, launched_at_login);
    ui::init();
}

int osx_ui::run_gui() {
    if (services_.run_application) return services_.run_application(*this);
    // No controller to load: the loop starts serving the user now.
    configuration_->set_gui_loaded(true);
    return queue().run();
}

void osx_ui::ux_open_url(const std::wstring& address) {
    const std::string escaped = platform::escape_illegal_url_characters(to_utf8(address));
    const std::shared_ptr<platform::url_opener> opener = services_.desktop.opener;
    if (const auto refusal = platform::web_page_refusal(escaped); refusal || !opener) {
        log_unopened_address(address, escaped, false);
        return;
    }
    platform::post_to_main_thread(queue(), [opener, address, escaped] {
        const platform::open_result result = opener->open_web_page(escaped);
        if (!result.opened()) log_unopened_address(address, escaped, true);
    });
}

void osx_ui::show_alert(const std::wstring& message, const std::wstring& title) {
    const std::shared_ptr<platform::alert_presenter> alerts = services_.desktop.alerts;
    if (!alerts) return;
    platform::alert request;
    request.message = to_utf8(title);
    request.informative_text = to_utf8(message);
    request.buttons = {"OK"};
    // Shown from a task of its own, on the main thread; the caller goes on.
    queue().async([alerts, request] { alerts->show(request, {}); });
}

void osx_ui::check_for_updates_now() {
    if (queue().is_main_thread()) {
        // The main thread never waits for the service: the loop asks on its own thread.
        configuration_->set_update_check_requested(true);
        return;
    }
    log(L"osx_check_for_and_apply_updates:Invoking sharedUpdater checkForUpdates]", log_level::error);
    show_update_check(update_check_report::outcome::checking);
    update_check_asked_by_user_ = true;
    bool answered = false;
    try {
        answered = check_for_updates(true);
    } catch (...) {
        update_check_asked_by_user_ = false;
        show_update_check(update_check_report::outcome::failed);
        throw;
    }
    update_check_asked_by_user_ = false;
    // The check said what it found; a failure it only set on the status line.
    if (!answered) show_update_check(update_check_report::outcome::failed);
}

void osx_ui::on_update_check_result(bool newer_version_available) {
    const std::wstring& released = released_version();
    if (update_check_asked_by_user_) {
        // An offer the user has seen is not told again.
        if (newer_version_available) announced_version_ = released;
        show_update_check(newer_version_available ? update_check_report::outcome::newer
                                                  : update_check_report::outcome::newest);
        return;
    }
    if (!newer_version_available || released == announced_version_) return;
    if (configuration_->get_disable_gui()) return;  // no window, no word: the next find tells
    announced_version_ = released;
    log(L"[osx_ui:on_update_check_result] Kestrel " + released + L" is available; the user is told.", log_level::ui);
    show_user_notification(L"Kestrel " + released + L" is available. Choose \"" + get_text(L"menu_item_updates") +
                           L"\" in Kestrel's menu to download it.");
}

void osx_ui::show_update_check(update_check_report::outcome found) {
    update_check_report report;
    report.found = found;
    if (found == update_check_report::outcome::newer) report.released_version = released_version();
    report.running_version = configuration_->get_client_version();
    switch (found) {
        case update_check_report::outcome::checking:
            break;
        case update_check_report::outcome::newer:
            log(L"[osx_ui:show_update_check] Offered to the user: Kestrel " + report.released_version +
                    L" (running " + report.running_version + L").",
                log_level::ui);
            break;
        case update_check_report::outcome::newest:
            log(L"[osx_ui:show_update_check] Told the user: the running " + report.running_version +
                    L" is the newest version.",
                log_level::ui);
            break;
        case update_check_report::outcome::failed:
            log(L"[osx_ui:show_update_check] Told the user: the check for updates failed.", log_level::ui);
            break;
    }
    if (application_delegate* controller = delegate()) controller->show_update_check(report);
}

void osx_ui::ux_set_tray_icon(int state) {
    tray_icon_state_.store(state);
    if (application_delegate* controller = delegate()) controller->ux_set_tray_icon(state);
}

int osx_ui::get_tray_icon() { return tray_icon_state_.load(); }

void osx_ui::set_status_message(const std::wstring& text) {
    queue().async([this, text] {
        if (application_delegate* controller = delegate()) controller->setStatusMessage(text, 0);
        notifications().post(activation_status_notification, {{activation_status_key, to_utf8(text)}});
    });
}

std::wstring osx_ui::get_username() {
    application_delegate* controller = delegate();
    return controller ? controller->username() : std::wstring();
}

std::wstring osx_ui::get_password() {
    application_delegate* controller = delegate();
    return controller ? controller->password() : std::wstring();
}

std::wstring osx_ui::ask_two_factor_code(const std::wstring& refusal) {
    if (queue().is_main_thread()) {
        // The prompt waits for the main thread, which would be waiting for itself.
        log(L"[osx_ui:ask_two_factor_code] Refused: the prompt cannot be asked for on the main thread.",
            log_level::error);
        return {};
    }
    services_.pause(std::chrono::milliseconds(500));
    const std::shared_ptr<platform::alert_presenter> alerts = services_.desktop.alerts;
    if (!alerts) return {};
    platform::alert request;
    request.message = "Enter 2 factor authentication code:";
    request.informative_text = to_utf8(refusal);
    request.buttons = {"OK", "Cancel"};
    request.field = platform::alert::text_field{230, 24, ""};
    request.initial_focus = platform::alert::focus::field;
    const platform::alert_response answer = platform::wait_for_answer(alerts, queue(), request);
    return answer.chose(0) ? wide(answer.field_text) : std::wstring();
}

const platform::computer_identity& osx_ui::identity() {
    std::call_once(computer_identity_read_, [this] { computer_identity_ = services_.computer_identity(); });
    return computer_identity_;
}

std::wstring osx_ui::get_computer_brand() { return wide(identity().brand); }

std::wstring osx_ui::get_computer_make() { return wide(identity().make); }

std::wstring osx_ui::get_computer_model() { return wide(identity().model); }

std::wstring osx_ui::get_platform_version() {
    std::call_once(platform_version_read_, [this] {
        const auto& version = services_.desktop.version;
        if (version) platform_version_ = wide(version->description());
    });
    return platform_version_;
}

void osx_ui::set_state_post_activate() {
    queue().async([this] {
        if (application_delegate* controller = delegate()) controller->set_state_post_activate();
        notifications().post(did_activate_notification);
    });
}

void osx_ui::show_user_notification(const std::wstring& text) {
    if (const auto& notifier = services_.desktop.notifier) (void)notifier->notify("Kestrel Alert", to_utf8(text));
}

void osx_ui::ux_show_offline_time() {
    log(L"[osx_ui:ux_show_offline_time]Show OfflineTime Window", log_level::offline_window);
    if (application_delegate* controller = delegate()) controller->show_offline_time_window();
}

void osx_ui::ux_hide_offline_time() {
    log(L"[osx_ui:ux_hide_offline_time]Hide OfflineTime Window", log_level::offline_window);
    if (application_delegate* controller = delegate()) controller->hide_offline_time_window();
}

void osx_ui::ux_set_offline_time_labels(const std::vector<std::wstring>&) {
    // The controller reads the labels from the configuration itself.
    if (application_delegate* controller = delegate()) controller->ux_set_offline_time_labels();
}

void osx_ui::ux_set_offline_time_start_time(const std::wstring& question) {
    if (application_delegate* controller = delegate()) controller->ux_set_offline_time_start_time(question);
}

void osx_ui::ux_set_offline_time_elapsed_time(const std::wstring& elapsed) {
    if (application_delegate* controller = delegate()) controller->ux_set_offline_time_elapsed_time(elapsed);
}

void osx_ui::show_still_zone_window() {
    if (application_delegate* controller = delegate()) controller->show_still_zone_window();
}

void osx_ui::hide_still_zone_window() {
    if (application_delegate* controller = delegate()) controller->hide_still_zone_window();
}

void osx_ui::set_still_zone_minutes(int minutes) {
    if (application_delegate* controller = delegate()) controller->set_still_zone_minutes(minutes);
}

void osx_ui::ux_set_dynamic1_text(const std::wstring& text) {
    try {
        if (application_delegate* controller = delegate()) controller->set_dynamic1_text(text);
    } catch (const std::exception& e) {
        log(L"[osx_ui:ux_set_dynamic1_text] Exception caught: " + wide(e.what()), log_level::error);
    } catch (...) {
        log(L"[osx_ui:ux_set_dynamic1_text] Unknown exception caught.", log_level::error);
    }
}

void osx_ui::show_preferences_window() {
    if (application_delegate* controller = delegate()) controller->showPreferencesWindow();
}

void osx_ui::go_to_help() {
    if (application_delegate* controller = delegate()) controller->goToHelp();
}

void osx_ui::set_help_info(const std::wstring& text) {
    if (application_delegate* controller = delegate()) controller->set_help_info(text);
}

bool osx_ui::ux_toggle_start_at_login() {
    const auto& defaults = services_.desktop.defaults;
    const bool current = defaults && defaults->get_bool(launched_at_login_default);
    const bool wanted = !current;
    const bool success = services_.desktop.login && services_.desktop.login->set_enabled(login_helper_identifier, wanted);
    log(std::wstring(L"[osx_ui:ux_toggle_start_at_login()] Trying to set 'LaunchedAtLogin' to ") +
            (wanted ? L"true" : L"false") + L". " + (success ? L"SUCCEEDED" : L"FAILED"),
        log_level::ui);
    if (!success) return current;  // the default stays as stored
    if (defaults) {
        (void)defaults->set_bool(launched_at_login_default, wanted);
        (void)defaults->synchronize();
    }
    return wanted;
}

void osx_ui::confirm_reset_configuration(std::function<void(bool confirmed)> answered) {
    const std::shared_ptr<platform::alert_presenter> alerts = services_.desktop.alerts;
    if (!alerts) {
        answered(false);
        return;
    }
    platform::alert request;
    request.message = "Warning: Reset Configuration?";
    request.informative_text =
        "Resetting your configuration will require you to re-register Kestrel using the account email and password.  "
        "Only do this if you have been instructed by Kestrel Support.";
    request.buttons = {"OK", "Cancel"};
    request.kind = platform::alert::style::warning;
    platform::post_to_main_thread(queue(), [alerts, request, answered = std::move(answered)] {
        alerts->show(request, [answered](const platform::alert_response& answer) { answered(answer.chose(0)); });
    });
}

void osx_ui::open_in_finder(const std::wstring& path) {
    const std::shared_ptr<platform::url_opener> opener = services_.desktop.opener;
    if (!opener) return;
    const std::string folder = util::wstring_to_utf8_lossy(path);
    platform::post_to_main_thread(queue(), [opener, folder] {
        const platform::open_result result = opener->show_in_file_manager(folder);
        if (!result.opened()) {
            log(L"[osx_ui:open_in_finder] Could not show " + wide(folder) + L": " + wide(result.reason),
                log_level::error);
        }
    });
}

bool osx_ui::is_troubleshooting_visible() {
    application_delegate* controller = delegate();
    return controller && controller->is_troubleshooting_visible();
}

void osx_ui::set_ts_debug_log_level(int mask) {
    if (application_delegate* controller = delegate()) controller->set_ts_debug_log_level(mask);
}

void osx_ui::set_ts_debug_log_location(const std::wstring& path) {
    if (application_delegate* controller = delegate()) controller->set_ts_debug_log_location(path);
}

void osx_ui::set_ts_idle_time(std::int64_t seconds) {
    if (application_delegate* controller = delegate()) controller->set_ts_idle_time(seconds);
}

void osx_ui::set_ts_os_username(const std::wstring& text) {
    if (application_delegate* controller = delegate()) controller->set_ts_os_username(text);
}

void osx_ui::set_ts_machine_name(const std::wstring& text) {
    if (application_delegate* controller = delegate()) controller->set_ts_machine_name(text);
}

void osx_ui::set_ts_application_name(const std::wstring& text) {
    if (application_delegate* controller = delegate()) controller->set_ts_application_name(text);
}

void osx_ui::set_ts_application_version(const std::wstring& text) {
    if (application_delegate* controller = delegate()) controller->set_ts_application_version(text);
}

void osx_ui::set_ts_window_title(const std::wstring& text) {
    if (application_delegate* controller = delegate()) controller->set_ts_window_title(text);
}

void osx_ui::set_ts_extended_info(const std::wstring& text) {
    if (application_delegate* controller = delegate()) controller->set_ts_extended_info(text);
}

bool osx_ui::checked(log_checkbox box) {
    if (application_delegate* controller = delegate()) return controller->get_control_checked_log(box);
    // No window: the boxes stand for the mask as it is.
    return (configuration_->get_debug_log_level() & log_checkbox_bit(box)) != 0;
}

void osx_ui::set_checked(log_checkbox box, bool on) {
    if (application_delegate* controller = delegate()) controller->set_control_checked_log(box, on);
}

void osx_ui::quit() { queue().quit(0); }

}  // namespace kes
