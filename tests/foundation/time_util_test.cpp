#include "core/foundation/time_util.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include <chrono>

namespace kes::util {
namespace {



TEST(TimeForms, TheFourPtimeFormsOfOneInstant) {
    const auto t = boost::posix_time::time_from_string("2001-01-01 00:00:00");
    EXPECT_EQ(ptime_to_api_wstr(t), L"2001-01-01 00:00:00");
    EXPECT_EQ(ptime_to_year_date_wstr(t), L"2001-01-01");
    EXPECT_EQ(ptime_to_hour_minute_wstr(t), L"12:00 AM");
    EXPECT_EQ(ptime_to_simple_wstr(t), L"2001-Jan-01 00:00:00");
}

TEST(TimeForms, HoursOfTheClockAndFractions) {
    EXPECT_EQ(ptime_to_hour_minute_wstr(boost::posix_time::time_from_string("2020-02-14 01:23:45")), L"01:23 AM");
    const auto afternoon = boost::posix_time::time_from_string("2020-01-20 14:34:56");
    EXPECT_EQ(ptime_to_hour_minute_wstr(afternoon), L"02:34 PM");
    EXPECT_EQ(ptime_to_simple_wstr(afternoon), L"2020-Jan-20 14:34:56");
    EXPECT_EQ(ptime_to_simple_wstr(boost::posix_time::time_from_string("2020-02-01 01:23:45.5")),
              L"2020-Feb-01 01:23:45.500000");
}

TEST(TimeForms, SpecialValuesAreWrittenByName) {
    const ptime unset;
    EXPECT_EQ(ptime_to_api_wstr(unset), L"not-a-date-time");
    EXPECT_EQ(ptime_to_year_date_wstr(unset), L"not-a-date-time");
    EXPECT_EQ(ptime_to_hour_minute_wstr(unset), L"not-a-date-time");
    EXPECT_EQ(ptime_to_simple_wstr(unset), L"not-a-date-time");
    EXPECT_EQ(ptime_to_api_wstr(ptime(boost::posix_time::pos_infin)), L"+infinity");
}

TEST(TimeText, ParsesAsUtcAndRejectsOtherForms) {
    const auto t = time_from_string(std::wstring(L"2001-01-01 00:00:00"));
    EXPECT_EQ(std::chrono::system_clock::to_time_t(t), 978307200);
    EXPECT_EQ(time_from_string(std::wstring(L"yesterday")), std::chrono::system_clock::time_point{});
}

TEST(TimeHelpers, BaseTimeIsFixedForTheProcessAndSleepZeroReturnsAtOnce) {
    const auto first = base_time();
    const auto expected_age = std::chrono::hours(24 * 9125);
    EXPECT_NEAR(std::chrono::duration_cast<std::chrono::seconds>(now() - first).count(),
                std::chrono::duration_cast<std::chrono::seconds>(expected_age).count(), 5);
    const auto started = std::chrono::steady_clock::now();
    sleep_for(0, 0);
    sleep_for(-5, 0);
    sleep_for(0, 120);
    EXPECT_EQ(base_time(), first);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, std::chrono::milliseconds(120));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
}

}  // namespace
}  // namespace kes::util
