// The UI bridge over fake desktop services: what reaches the desktop, on which
// thread, what reaches the controller, and what is logged.
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/ui/tray_items.h"
#include "app/osx_ui.h"
#include "platform/fake/fake_desktop.h"
#include "platform/login_items.h"
#include "platform/main_queue.h"
#include "platform/notification_center.h"
#include "tests/support/test_environment.h"
#include "tests/ui/debug_log_lines.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace kes {
namespace {

namespace stdfs = std::filesystem;
using platform::alert_first_button;
using testing::messages_since;

// A controller that writes down what it was asked, with the thread.
class recording_delegate : public application_delegate {
public:
    std::vector<std::wstring> calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    std::thread::id last_thread() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return thread_;
    }

    void ux_set_tray_icon(int state) override { record(L"tray " + std::to_wstring(state)); }
    void openStatusMenu() override { record(L"openStatusMenu"); }
    void menuWillOpen() override { record(L"menuWillOpen"); }
    void setStatusMessage(const std::wstring& text, int mode) override {
        record(L"status " + text + L" " + std::to_wstring(mode));
    }
    void set_state_post_activate() override { record(L"post_activate"); }
    void showPreferencesWindow() override { record(L"preferences"); }
    bool isActivated() override { return false; }
    std::wstring username() const override { return L"ana@example.org"; }
    std::wstring password() const override { return L"pw"; }
    void goToHelp() override { record(L"help"); }
    void set_help_info(const std::wstring& text) override { record(L"help_info " + text); }
    void set_dynamic1_text(const std::wstring&) override { throw std::runtime_error("no such item"); }
    void show_offline_time_window() override { record(L"show_offline"); }
    void hide_offline_time_window() override { record(L"hide_offline"); }
    void ux_set_offline_time_labels() override { record(L"labels"); }
    void ux_set_offline_time_start_time(const std::wstring& text) override { record(L"start " + text); }
    void ux_set_offline_time_elapsed_time(const std::wstring& text) override { record(L"elapsed " + text); }
    void show_still_zone_window() override { record(L"show_focus"); }
    void hide_still_zone_window() override { record(L"hide_focus"); }
    void set_still_zone_minutes(int minutes) override { record(L"minutes " + std::to_wstring(minutes)); }
    void show_update_check(const update_check_report&) override { record(L"update_check"); }
    bool is_troubleshooting_visible() override { return true; }
    void set_ts_debug_log_level(int mask) override { record(L"ts_level " + std::to_wstring(mask)); }
    void set_ts_idle_time(std::int64_t seconds) override { record(L"ts_idle " + std::to_wstring(seconds)); }
    void set_ts_debug_log_location(const std::wstring& text) override { record(L"ts_location " + text); }
    void set_ts_os_username(const std::wstring& text) override { record(L"ts_user " + text); }
    void set_ts_machine_name(const std::wstring& text) override { record(L"ts_machine " + text); }
    void set_ts_application_name(const std::wstring& text) override { record(L"ts_app " + text); }
    void set_ts_application_version(const std::wstring& text) override { record(L"ts_version " + text); }
    void set_ts_window_title(const std::wstring& text) override { record(L"ts_title " + text); }
    void set_ts_extended_info(const std::wstring& text) override { record(L"ts_page " + text); }
    bool get_control_checked_log(log_checkbox box) override { return box == log_checkbox::url; }
    void set_control_checked_log(log_checkbox box, bool checked) override {
        record(L"box " + std::to_wstring(static_cast<int>(box)) + (checked ? L" on" : L" off"));
    }

private:
    void record(const std::wstring& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
        thread_ = std::this_thread::get_id();
    }

    mutable std::mutex mutex_;
    std::vector<std::wstring> calls_;
    std::thread::id thread_;
};

class UiBridge : public ::testing::Test {
protected:
    void SetUp() override {
        queue_.bind_to_current_thread();
        config::instance().set_debug_log_level(0xFFFF);
        log_offset_ = debug_log_read().size();
    }
    void TearDown() override {
        queue_.run_pending();
        config::instance().set_debug_log_level(1);
    }

