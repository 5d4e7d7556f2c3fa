#include "core/foundation/activation_service.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text_table.h"

#include <gtest/gtest.h>

#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>

#include <memory>
#include <string>
#include <vector>

namespace kes {
namespace {

using boost::gregorian::date;
using boost::posix_time::hours;
using boost::posix_time::minutes;
using boost::posix_time::ptime;
using boost::posix_time::seconds;
using boost::posix_time::time_duration;

class PolicyTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().set_clock([this] { return now; });
        settings().reset(L"");
        settings().set_activation_service(nullptr);
        // The defaults pause until the moment they were applied; move that out of the way.
        settings().set_paused_until(ptime(date(2000, 1, 1)));
    }
    void TearDown() override {
        settings().set_activation_service(nullptr);
        settings().set_clock([] { return boost::posix_time::second_clock::local_time(); });
        settings().reset(L"");
    }
    static config& settings() { return config::instance(); }

    // 2024-06-10 is a Monday.
    ptime now{date(2024, 6, 10), hours(12)};
};

TEST_F(PolicyTest, WithoutScheduleLoggingFollowsTheSwitchUnlessPaused) {
    EXPECT_TRUE(settings().is_logging_allowed_now());
    settings().set_logging_enabled(false);
    EXPECT_FALSE(settings().is_logging_allowed_now());
    settings().set_logging_enabled(true);

    settings().set_paused_until(now + hours(1));
    for (const time_duration later : {time_duration(seconds(0)), time_duration(minutes(30)), minutes(60) - seconds(1)}) {
        now = ptime(date(2024, 6, 10), hours(12)) + later;
        EXPECT_TRUE(settings().is_paused());
        EXPECT_FALSE(settings().is_logging_allowed_now());
    }
    now = ptime(date(2024, 6, 10), hours(13));
    EXPECT_FALSE(settings().is_paused());
    EXPECT_TRUE(settings().is_logging_allowed_now());
}

TEST_F(PolicyTest, ScheduleHoursAreInclusiveBounds) {
    settings().set_logging_schedule_enabled(true);
    settings().set_logging_scheduled_start_hour(hours(9));
    settings().set_logging_scheduled_stop_hour(hours(17));
    const struct {
        time_duration time_of_day;
        bool allowed;
    } cases[] = {{time_duration(8, 59, 59), false}, {time_duration(9, 0, 0), true},
                 {time_duration(12, 0, 0), true},   {time_duration(17, 0, 0), true},
                 {time_duration(17, 0, 1), false},  {time_duration(0, 0, 0), false}};
    for (const auto& c : cases) {
        now = ptime(date(2024, 6, 10), c.time_of_day);
        EXPECT_EQ(settings().is_logging_allowed_now(), c.allowed) << c.time_of_day;
    }
}

TEST_F(PolicyTest, ScheduleDaysFollowTheWeekdayBits) {
    settings().set_logging_schedule_enabled(true);
    settings().set_logging_scheduled_days(0b0111110);  // Monday to Friday
    for (int day = 9; day <= 15; ++day) {             // Sunday 9 June to Saturday 15 June 2024
        now = ptime(date(2024, 6, day), hours(10));
        const bool weekday = day != 9 && day != 15;
        EXPECT_EQ(settings().is_logging_allowed_now(), weekday) << "June " << day;
    }
    settings().set_logging_scheduled_days(1);  // Sunday only
    now = ptime(date(2024, 6, 9), hours(23) + minutes(59));
    EXPECT_TRUE(settings().is_logging_allowed_now());
    now = ptime(date(2024, 6, 10), hours(0));
    EXPECT_FALSE(settings().is_logging_allowed_now());
}

TEST_F(PolicyTest, StartWithoutStopRunsToMidnightAndAPauseStillWins) {
    settings().set_logging_schedule_enabled(true);
    settings().set_logging_scheduled_start_hour(hours(9));
    now = ptime(date(2024, 6, 10), time_duration(23, 59, 59));
    EXPECT_TRUE(settings().is_logging_allowed_now());
    now = ptime(date(2024, 6, 10), time_duration(8, 59, 59));
    EXPECT_FALSE(settings().is_logging_allowed_now());
    now = ptime(date(2024, 6, 10), hours(10));
    settings().set_paused_until(now + seconds(1));
    EXPECT_FALSE(settings().is_logging_allowed_now());
}

