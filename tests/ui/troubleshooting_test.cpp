// The troubleshooting window: the debug-log mask and its checkboxes both
// ways, the loop step that keeps the window's fields current, the reset and
// the data-folder button.
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "tests/ui/ui_fixture.h"

#include <algorithm>

namespace kes {
namespace {

class TroubleshootingTest : public testing::UiTest {
protected:
    void SetUp() override {
        testing::UiTest::SetUp();
        settings().set_os_username(L"ada");
        settings().set_computer_name(L"desk-7");
        settings().set_current_application_name(L"xterm");
        settings().set_current_application_version(L"379");
        settings().set_current_window_title(L"~/src");
        settings().set_current_extended_info(L"");
        idle_system_->idle = 42;
    }

    std::vector<std::wstring> troubleshooting_calls(std::size_t since = 0) const {
        std::vector<std::wstring> found;
        for (const std::wstring& call : calls_since(since)) {
            if (call.rfind(L"set_ts_", 0) == 0 || call.rfind(L"set_control_checked_log", 0) == 0) {
                found.push_back(call);
            }
        }
        return found;
    }

    // The checkboxes as set, in the window's order, as a string of 0 and 1.
    std::wstring checkboxes_set(std::size_t since) const {
        std::wstring shown(13, L'?');
        for (const std::wstring& call : calls_since(since)) {
            if (call.rfind(L"set_control_checked_log ", 0) != 0) continue;
            const std::size_t colon = call.find(L':');
            shown.at(std::stoul(call.substr(24, colon - 24))) = call.back();
        }
        return shown;
    }
};

TEST_F(TroubleshootingTest, WhileTheWindowIsClosedNothingOfItIsReadOrWritten) {
    ui_.answer_troubleshooting_visible(false);
    ui_.refresh_troubleshooting();
    EXPECT_EQ(ui_.calls(), std::vector<std::wstring>{});
}

TEST_F(TroubleshootingTest, TheFirstPassFillsEveryFieldAndLaterPassesOnlyWhatChanged) {
    settings().set_debug_log_level(0x1025);  // error, info, ui, user1
    ui_.answer_troubleshooting_visible(true);
    ui_.refresh_troubleshooting();
    EXPECT_EQ(checkboxes_set(0), L"1010010001000");
    const std::wstring log_path = util::utf8_to_wstring(system::create()->get_debug_log_path());
    std::vector<std::wstring> fields = troubleshooting_calls();
    fields.erase(std::remove_if(fields.begin(), fields.end(),
                                [](const std::wstring& call) { return call.rfind(L"set_control", 0) == 0; }),
                 fields.end());
    EXPECT_EQ(fields, (std::vector<std::wstring>{
                          L"set_ts_debug_log_level: 4133", L"set_ts_idle_time: 42",
                          L"set_ts_debug_log_location: " + log_path, L"set_ts_os_username: ada",
                          L"set_ts_machine_name: desk-7", L"set_ts_application_name: xterm",
                          L"set_ts_application_version: 379", L"set_ts_window_title: ~/src",
                          L"set_ts_extended_info: "}));

    // Nothing changed: only the idle time, every pass.
    std::size_t before = ui_.call_count();
    idle_system_->idle = 43;
    ui_.refresh_troubleshooting();
    EXPECT_EQ(troubleshooting_calls(before), std::vector<std::wstring>{L"set_ts_idle_time: 43"});

    // A new page in front: the fields again; a new mask: the checkboxes again.
    before = ui_.call_count();
    settings().set_current_extended_info(L"https://example.org/");
    settings().set_debug_log_level(0x2);
    ui_.refresh_troubleshooting();
    const auto changed = troubleshooting_calls(before);
    EXPECT_EQ(checkboxes_set(before), L"0100000000000");
    EXPECT_NE(std::find(changed.begin(), changed.end(), L"set_ts_debug_log_level: 2"), changed.end());
    EXPECT_NE(std::find(changed.begin(), changed.end(), L"set_ts_extended_info: https://example.org/"), changed.end());
}

TEST_F(TroubleshootingTest, AWindowOpenedAgainShowsEveryValueEvenAnEmptyMask) {
    settings().set_debug_log_level(0);
    ui_.answer_troubleshooting_visible(true);
    ui_.refresh_troubleshooting();
    EXPECT_EQ(checkboxes_set(0), L"0000000000000");
    ui_.answer_troubleshooting_visible(false);
    ui_.refresh_troubleshooting();

    std::size_t before = ui_.call_count();
    ui_.answer_troubleshooting_visible(true);
    ui_.refresh_troubleshooting();
    EXPECT_EQ(checkboxes_set(before), L"0000000000000");
    const auto calls = troubleshooting_calls(before);
    for (const wchar_t* field : {L"set_ts_debug_log_level: 0", L"set_ts_window_title: ~/src",
                                 L"set_ts_application_name: xterm", L"set_ts_machine_name: desk-7"}) {
        EXPECT_NE(std::find(calls.begin(), calls.end(), field), calls.end()) << util::wstring_to_utf8(field);
    }
    // Left open, it goes back to the idle time alone.
    before = ui_.call_count();
    ui_.refresh_troubleshooting();
    EXPECT_EQ(troubleshooting_calls(before), std::vector<std::wstring>{L"set_ts_idle_time: 42"});
    settings().set_debug_log_level(0xFFFF);
}

TEST_F(TroubleshootingTest, WithTheAgentsOwnWindowInFrontTheFieldsKeepTheApplicationSeenBefore) {
    ui_.answer_troubleshooting_visible(true);
    ui_.refresh_troubleshooting();
    for (const wchar_t* own : {L"kestrel", L"Kestrel.app", L"kestrel.exe"}) {
        const std::size_t before = ui_.call_count();
        settings().set_current_application_name(own);
        settings().set_current_window_title(L"Troubleshooting");
        idle_system_->idle = 7;
        ui_.refresh_troubleshooting();
        EXPECT_EQ(troubleshooting_calls(before), std::vector<std::wstring>{L"set_ts_idle_time: 7"})
            << util::wstring_to_utf8(own);
    }
    const std::size_t before = ui_.call_count();
    settings().set_current_application_name(L"chromium");
    ui_.refresh_troubleshooting();
    const auto calls = troubleshooting_calls(before);
    EXPECT_NE(std::find(calls.begin(), calls.end(), L"set_ts_application_name: chromium"), calls.end());
}

TEST_F(TroubleshootingTest, ClickingACheckboxKeepsTheBitsThatHaveNone) {
    const std::uint32_t without_checkbox = 0xFFFF0E00;  // bits 9-11 and 16-31
    settings().set_debug_log_level(without_checkbox | 0x1);
    ui_.set_log_category_checkboxes();
    EXPECT_EQ(checkboxes_set(0), L"1000000000000");
    ui_.click_checkbox(0, false);  // error off
    ui_.click_checkbox(8, true);   // url on
    ui_.click_checkbox(12, true);  // user4 on
    ui_.on_debug_level_changed();
    EXPECT_EQ(settings().get_debug_log_level(), without_checkbox | 0x100 | 0x8000);

    // Each box alone sets its own bit: error ... url are bits 0-8, user1-4 bits 12-15.
    const std::uint32_t bits[13] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x1000, 0x2000, 0x4000, 0x8000};
    for (std::size_t alone = 0; alone < 13; ++alone) {
        for (std::size_t i = 0; i < 13; ++i) ui_.click_checkbox(i, i == alone);
        ui_.on_debug_level_changed();
        EXPECT_EQ(settings().get_debug_log_level(), without_checkbox | bits[alone]) << "box " << alone;
    }
    // Every box on, then every box off.
    for (std::size_t i = 0; i < 13; ++i) ui_.click_checkbox(i, true);
    ui_.on_debug_level_changed();
    EXPECT_EQ(settings().get_debug_log_level(), 0xFFFFFFFFu);
    for (std::size_t i = 0; i < 13; ++i) ui_.click_checkbox(i, false);
    ui_.on_debug_level_changed();
    EXPECT_EQ(settings().get_debug_log_level(), without_checkbox);
    settings().set_debug_log_level(0xFFFF);
}

TEST_F(TroubleshootingTest, TheResetNeedsAConfirmationAndKeepsNoAccountKey) {
    settings().set_account_key(L"AK-test-1234");
    settings().set_scan_interval(7);
    ui_.answer_confirmation(false);
    ui_.on_reset_config();
    EXPECT_EQ(settings().get_account_key(), L"AK-test-1234");
    const std::size_t before = testing::log_size();
    ui_.answer_confirmation(true);
    ui_.on_reset_config();
    EXPECT_EQ(settings().get_account_key(), L"");
    EXPECT_EQ(settings().get_scan_interval(), 1u);
    const auto lines = testing::log_lines_since(before);
    // The reset brings the default mask, which keeps the error line.
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        testing::log_line{1, L"[User Action][ui::on_reset_config] User chose to reset Kestrel config."}),
              lines.end());
    const auto calls = ui_.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), L"confirm_reset_configuration"), 2);
    settings().set_debug_log_level(0xFFFF);

    // The windows are still there: the loop goes on serving them.
    EXPECT_TRUE(settings().get_gui_loaded());
    settings().set_check_updates(false);
    const std::size_t before_pass = testing::log_size();
    passes(1);
    const auto messages = testing::messages_since(before_pass);
    EXPECT_EQ(std::count(messages.begin(), messages.end(),
                         L"[ui::event_handler] UI has not been initialized, skipping UI events"),
              0);
    EXPECT_NE(std::find(messages.begin(), messages.end(), L"[ui:event_handler]before refresh_help_info"),
              messages.end());
}

TEST_F(TroubleshootingTest, TheFolderButtonShowsTheDataFolder) {
    ui_.on_open_directory();
    EXPECT_EQ(ui_.calls(), std::vector<std::wstring>{L"open_in_finder: " +
                                                     util::utf8_to_wstring(system::create()->get_data_dir())});
}

}  // namespace
}  // namespace kes