    osx_ui_services services() {
        osx_ui_services with;
        with.desktop = fakes_.services();
        with.queue = &queue_;
        with.notifications = &centre_;
        with.pause = [this](std::chrono::milliseconds wait) { pauses_.push_back(wait); };
        with.computer_identity = [] { return platform::computer_identity{"Test Maker", "Test Machine", "3"}; };
        return with;
    }

    std::vector<std::wstring> logged() const { return messages_since(log_offset_); }

    platform::main_queue queue_;
    platform::fake_desktop fakes_{queue_};
    platform::notification_center centre_;
    std::vector<std::chrono::milliseconds> pauses_;
    std::size_t log_offset_ = 0;
};

bool contains(const std::vector<std::wstring>& lines, const std::wstring& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

TEST_F(UiBridge, AFirstStartRegistersTheHelperAndChecksStartAtLogin) {
    osx_ui bridge(services());
    EXPECT_EQ(bridge.get_tray_icon(), 8);
    bridge.init();
    EXPECT_EQ(fakes_.login->requests, (std::vector<std::pair<std::string, bool>>{{login_helper_identifier, true}}));
    system_tray_menu_interface& menu = *bridge.get_tray_menu();
    EXPECT_TRUE(menu.is_tray_item_visible(k_tray_item_preferences_start_at_login));
    EXPECT_TRUE(menu.is_tray_item_visible(k_tray_item_separator_start_at_login));
    EXPECT_TRUE(menu.is_tray_item_checked(k_tray_item_preferences_start_at_login));
    EXPECT_TRUE(fakes_.defaults->stored().empty());  // registered, not written

    // A user who switched it off keeps it off, and nothing is registered.
    platform::fake_desktop other(queue_);
    other.defaults->set_bool(launched_at_login_default, false);
    osx_ui_services with = services();
    with.desktop = other.services();
    osx_ui declined(std::move(with));
    declined.init();
    EXPECT_TRUE(other.login->requests.empty());
    EXPECT_FALSE(declined.get_tray_menu()->is_tray_item_checked(k_tray_item_preferences_start_at_login));
    EXPECT_TRUE(declined.get_tray_menu()->is_tray_item_visible(k_tray_item_preferences_start_at_login));
}

TEST_F(UiBridge, TogglingTwiceRestoresAndAFailedRegistrationChangesNothing) {
    osx_ui bridge(services());
    bridge.init();
    system_tray_menu_interface& menu = *bridge.get_tray_menu();
    bridge.on_menu_action(k_tray_item_preferences_start_at_login);
    EXPECT_FALSE(menu.is_tray_item_checked(k_tray_item_preferences_start_at_login));
    EXPECT_FALSE(fakes_.defaults->get_bool(launched_at_login_default));
    bridge.on_menu_action(k_tray_item_preferences_start_at_login);
    EXPECT_TRUE(menu.is_tray_item_checked(k_tray_item_preferences_start_at_login));
    EXPECT_TRUE(fakes_.defaults->get_bool(launched_at_login_default));
    EXPECT_EQ(fakes_.login->requests.back(), (std::pair<std::string, bool>{login_helper_identifier, true}));
    EXPECT_EQ(fakes_.defaults->synchronized, 2);
    EXPECT_TRUE(contains(logged(), L"[osx_ui:ux_toggle_start_at_login()] Trying to set 'LaunchedAtLogin' to false. "
                                   L"SUCCEEDED"));

    fakes_.login->refuse = true;
    bridge.on_menu_action(k_tray_item_preferences_start_at_login);
    EXPECT_TRUE(menu.is_tray_item_checked(k_tray_item_preferences_start_at_login));
    EXPECT_TRUE(fakes_.defaults->get_bool(launched_at_login_default));
    EXPECT_EQ(fakes_.defaults->synchronized, 2);
    EXPECT_TRUE(contains(logged(), L"[osx_ui:ux_toggle_start_at_login()] Trying to set 'LaunchedAtLogin' to false. "
                                   L"FAILED"));
}

// With the real autostart entries: Debian's validator reads what `init` wrote.
TEST_F(UiBridge, TheAutostartEntryRunsTheBundlesHelperAndAFileInTheWayIsAFailure) {
    const std::string bundle = KES_TEST_BUNDLE_DIR;
    const std::string helper = bundle + "/Contents/Library/LoginItems/Kestrel-Helper.app/Contents/MacOS/Kestrel-Helper";
    ASSERT_TRUE(stdfs::exists(helper)) << helper;
    const std::string autostart = testing::private_home() + "/bridge-autostart";
    osx_ui_services with = services();
    with.desktop.login = platform::make_autostart_login_items(bundle, autostart);
    osx_ui bridge(std::move(with));
    bridge.init();

    const std::string entry = autostart + "/com.kestrel.Kestrel-Helper.desktop";
    const std::string text = testing::read_file(entry);
    EXPECT_NE(text.find("Exec=\"" + helper + "\"\n"), std::string::npos) << text;
    std::unique_ptr<FILE, int (*)(FILE*)> validator(
        ::popen(("desktop-file-validate '" + entry + "' 2>&1").c_str(), "r"), ::pclose);
    ASSERT_TRUE(validator);
    std::string verdict;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), validator.get())) verdict += buffer.data();
    EXPECT_EQ(::pclose(validator.release()), 0) << verdict;
    EXPECT_EQ(verdict, "");

    bridge.on_menu_action(k_tray_item_preferences_start_at_login);  // off: the entry goes
    EXPECT_FALSE(stdfs::exists(entry));
    stdfs::remove_all(autostart);
    std::ofstream(autostart) << "not a folder";
    bridge.on_menu_action(k_tray_item_preferences_start_at_login);  // on: cannot be written
    EXPECT_FALSE(bridge.get_tray_menu()->is_tray_item_checked(k_tray_item_preferences_start_at_login));
    EXPECT_FALSE(fakes_.defaults->get_bool(launched_at_login_default));
    EXPECT_EQ(testing::read_file(autostart), "not a folder");
    EXPECT_TRUE(contains(logged(), L"[osx_ui:ux_toggle_start_at_login()] Trying to set 'LaunchedAtLogin' to true. "
                                   L"FAILED"));
}