TEST_F(PolicyTest, BlockingFollowsItsEndAndSwitchesOffAtOnce) {
    EXPECT_FALSE(settings().is_blocking());
    settings().set_blocking_until(now + minutes(25));
    EXPECT_TRUE(settings().get_blocking_enabled());
    EXPECT_TRUE(settings().is_blocking());
    EXPECT_TRUE(settings().is_blocking_activities());
    now += minutes(25);
    EXPECT_TRUE(settings().is_blocking());  // the end itself still blocks
    now += seconds(1);
    EXPECT_FALSE(settings().is_blocking());

    settings().set_blocking_until(now + minutes(25));
    settings().set_blocking_enabled(false);
    EXPECT_FALSE(settings().is_blocking());
    EXPECT_FALSE(settings().get_blocking_enabled());
    EXPECT_EQ(settings().get_blocking_until(), now - seconds(60));

    settings().set_blocking_until(now - seconds(1));  // an end in the past switches blocking off
    EXPECT_FALSE(settings().get_blocking_enabled());
    EXPECT_FALSE(settings().get_blocking_always());
}

TEST_F(PolicyTest, StatusQueueKeepsTheNewestSix) {
    for (int i = 1; i <= 8; ++i) settings().push_status_message(L"message " + std::to_wstring(i));
    std::wstring text = L"stale";
    for (int i = 3; i <= 8; ++i) {
        settings().pop_status_message(text);
        EXPECT_EQ(text, L"message " + std::to_wstring(i));
    }
    settings().pop_status_message(text);
    EXPECT_EQ(text, L"");
}

TEST_F(PolicyTest, StatusLineHoldsTextAndSeverity) {
    settings().set_status_message(L"working", 1);
    EXPECT_EQ(settings().get_status_message(), L"working");
    EXPECT_EQ(settings().get_status_severity(), 1);
}

TEST_F(PolicyTest, IdentityChangeIsSeededThenDetected) {
    settings().set_account_key(L"key-1");
    settings().set_os_username(L"ann");
    settings().set_computer_name(L"desk");
    EXPECT_FALSE(settings().has_identity_changed());  // first check seeds the last values
    EXPECT_FALSE(settings().has_identity_changed());
    settings().set_computer_name(L"laptop");
    EXPECT_TRUE(settings().has_identity_changed());
    EXPECT_FALSE(settings().has_identity_changed());
    settings().set_account_key(L"key-2");
    EXPECT_TRUE(settings().has_identity_changed());
    // An empty last value is re-seeded, not reported as a change.
    settings().reset(L"");
    settings().set_computer_name(L"desk");
    EXPECT_FALSE(settings().has_identity_changed());
}

class scripted_activation : public activation_service {
public:
    activation_result activate_enterprise(const std::wstring& team_key) override {
        calls.push_back(L"enterprise:" + team_key);
        return enterprise;
    }
    activation_result activate_silent() override {
        calls.push_back(L"silent:" + config::instance().get_account_key());
        return silent;
    }

    std::vector<std::wstring> calls;
    activation_result enterprise{activation_result::outcome::success, L"enrolled-key", L""};
    activation_result silent{activation_result::outcome::success, L"", L""};
};

class AuthenticationTest : public PolicyTest {
protected:
    void SetUp() override {
        PolicyTest::SetUp();
        settings().set_activation_service(service);
    }
    std::shared_ptr<scripted_activation> service = std::make_shared<scripted_activation>();
};

TEST_F(AuthenticationTest, NoKeyNoTeamMeansNoRequestAndARetryLater) {
    EXPECT_FALSE(settings().is_authenticated());
    EXPECT_TRUE(service->calls.empty());
    settings().set_account_key(L"abcd-1234");
    EXPECT_TRUE(settings().is_authenticated());  // the identity was still dirty
    EXPECT_EQ(service->calls, std::vector<std::wstring>{L"silent:abcd-1234"});
}

TEST_F(AuthenticationTest, SuccessSticksAndSetsTheStatusLine) {
    settings().set_account_key(L"abcd-1234");
    EXPECT_TRUE(settings().is_authenticated());
    EXPECT_TRUE(settings().is_authenticated());
    EXPECT_EQ(service->calls.size(), 1u);
    EXPECT_EQ(settings().get_status_message(), get_text(L"status_message_activation_success"));
    EXPECT_EQ(settings().get_status_severity(), 0);
}

TEST_F(AuthenticationTest, TeamEnrolmentStoresTheKeyThenActivates) {
    settings().set_enterprise_team_key(L"team-9");
    EXPECT_TRUE(settings().is_authenticated());
    EXPECT_EQ(settings().get_account_key(), L"enrolled-key");
    EXPECT_EQ(service->calls, (std::vector<std::wstring>{L"enterprise:team-9", L"silent:enrolled-key"}));
}

