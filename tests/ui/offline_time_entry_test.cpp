// Entering and dismissing offline time: the away period the loop measured
// becomes one record of its own kind, once, with what the user chose.
#include "core/foundation/time_util.h"
#include "tests/ui/ui_fixture.h"

#include <algorithm>

namespace kes {
namespace {

using boost::posix_time::hours;
using boost::posix_time::seconds;

class OfflineTimeEntryTest : public testing::UiTest {
protected:
    void SetUp() override {
        testing::UiTest::SetUp();
        enable_offline_time();
        settings().set_computer_name(L"desk-7");
        settings().set_os_username(L"ada");
    }

    // The user leaves for `away` seconds, then comes back: the prompt shows.
    ptime be_away_and_return(long away) {
        idle_system_->idle = static_cast<double>(away);
        ui_.display_offline_time();
        idle_system_->idle = 0;
        ui_.display_offline_time();
        return now() - seconds(away);
    }

    bool logged(std::size_t since, std::uint32_t level, const std::wstring& message) const {
        const auto lines = testing::log_lines_since(since);
        return std::find(lines.begin(), lines.end(), testing::log_line{level, message}) != lines.end();
    }
};

TEST_F(OfflineTimeEntryTest, TheAwayPeriodBecomesOneOfflineRecordWithTheLabelAndTheDetails) {
    const ptime left = be_away_and_return(1500);
    const std::size_t before = testing::log_size();
    advance(seconds(40));  // the time the user takes to fill the window is not counted
    ui_.on_enter_offline_time(L"Meeting", L"Planning the \"Q3\" launch");

    const auto records = recorded();
    ASSERT_EQ(records.size(), 1u);
    const log_entry& record = records[0];
    EXPECT_EQ(record.get_application_name(), L"Meeting");
    EXPECT_EQ(record.get_window_title(), L"Planning the \"Q3\" launch");
    EXPECT_EQ(record.get_entry_type(), L"5");
    EXPECT_EQ(record.get_started(), left);
    EXPECT_EQ(record.get_completed(), left + seconds(1500));
    EXPECT_EQ(record.get_computer_name(), L"desk-7");
    EXPECT_EQ(record.get_os_username(), L"ada");
    EXPECT_EQ(ui_.calls().back(), L"ux_hide_offline_time");
    std::wstring row = record.to_csv_row();
    row.pop_back();  // the row's own line feed ends the log line
    EXPECT_TRUE(logged(before, 4, L"[ui:on_enter_offline_time]" + row));

    // The period was entered: a second submission records nothing.
    const std::size_t second = testing::log_size();
    ui_.on_enter_offline_time(L"Meeting", L"again");
    EXPECT_EQ(recorded().size(), 1u);
    EXPECT_TRUE(logged(second, 2, L"[ui:on_enter_offline_time] No away period is open; nothing is recorded."));
}

TEST_F(OfflineTimeEntryTest, AClockThatGoesBackNeverMakesThePeriodEndBeforeItBegan) {
    // Away for ten minutes, then the wall clock falls back an hour (local
    // time at the end of summer time); the user is away 50 s more.
    settings().set_offline_dismissed_until(now() - hours(2));
    idle_system_->idle = 600;
    ui_.display_offline_time();
    advance(seconds(30));
    idle_system_->idle = 630;
    ui_.display_offline_time();
    advance(seconds(20) - hours(1));
    idle_system_->idle = 650;
    ui_.display_offline_time();
    const ptime last_seen_away = now();
    idle_system_->idle = 0;
    ui_.display_offline_time();
    ui_.on_enter_offline_time(L"Meeting", L"");
    const auto records = recorded();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].get_completed(), last_seen_away);
    EXPECT_EQ(records[0].get_completed() - records[0].get_started(), seconds(650));
}

TEST_F(OfflineTimeEntryTest, ComingBackEndsThePeriodAndALaterEntryCoversNoWorkedTime) {
    // Back from ten minutes away; the prompt stays unanswered for an hour of work.
    const ptime first_left = be_away_and_return(600);
    const ptime first_back = now();
    for (int i = 0; i < 6; ++i) {
        advance(seconds(600));
        ui_.display_offline_time();
    }
    ui_.on_enter_offline_time(L"Meeting", L"");
    ASSERT_EQ(recorded().size(), 1u);
    EXPECT_EQ(recorded()[0].get_started(), first_left);
    EXPECT_EQ(recorded()[0].get_completed(), first_back);

    // Away, back, an hour of work, away again: an entry covers the second absence alone.
    be_away_and_return(600);
    for (int i = 0; i < 6; ++i) {
        advance(seconds(600));
        ui_.display_offline_time();
    }
    const ptime second_left = be_away_and_return(400);
    ui_.on_enter_offline_time(L"Phone", L"");
    ASSERT_EQ(recorded().size(), 2u);
    EXPECT_EQ(recorded()[1].get_started(), second_left);
    EXPECT_EQ(recorded()[1].get_completed(), second_left + seconds(400));

    // Coming back while the prompt is switched off still ends the period.
    idle_system_->idle = 600;
    ui_.display_offline_time();
    settings().set_timepie_enabled(false);
    idle_system_->idle = 0;
    ui_.display_offline_time();
    advance(seconds(3000));
    settings().set_timepie_enabled(true);
    const ptime third_left = be_away_and_return(500);
    ui_.on_enter_offline_time(L"Lunch", L"");
    ASSERT_EQ(recorded().size(), 3u);
    EXPECT_EQ(recorded()[2].get_started(), third_left);
    EXPECT_EQ(recorded()[2].get_completed(), third_left + seconds(500));
}