// A desktop's startup settings switch an entry off without removing it.
TEST_F(UiBridge, AnEntrySwitchedOffByTheDesktopStaysAsTheUserLeftItAndShowsStartAtLoginOff) {
    const std::string bundle = KES_TEST_BUNDLE_DIR;
    const std::string autostart = testing::private_home() + "/switched-off-autostart";
    const std::string entry = autostart + "/com.kestrel.Kestrel-Helper.desktop";
    for (const std::string off : {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"}) {
        SCOPED_TRACE(off);
        stdfs::remove_all(autostart);
        platform::fake_desktop fresh(queue_);
        osx_ui_services with = services();
        with.desktop = fresh.services();
        with.desktop.login = platform::make_autostart_login_items(bundle, autostart);
        {
            osx_ui first(with);
            first.init();  // the first start writes the entry
        }
        std::ofstream(entry, std::ios::app) << off;
        const std::string left = testing::read_file(entry);

        osx_ui next(with);
        next.init();
        EXPECT_EQ(testing::read_file(entry), left);
        EXPECT_FALSE(next.get_tray_menu()->is_tray_item_checked(k_tray_item_preferences_start_at_login));
        EXPECT_FALSE(fresh.defaults->get_bool(launched_at_login_default));

        next.on_menu_action(k_tray_item_preferences_start_at_login);  // the user turns it on in the menu
        EXPECT_TRUE(next.get_tray_menu()->is_tray_item_checked(k_tray_item_preferences_start_at_login));
        EXPECT_TRUE(with.desktop.login->is_enabled(login_helper_identifier));
    }
}

TEST_F(UiBridge, AddressesAreEscapedOnceAndOpenOnTheMainThreadOnlyAsWebPages) {
    osx_ui bridge(services());
    std::thread([&] {
        bridge.ux_open_url(L"https://app.example/blocked/url/https%3A%2F%2Fnews.example%2F?q=caf\u00e9 au lait");
    }).join();
    EXPECT_TRUE(fakes_.opener->requests().empty());  // handed to the main queue
    queue_.run_pending();
    const auto requests = fakes_.opener->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "https://app.example/blocked/url/https%3A%2F%2Fnews.example%2F?q=caf%C3%A9%20au%20lait");
    EXPECT_EQ(requests[0].thread, std::this_thread::get_id());

    for (const std::wstring refused : {L"file:///etc/passwd", L"javascript:alert(1)"}) {
        bridge.ux_open_url(refused);
        EXPECT_TRUE(contains(logged(), L"[osx_ui::ux_open_url()] could not open url: " + refused)) << refused;
    }
    // The query may hold the account key: the log shows the page only.
    fakes_.opener->web_page_answer = platform::open_result::failure("no browser");
    bridge.ux_open_url(L"https://app.example/enterprise/opt_in?account_key=AK-secret-1234");
    queue_.run_pending();
    EXPECT_TRUE(contains(logged(), L"[osx_ui::ux_open_url()] could not open url: https://app.example/enterprise/opt_in?..."));
    for (const auto& line : logged()) EXPECT_EQ(line.find(L"AK-secret"), std::wstring::npos) << line;
    EXPECT_EQ(fakes_.opener->opened_pages().size(), 1u);
}

