#include "core/foundation/time_util.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include <chrono>
#include <locale>
#include <sstream>
#include <thread>
#include <vector>

namespace kes::util {
namespace {

std::wstring widen_for_test(const std::string& text) { return std::wstring(text.begin(), text.end()); }


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

// The simple forms and the service's form are written without boost's
// streams; they must read exactly as boost writes them, for every kind of
// value.
TEST(TimeForms, SimpleFormsReadAsBoostWritesThem) {
    using namespace boost::posix_time;
    using boost::gregorian::date;
    std::vector<time_duration> durations = {time_duration(0, 0, 0),
                                            time_duration(23, 59, 59),
                                            time_duration(100000, 5, 7),
                                            hours(-3) - minutes(4) - seconds(5),
                                            seconds(-1),
                                            microseconds(-1),
                                            milliseconds(1500),
                                            microseconds(123456789012LL),
                                            time_duration(not_a_date_time),
                                            time_duration(pos_infin),
                                            time_duration(neg_infin)};
    for (int s = -90000; s <= 90000; s += 7919) durations.push_back(seconds(s) + microseconds(s % 1000));
    for (const time_duration& d : durations) {
        EXPECT_EQ(duration_to_simple_wstr(d), widen_for_test(to_simple_string(d))) << to_simple_string(d);
    }

    std::vector<ptime> times = {ptime(not_a_date_time), ptime(pos_infin), ptime(neg_infin),
                                ptime(date(1400, 1, 1)), ptime(date(9999, 12, 31), hours(23) + minutes(59)),
                                boost::posix_time::time_from_string("2001-01-01 00:00:00"),
                                boost::posix_time::time_from_string("2024-02-29 12:00:00.000001")};
    for (int month = 1; month <= 12; ++month) {
        times.push_back(ptime(date(2023, month, month * 2), time_duration(month, month * 4, month * 3)));
    }
    std::ostringstream facet_stream;
    facet_stream.imbue(std::locale(std::locale::classic(), new time_facet("%Y-%m-%d %H:%M:%S")));
    for (const ptime& t : times) {
        EXPECT_EQ(ptime_to_simple_wstr(t), widen_for_test(to_simple_string(t))) << to_simple_string(t);
        facet_stream.str(std::string());
        facet_stream << t;
        EXPECT_EQ(ptime_to_api_wstr(t), widen_for_test(facet_stream.str())) << facet_stream.str();
    }
}

TEST(TimeHelpers, LocalNowIsTheWallClocksLocalTimeInWholeSeconds) {
    for (int i = 0; i < 3; ++i) {
        const ptime before = boost::posix_time::second_clock::local_time();
        const ptime ours = local_now_seconds();
        const ptime after = boost::posix_time::second_clock::local_time();
        EXPECT_LE(before, ours);
        EXPECT_LE(ours, after);
        EXPECT_EQ(ours.time_of_day().fractional_seconds(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
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