TEST_F(OfflineTimeEntryTest, ThePlaceholderTextCountsAsNoDetails) {
    for (const wchar_t* details : {L"Optional details", L"Optional details (what you did)"}) {
        be_away_and_return(600);
        ui_.on_enter_offline_time(L"Phone", details);
    }
    be_away_and_return(600);
    ui_.on_enter_offline_time(L"Phone", L"Optional");
    const auto records = recorded();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].get_window_title(), L"");
    EXPECT_EQ(records[1].get_window_title(), L"");
    EXPECT_EQ(records[2].get_window_title(), L"Optional");
}

TEST_F(OfflineTimeEntryTest, WithoutAnAwayPeriodNothingIsRecorded) {
    ui_.on_enter_offline_time(L"Lunch", L"");
    EXPECT_TRUE(recorded().empty());
    EXPECT_EQ(ui_.calls(), std::vector<std::wstring>{L"ux_hide_offline_time"});
}

TEST_F(OfflineTimeEntryTest, ControlCharactersBecomeSpacesAndUnwritableTextIsReplacedBeforeRecordOrLog) {
    be_away_and_return(900);
    std::wstring label = L"Lunch\t";
    label.push_back(static_cast<wchar_t>(0xD800));  // a lone surrogate
    std::wstring details = L"with";
    details.push_back(L'\0');
    details += L"team\tat\x1b[31mnoon\r\n\x7f\x85\x9b" L"2J";
    const std::size_t before = testing::log_size();
    ui_.on_enter_offline_time(label, details);
    const auto records = recorded();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].is_valid_entry());
    EXPECT_EQ(records[0].get_application_name(), L"Lunch \uFFFD");
    const std::wstring plain = L"with team at [31mnoon     2J";
    EXPECT_EQ(records[0].get_window_title(), plain);
    // The log line holds the row as recorded: not one control character.
    const auto lines = testing::log_lines_since(before);
    const auto row = std::find_if(lines.begin(), lines.end(), [](const testing::log_line& line) {
        return line.level == 4 && line.message.rfind(L"[ui:on_enter_offline_time]", 0) == 0;
    });
    ASSERT_NE(row, lines.end());
    EXPECT_NE(row->message.find(plain), std::wstring::npos) << util::wstring_to_utf8_lossy(row->message);
    EXPECT_EQ(std::count_if(row->message.begin(), row->message.end(),
                            [](wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }),
              0);
}

TEST_F(OfflineTimeEntryTest, DismissingClosesThePromptAndOnlyAPositiveLengthKeepsItAway) {
    be_away_and_return(900);
    const ptime before_dismissal = settings().get_offline_dismissed_until();
    std::size_t before = testing::log_size();
    ui_.on_dismiss_offline_time(0);
    EXPECT_EQ(ui_.calls().back(), L"ux_hide_offline_time");
    EXPECT_EQ(settings().get_offline_dismissed_until(), before_dismissal);
    EXPECT_TRUE(logged(before, 36, L"[ui:on_dismiss_offline_time]  Dismiss OfflineTime for 0 minutes."));
    ui_.on_enter_offline_time(L"Meeting", L"");
    EXPECT_TRUE(recorded().empty()) << "the dismissed period is over";

    be_away_and_return(900);
    before = testing::log_size();
    ui_.on_dismiss_offline_time(60);
    EXPECT_EQ(settings().get_offline_dismissed_until(), now() + hours(1));
    EXPECT_TRUE(logged(before, 36, L"[ui:on_dismiss_offline_time]  Dismiss OfflineTime for 60 minutes."));
    // Away again within the hour: no prompt.
    const std::size_t calls = ui_.call_count();
    be_away_and_return(900);
    EXPECT_EQ(calls_since(calls), std::vector<std::wstring>{});
}

}  // namespace
}  // namespace kes