TEST_F(UiBridge, FoldersAreShownThroughTheFileManagerFromTheMainThread) {
    osx_ui bridge(services());
    std::thread([&] { bridge.open_in_finder(L"/home/ana/Daten \u00fcber/KestrelData"); }).join();
    queue_.run_pending();
    const auto requests = fakes_.opener->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].web_page);
    EXPECT_EQ(requests[0].target, "/home/ana/Daten \xC3\xBC" "ber/KestrelData");
    EXPECT_EQ(requests[0].thread, std::this_thread::get_id());
}

TEST_F(UiBridge, StatusTextsReachTheControllerAndTheSignInViewsOnTheMainQueue) {
    osx_ui bridge(services());
    auto controller = std::make_shared<recording_delegate>();
    bridge.set_delegate(controller);
    std::vector<std::string> statuses;
    int activations = 0;
    auto status_token = centre_.add_observer(activation_status_notification, [&](const platform::user_info& info) {
        statuses.push_back(info.at(activation_status_key));
    });
    auto activated_token = centre_.add_observer(did_activate_notification, [&](const platform::user_info&) {
        ++activations;
    });

    std::thread([&] {
        bridge.set_status_message(L"Signing in \u2026");
        bridge.set_state_post_activate();
    }).join();
    EXPECT_TRUE(statuses.empty());
    queue_.run_pending();
    EXPECT_EQ(statuses, std::vector<std::string>{"Signing in \xE2\x80\xA6"});
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(controller->calls(), (std::vector<std::wstring>{L"status Signing in \u2026 0", L"post_activate"}));
    EXPECT_EQ(controller->last_thread(), std::this_thread::get_id());
}

