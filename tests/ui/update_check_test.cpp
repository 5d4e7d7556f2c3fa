// The update check: the weekly due rule, reading and comparing versions, and
// the check itself against the service stand-in (what it asks, what it
// reports, and a failing service).
#include "core/foundation/text_table.h"
#include "core/ui/update_check.h"
#include "tests/ui/debug_log_lines.h"
#include "tests/ui/standin_ui_fixture.h"

#include <algorithm>

namespace kes {
namespace {

using boost::posix_time::seconds;
using boost::posix_time::time_from_string;

TEST(UpdateCheckRules, AnUnattendedCheckIsDueOnlyAfterMoreThanAWeek) {
    const auto now = time_from_string("2024-05-01 12:00:00");
    EXPECT_FALSE(is_update_check_due(now - seconds(604800), now));
    EXPECT_TRUE(is_update_check_due(now - seconds(604801), now));
    EXPECT_FALSE(is_update_check_due(now - seconds(604799), now));
    EXPECT_FALSE(is_update_check_due(now + seconds(3600), now));  // a clock set back
    EXPECT_TRUE(is_update_check_due(time_from_string("2001-01-01 00:00:00"), now));  // never checked
}

TEST(UpdateCheckRules, VersionsAreOneToFourNumbersWithOneCharacterBetweenAndMissingPartsAreZero) {
    EXPECT_EQ(parse_client_version(L"1.2.3.45"), (client_version_numbers{1, 2, 3, 45}));
    EXPECT_EQ(parse_client_version(L"10-0_7,2 beta"), (client_version_numbers{10, 0, 7, 2}));
    EXPECT_EQ(parse_client_version(L"1.0.0"), (client_version_numbers{1, 0, 0, 0}));
    EXPECT_EQ(parse_client_version(L"1.0.0"), parse_client_version(L"1.0.0.0"));
    EXPECT_EQ(parse_client_version(L"7"), (client_version_numbers{7, 0, 0, 0}));
    for (const wchar_t* unreadable : {L"", L"1.2.3.", L"a.b.c.d", L"1..2.3.4", L"1.2.3.99999999999", L"v1.2.3.4",
                                      L"1.0.0 beta", L"1.", L"latest"}) {
        EXPECT_EQ(parse_client_version(unreadable), std::nullopt) << util::wstring_to_utf8(unreadable);
    }
    EXPECT_EQ(client_version_text({1, 2, 3, 45}), L"1.2.3.45");
}

TEST(UpdateCheckRules, TheFirstNumberThatDiffersDecides) {
    EXPECT_TRUE(is_newer_version({1, 2, 3, 45}, {1, 2, 3, 44}));
    EXPECT_TRUE(is_newer_version({2, 0, 0, 0}, {1, 9, 9, 99}));
    EXPECT_FALSE(is_newer_version({1, 2, 3, 45}, {1, 2, 4, 0}));  // a lower release is no update
    EXPECT_FALSE(is_newer_version({1, 2, 3, 45}, {1, 2, 3, 45}));
}

class UpdateCheckTest : public testing::StandinUiTest {
protected:
    void SetUp() override {
        StandinUiTest::SetUp();
        settings().set_account_key(L"AK-demo-7f3c9e21b8d44a0f9c5e");
        settings().set_check_updates(true);
        settings().set_client_version(L"1.2.3.45");  // what the stand-in releases
    }
    std::size_t version_requests() const { return service_->requests("/client_version").size(); }
    std::vector<std::wstring> results() const {
        std::vector<std::wstring> found;
        for (const std::wstring& call : ui_.calls()) {
            if (call.rfind(L"on_update_check_result", 0) == 0) found.push_back(call);
        }
        return found;
    }
};

TEST_F(UpdateCheckTest, AWeekLessFiveSecondsAsksNothingAndAWeekAndFiveSecondsAsks) {
    settings().set_last_update_check(now() - seconds(604800 - 5));
    EXPECT_FALSE(ui_.check_for_updates(false));
    EXPECT_EQ(version_requests(), 0u);

    settings().set_last_update_check(now() - seconds(604800 + 5));
    const std::size_t before = testing::log_size();
    EXPECT_TRUE(ui_.check_for_updates(false));
    ASSERT_EQ(version_requests(), 1u);
    EXPECT_EQ(field(service_->requests("/client_version")[0], "environment"), "1");
    EXPECT_EQ(settings().get_last_update_check(), now());
    const auto lines = testing::log_lines_since(before);
    EXPECT_NE(std::find(lines.begin(), lines.end(), testing::log_line{96, L"[ui:check_for_updates] current version = 1.2.3.45"}),
              lines.end());
    // The same version, unattended: nothing to say.
    EXPECT_EQ(results(), std::vector<std::wstring>{});
    // Checked now, so not again for a week.
    EXPECT_FALSE(ui_.check_for_updates(false));
    EXPECT_EQ(version_requests(), 1u);
}

TEST_F(UpdateCheckTest, WithChecksSwitchedOffOnlyARequestedCheckAsks) {
    settings().set_check_updates(false);
    settings().set_last_update_check(now() - seconds(30 * 86400));
    EXPECT_FALSE(ui_.check_for_updates(false));
    EXPECT_EQ(version_requests(), 0u);
    settings().set_update_check_requested(true);
    EXPECT_TRUE(ui_.check_for_updates(true));
    EXPECT_EQ(version_requests(), 1u);
    EXPECT_FALSE(settings().get_update_check_requested());
    EXPECT_EQ(results(), std::vector<std::wstring>{L"on_update_check_result: 0"});
}

TEST_F(UpdateCheckTest, ANewerReleaseIsReportedAndAnythingElseOnlyWhenAsked) {
    struct expectation {
        const wchar_t* running;
        bool requested;
        std::vector<std::wstring> reported;
    };
    const std::vector<expectation> cases = {
        {L"1.2.3.44", false, {L"on_update_check_result: 1"}},
        {L"1.2.3.44", true, {L"on_update_check_result: 1"}},
        {L"1.2.3.45", true, {L"on_update_check_result: 0"}},
        {L"1.2.4.0", true, {L"on_update_check_result: 0"}},   // the release is older
        {L"1.2.4.0", false, {}},
        {L"01.2.3.45", true, {L"on_update_check_result: 0"}},  // another text, the same numbers
        {L"1.0.0", false, {L"on_update_check_result: 1"}},     // the bundle's short form
        {L"1.2.3.45.0", true, {L"on_update_check_result: 0"}},
        {L"1.2.3", true, {L"on_update_check_result: 1"}},
        {L"1.0.0 beta", true, {L"on_update_check_result: 0"}},  // unreadable: never "newer"
        {L"1.0.0 beta", false, {}},
    };
    for (const expectation& each : cases) {
        const std::size_t before = ui_.calls().size();
        settings().set_client_version(each.running);
        settings().set_last_update_check(now() - seconds(8 * 86400));
        EXPECT_TRUE(ui_.check_for_updates(each.requested));
        std::vector<std::wstring> reported;
        const auto calls = ui_.calls();
        for (std::size_t i = before; i < calls.size(); ++i) {
            if (calls[i].rfind(L"on_update_check_result", 0) == 0) reported.push_back(calls[i]);
        }
        EXPECT_EQ(reported, each.reported) << util::wstring_to_utf8(each.running) << " requested " << each.requested;
    }
}

TEST_F(UpdateCheckTest, AFailingServiceGivesTheErrorStatusAndIsAskedAgainWithinTheHourNotAWeekLater) {
    service_->script("/client_version", {{"status", 500}, {"body", "broken"}});
    const auto last_answer = now() - seconds(8 * 86400);
    settings().set_last_update_check(last_answer);
    const std::size_t before = testing::log_size();
    EXPECT_FALSE(ui_.check_for_updates(false));
    EXPECT_EQ(status(), get_text(L"status_error_invalid_response"));
    EXPECT_EQ(severity(), 4);
    const auto lines = testing::log_lines_since(before);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        testing::log_line{193, L"[ui::check_for_updates] Caught Kestrel::Network::Exception"}),
              lines.end());
    EXPECT_EQ(results(), std::vector<std::wstring>{});
    // No answer: the check is not done, so the week still counts from the last answer.
    EXPECT_EQ(settings().get_last_update_check(), last_answer);
    EXPECT_FALSE(ui_.check_for_updates(false));  // not at every pass
    EXPECT_EQ(version_requests(), 1u);