TEST_F(AuthenticationTest, FailedEnrolmentReportsAndStops) {
    settings().set_enterprise_team_key(L"team-9");
    service->enterprise = {activation_result::outcome::service_error, L"", L"Servers unavailable"};
    EXPECT_FALSE(settings().is_authenticated());
    EXPECT_EQ(service->calls, std::vector<std::wstring>{L"enterprise:team-9"});
    EXPECT_EQ(settings().get_status_message(), L"Servers unavailable");
    EXPECT_EQ(settings().get_status_severity(), 4);
}

TEST_F(AuthenticationTest, InvalidKeyClearsBothKeysAndWaitsForANewIdentity) {
    settings().set_account_key(L"abcd-1234");
    settings().set_data_key(L"data-5678");
    service->silent = {activation_result::outcome::invalid_key, L"", L"Invalid key"};
    EXPECT_FALSE(settings().is_authenticated());
    EXPECT_EQ(settings().get_account_key(), L"");
    EXPECT_EQ(settings().get_data_key(), L"");
    EXPECT_EQ(settings().get_status_message(), L"Invalid key");
    EXPECT_EQ(settings().get_status_severity(), 4);

    settings().set_account_key(L"efgh-0000");
    EXPECT_FALSE(settings().is_authenticated());  // not retried until the identity changes
    EXPECT_EQ(service->calls.size(), 1u);
    service->silent = {activation_result::outcome::success, L"", L""};
    settings().set_computer_name(settings().get_computer_name());
    EXPECT_FALSE(settings().is_authenticated()) << "the same name again is no new identity";
    EXPECT_EQ(service->calls.size(), 1u);
    settings().set_computer_name(settings().get_computer_name() + L"-renamed");
    EXPECT_TRUE(settings().is_authenticated());
}

TEST_F(AuthenticationTest, AServiceThatThrowsIsAFailureNotACrash) {
    class throwing : public activation_service {
        activation_result activate_enterprise(const std::wstring&) override { throw std::runtime_error("x"); }
        activation_result activate_silent() override { throw std::runtime_error("connection reset"); }
    };
    settings().set_activation_service(std::make_shared<throwing>());
    settings().set_account_key(L"abcd-1234");
    EXPECT_FALSE(settings().is_authenticated());
    EXPECT_EQ(settings().get_status_message(), L"connection reset");
    EXPECT_EQ(settings().get_status_severity(), 4);
    EXPECT_EQ(settings().get_account_key(), L"abcd-1234");
}

TEST_F(AuthenticationTest, AFailedCheckNeitherAnswersForASignInNorHidesAChangeMadeWhileItRan) {
    // A check of the old identity failed (offline, say): the identity is clean.
    settings().set_account_key(L"abcd-1234");
    service->silent = {activation_result::outcome::service_error, L"", L"Servers unavailable"};
    EXPECT_FALSE(settings().is_authenticated());
    // The sign-in that follows asks for itself and is confirmed.
    service->silent = {activation_result::outcome::success, L"", L""};
    settings().set_account_key(L"efgh-5678");
    EXPECT_TRUE(settings().confirm_authentication());
    EXPECT_EQ(service->calls.back(), L"silent:efgh-5678");

    // The computer is renamed while a check is out: the next check asks again.
    class renamed_mid_check : public activation_service {
    public:
        activation_result activate_enterprise(const std::wstring&) override { return {}; }
        activation_result activate_silent() override {
            if (++calls == 1) config::instance().set_computer_name(L"renamed-during-the-check");
            return {};
        }
        int calls = 0;
    };
    const auto slow = std::make_shared<renamed_mid_check>();
    settings().reset(L"abcd-1234");
    settings().set_activation_service(slow);
    EXPECT_FALSE(settings().is_authenticated());
    EXPECT_FALSE(settings().is_authenticated());
    EXPECT_EQ(slow->calls, 2);
    EXPECT_FALSE(settings().is_authenticated());
    EXPECT_EQ(slow->calls, 2) << "nothing changed after the second check";
}

TEST_F(AuthenticationTest, WithoutAServiceNothingIsActivated) {
    settings().set_activation_service(nullptr);
    settings().set_account_key(L"abcd-1234");
    EXPECT_FALSE(settings().is_authenticated());
    settings().set_activation_service(service);
    EXPECT_TRUE(settings().is_authenticated());
}

}  // namespace
}  // namespace kes
