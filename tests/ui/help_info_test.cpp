// The help window's diagnostic text: its ten lines and their rules, and how
// often the loop rebuilds it.
#include "core/ui/help_info.h"
#include "tests/ui/ui_fixture.h"

#include <algorithm>

namespace kes {
namespace {

using boost::posix_time::hours;
using boost::posix_time::minutes;
using boost::posix_time::time_from_string;

std::vector<std::wstring> lines_of(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

help_facts some_facts() {
    help_facts facts;
    facts.now = time_from_string("2024-05-01 17:30:05");
    facts.status_text = L"Successfully sent data at 17:00";
    facts.last_successful_send = time_from_string("2024-05-01 17:00:00");
    facts.running_since = time_from_string("2024-05-01 08:15:00");
    facts.client_version = L"1.2.3.45";
    facts.last_event_time = time_from_string("2024-05-01 17:30:05");
    facts.last_scan_time = time_from_string("2024-05-01 17:30:04");
    facts.last_push_time = time_from_string("2024-05-01 17:00:00");
    facts.last_pull_time = time_from_string("2024-05-01 17:25:00");
    facts.os_username = L"ada";
    facts.computer_name = L"desk-7";
    facts.account_key = L"AK-demo-7f3c9e21b8d44a0f9c5e";
    facts.schedule_enabled = true;
    facts.scheduled_days = 0x3E;  // Monday to Friday
    facts.schedule_start = hours(9);
    facts.schedule_stop = hours(17);
    facts.blocking = true;
    facts.blocked_item_count = 3;
    facts.blocking_until = time_from_string("2024-05-01 18:00:00");
    facts.offline_time_enabled = true;
    facts.offline_dismissed_until = time_from_string("2024-05-01 18:30:05");
    facts.platform_version = L"Debian GNU/Linux 12 (bookworm)";
    return facts;
}

TEST(HelpInfoText, TenLinesEachEndingInCarriageReturnAndLineFeed) {
    const std::wstring text = help_info_text(some_facts());
    EXPECT_EQ(lines_of(text),
              (std::vector<std::wstring>{
                  L"Current Status: Successfully sent data at 17:00",
                  L"Last Successful Send: 2024-May-01 17:00:00 (00:30:05)",
                  L"Application Running Since: 2024-May-01 08:15:00 (09:15:05) current: 2024-May-01 17:30:05",
                  L"Application Information: 1.2.3.45 ev: 2024-May-01 17:30:05 sc: 2024-May-01 17:30:04",
                  L"Thread Information:  ps: 2024-May-01 17:00:00 pl: 2024-May-01 17:25:00",
                  L" User Information: ada@desk-7 : f9c5e",
                  L"Schedule Information: ON Days: MoTuWeThFr from: 09:00:00 to 17:00:00",
                  L"Stillzone Information: (Enabled) with 3 blocked items until: 2024-May-01 18:00:00",
                  L"OfflineTime Information: (Enabled) dismissed until: 2024-May-01 18:30:05",
                  L"Platform Version: Debian GNU/Linux 12 (bookworm)",
              }));
    // No line end other than the ten.
    EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'), 10);
    EXPECT_EQ(std::count(text.begin(), text.end(), L'\r'), 10);
}

TEST(HelpInfoText, AKeyShowsItsLastFiveCharactersOnlyFromElevenOn) {
    help_facts facts = some_facts();
    facts.account_key = L"0123456789";
    EXPECT_EQ(lines_of(help_info_text(facts))[5], L" User Information: ada@desk-7 : unset");
    facts.account_key = L"0123456789A";
    EXPECT_EQ(lines_of(help_info_text(facts))[5], L" User Information: ada@desk-7 : 6789A");
    facts.account_key = L"";
    EXPECT_EQ(lines_of(help_info_text(facts))[5], L" User Information: ada@desk-7 : unset");
}

TEST(HelpInfoText, ScheduleFocusSessionAndOfflineTimeInTheirOtherStates) {
    help_facts facts = some_facts();
    facts.schedule_enabled = false;
    facts.scheduled_days = 0x7F;
    EXPECT_EQ(lines_of(help_info_text(facts))[6], L"Schedule Information: OFF Days: ALL from: 09:00:00 to 17:00:00");
    facts.scheduled_days = 0;
    facts.schedule_stop = boost::posix_time::time_duration(boost::posix_time::not_a_date_time);
    EXPECT_EQ(lines_of(help_info_text(facts))[6],
              L"Schedule Information: OFF Days: NONE from: 09:00:00 to not-a-date-time");
    facts.scheduled_days = 0x41;  // Saturday and Sunday
    EXPECT_EQ(lines_of(help_info_text(facts))[6].substr(0, 37), L"Schedule Information: OFF Days: SuSa ");

    facts.blocking_always = true;
    facts.blocking = false;
    facts.blocked_item_count = 0;
    EXPECT_EQ(lines_of(help_info_text(facts))[7],
              L"Stillzone Information: (Always):(Disabled) with 0 blocked items until: 2024-May-01 18:00:00");
    facts.blocked_item_count = 1205;
    EXPECT_EQ(lines_of(help_info_text(facts))[7],
              L"Stillzone Information: (Always):(Disabled) with 1205 blocked items until: 2024-May-01 18:00:00");

    facts.offline_time_enabled = false;
    facts.offline_dismissed_until = facts.now;  // not in the future
    EXPECT_EQ(lines_of(help_info_text(facts))[8], L"OfflineTime Information: (Disabled)");
}

class HelpInfoLoopTest : public testing::UiTest {};

TEST_F(HelpInfoLoopTest, TheTextIsRebuiltOnTheFirstPassAndThenEveryFourth) {
    std::vector<int> rebuilt_at;
    for (int pass = 1; pass <= 13; ++pass) {
        const std::size_t before = ui_.call_count();
        ui_.refresh_help_info();
        for (const std::wstring& call : calls_since(before)) {
            if (call.rfind(L"set_help_info: Current Status: ", 0) == 0) rebuilt_at.push_back(pass);
        }
    }
    EXPECT_EQ(rebuilt_at, (std::vector<int>{1, 5, 9, 13}));
}

TEST_F(HelpInfoLoopTest, TheTextTellsTheStoreAsItIs) {
    settings().set_account_key(L"AK-test-1234");
    settings().set_os_username(L"ada");
    settings().set_computer_name(L"desk-7");
    settings().set_status_message(L"All good", 0);
    settings().set_offline_dismissed_until(now() + minutes(30));
    settings().set_timepie_enabled(true);
    ui_.answer_computer(L"", L"", L"Debian 12");
    ui_.refresh_help_info();
    const std::wstring call = ui_.calls().back();
    ASSERT_EQ(call.rfind(L"set_help_info: ", 0), 0u);
    const auto lines = lines_of(call.substr(15));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], L"Current Status: All good");
    EXPECT_EQ(lines[5], L" User Information: ada@desk-7 : -1234");
    EXPECT_EQ(lines[8], L"OfflineTime Information: (Enabled) dismissed until: 2024-May-01 18:00:05");
    EXPECT_EQ(lines[9], L"Platform Version: Debian 12");
}

}  // namespace
}  // namespace kes