TEST_F(UiBridge, EveryOperationForwardsOnlyToAControllerThatExists) {
    osx_ui bridge(services());
    bridge.init();
    config::instance().set_debug_log_level(0xFFFF & ~log_level::url);
    const auto exercise = [&] {
        bridge.ux_set_tray_icon(1);
        bridge.ux_show_offline_time();
        bridge.ux_hide_offline_time();
        bridge.ux_set_offline_time_labels({L"a"});
        bridge.ux_set_offline_time_start_time(L"since 9:30");
        bridge.ux_set_offline_time_elapsed_time(L"0:45:00");
        bridge.show_still_zone_window();
        bridge.hide_still_zone_window();
        bridge.set_still_zone_minutes(30);
        bridge.ux_set_dynamic1_text(L"x");
        bridge.show_preferences_window();
        bridge.go_to_help();
        bridge.set_help_info(L"Current Status: fine");
        bridge.set_ts_debug_log_level(5);
        bridge.set_ts_idle_time(12);
        bridge.set_ts_debug_log_location(L"/log");
        bridge.set_ts_os_username(L"ana");
        bridge.set_ts_machine_name(L"box");
        bridge.set_ts_application_name(L"xterm");
        bridge.set_ts_application_version(L"1");
        bridge.set_ts_window_title(L"t");
        bridge.set_ts_extended_info(L"p");
        bridge.set_control_checked_log_network(true);
        bridge.set_control_checked_log_ctor(false);
    };
    exercise();  // no controller yet: nothing happens, nothing breaks
    EXPECT_EQ(bridge.get_tray_icon(), 1);
    EXPECT_EQ(bridge.get_username(), L"");
    EXPECT_FALSE(bridge.is_troubleshooting_visible());
    // Without the window the boxes stand for the mask as it is.
    EXPECT_TRUE(bridge.get_control_checked_log_error());
    EXPECT_FALSE(bridge.get_control_checked_log_url());

    auto controller = std::make_shared<recording_delegate>();
    bridge.set_delegate(controller);
    exercise();
    EXPECT_EQ(controller->calls(),
              (std::vector<std::wstring>{L"tray 1", L"show_offline", L"hide_offline", L"labels", L"start since 9:30",
                                         L"elapsed 0:45:00", L"show_focus", L"hide_focus", L"minutes 30",
                                         L"preferences", L"help", L"help_info Current Status: fine", L"ts_level 5",
                                         L"ts_idle 12", L"ts_location /log", L"ts_user ana", L"ts_machine box",
                                         L"ts_app xterm", L"ts_version 1", L"ts_title t", L"ts_page p",
                                         L"box 6 on", L"box 4 off"}));
    EXPECT_EQ(bridge.get_username(), L"ana@example.org");
    EXPECT_EQ(bridge.get_password(), L"pw");
    EXPECT_TRUE(bridge.is_troubleshooting_visible());
    EXPECT_TRUE(bridge.get_control_checked_log_url());
    EXPECT_FALSE(bridge.get_control_checked_log_error());
    EXPECT_TRUE(contains(logged(), L"[osx_ui:ux_set_dynamic1_text] Exception caught: no such item"));
    EXPECT_TRUE(contains(logged(), L"[osx_ui:ux_show_offline_time]Show OfflineTime Window"));

    bridge.end_desktop();
    bridge.go_to_help();  // the controller has ended: nothing is forwarded
    EXPECT_EQ(controller->calls().size(), 23u);
}

TEST_F(UiBridge, AlertsRunInAMainQueueTaskWithTheTitleAsHeadline) {
    osx_ui bridge(services());
    bridge.show_alert(L"Debug log was successfully received by the server.", L"Kestrel Message");
    EXPECT_TRUE(fakes_.alerts->alerts().empty());  // the caller goes on at once
    queue_.run_pending();
    const auto shown = fakes_.alerts->alerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.message, "Kestrel Message");
    EXPECT_EQ(shown[0].request.informative_text, "Debug log was successfully received by the server.");
    EXPECT_EQ(shown[0].request.button_titles(), std::vector<std::string>{"OK"});
    EXPECT_EQ(shown[0].thread, std::this_thread::get_id());

    std::vector<bool> confirmed;
    const auto answered = [&](bool yes) { confirmed.push_back(yes); };
    fakes_.alerts->queue_answer({alert_first_button + 1, {}});
    bridge.confirm_reset_configuration(answered);
    fakes_.alerts->queue_answer({alert_first_button, {}});
    bridge.confirm_reset_configuration(answered);
    EXPECT_EQ(confirmed, (std::vector<bool>{false, true}));
    const platform::alert reset = fakes_.alerts->alerts().back().request;
    EXPECT_EQ(reset.message, "Warning: Reset Configuration?");
    EXPECT_EQ(reset.informative_text,
              "Resetting your configuration will require you to re-register Kestrel using the account email and "
              "password.  Only do this if you have been instructed by Kestrel Support.");
    EXPECT_EQ(reset.buttons, (std::vector<std::string>{"OK", "Cancel"}));
    EXPECT_EQ(reset.kind, platform::alert::style::warning);
}