    set_now(now() + seconds(3601));
    EXPECT_TRUE(ui_.check_for_updates(false));  // the service answers again
    EXPECT_EQ(version_requests(), 2u);
    EXPECT_EQ(settings().get_last_update_check(), now());
    EXPECT_FALSE(ui_.check_for_updates(false));
    EXPECT_EQ(version_requests(), 2u);
}

TEST_F(UpdateCheckTest, WithoutAnAccountKeyNoUnattendedCheckIsSentAndNoErrorShows) {
    settings().set_account_key(L"");
    settings().set_last_update_check(now() - seconds(8 * 86400));
    settings().set_gui_loaded(true);
    for (int pass = 0; pass < 3; ++pass) ui_.run_event_pass();
    EXPECT_EQ(version_requests(), 0u);
    EXPECT_NE(status(), get_text(L"status_error_invalid_response"));
    EXPECT_EQ(settings().get_last_update_check(), now() - seconds(8 * 86400));

    settings().set_account_key(L"AK-demo-7f3c9e21b8d44a0f9c5e");  // signed in: the check is due at once
    ui_.run_event_pass();
    EXPECT_EQ(version_requests(), 1u);
}

TEST_F(UpdateCheckTest, TheLoopChecksOnceWhenDueAndHandsARequestedCheckToThePlatform) {
    settings().set_gui_loaded(true);
    settings().set_last_update_check(now() - seconds(8 * 86400));
    ui_.run_event_pass();
    ui_.run_event_pass();
    EXPECT_EQ(version_requests(), 1u);

    settings().set_update_check_requested(true);
    ui_.run_event_pass();
    const auto calls = ui_.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), L"check_for_updates_now"), 1);
    EXPECT_FALSE(settings().get_update_check_requested());
    EXPECT_EQ(version_requests(), 1u);
}

}  // namespace
}  // namespace kes