TEST_F(UiBridge, TheTwoFactorPromptIsAskedFromTheSignInThreadOnly) {
    osx_ui bridge(services());
    EXPECT_EQ(bridge.ask_two_factor_code(L""), L"");
    EXPECT_TRUE(fakes_.alerts->alerts().empty());
    EXPECT_TRUE(pauses_.empty());
    EXPECT_TRUE(contains(logged(), L"[osx_ui:ask_two_factor_code] Refused: the prompt cannot be asked for on the main "
                                   L"thread."));

    std::wstring typed, cancelled;
    std::atomic<bool> asked{false};
    fakes_.alerts->queue_answer({alert_first_button, "123 456"});
    fakes_.alerts->queue_answer({alert_first_button + 1, "654321"});
    std::thread sign_in([&] {
        typed = bridge.ask_two_factor_code(L"");
        cancelled = bridge.ask_two_factor_code(L"");
        asked = true;
    });
    // The prompts are shown on the main thread.
    EXPECT_TRUE(queue_.serve_until([&] { return asked.load(); }, std::chrono::seconds(20)));
    sign_in.join();
    EXPECT_EQ(typed, L"123 456");
    EXPECT_EQ(cancelled, L"");  // Cancel gives nothing, whatever was typed
    EXPECT_EQ(pauses_, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(500),
                                                              std::chrono::milliseconds(500)}));
    EXPECT_EQ(fakes_.alerts->alerts().front().thread, std::this_thread::get_id());
    const platform::alert prompt = fakes_.alerts->alerts().front().request;
    EXPECT_EQ(prompt.message, "Enter 2 factor authentication code:");
    EXPECT_EQ(prompt.buttons, (std::vector<std::string>{"OK", "Cancel"}));
    ASSERT_TRUE(prompt.field);
    EXPECT_EQ(prompt.field->width, 230);
    EXPECT_EQ(prompt.field->height, 24);
    EXPECT_EQ(prompt.field->text, "");
    EXPECT_EQ(prompt.initial_focus, platform::alert::focus::field);
}

TEST_F(UiBridge, NotificationsAndComputerFieldsGoToTheirServices) {
    osx_ui bridge(services());
    bridge.show_user_notification(L"Stillzone session ended.");
    ASSERT_EQ(fakes_.notifier->notifications().size(), 1u);
    EXPECT_EQ(fakes_.notifier->notifications()[0].title, "Kestrel Alert");
    EXPECT_EQ(fakes_.notifier->notifications()[0].text, "Stillzone session ended.");

    EXPECT_EQ(bridge.get_computer_brand(), L"Test Maker");
    EXPECT_EQ(bridge.get_computer_make(), L"Test Machine");
    EXPECT_EQ(bridge.get_computer_model(), L"3");
    EXPECT_EQ(bridge.get_platform_version(), L"Test OS 1.0");
}

TEST_F(UiBridge, WithoutADesktopItRunsHeadlessAndQuitsThroughTheQueue) {
    osx_ui_services with;
    with.queue = &queue_;
    osx_ui bridge(std::move(with));
    bridge.init();
    bridge.show_alert(L"m", L"t");
    bridge.ux_open_url(L"https://app.example/");
    bridge.show_user_notification(L"n");
    EXPECT_EQ(bridge.ask_two_factor_code(L""), L"");
    bool confirmed = true;
    bridge.confirm_reset_configuration([&](bool yes) { confirmed = yes; });
    EXPECT_FALSE(confirmed);
    EXPECT_EQ(bridge.get_platform_version(), L"");
    bridge.quit();
    EXPECT_EQ(bridge.run_gui(), 0);
    EXPECT_TRUE(config::instance().get_gui_loaded());
}

}  // namespace
}  // namespace kes
