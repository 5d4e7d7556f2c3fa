#pragma once
// Fixed text forms of times, the worker sleep and a few system-clock helpers.

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <chrono>
#include <string>

namespace kes::util {

using ptime = boost::posix_time::ptime;
using time_duration = boost::posix_time::time_duration;

std::wstring ptime_to_api_wstr(const ptime& t);          // 2020-02-14 01:23:45
std::wstring ptime_to_year_date_wstr(const ptime& t);    // 2020-02-14
std::wstring ptime_to_hour_minute_wstr(const ptime& t);  // 02:34 PM
std::wstring ptime_to_simple_wstr(const ptime& t);       // 2020-Feb-01 01:23:45[.ffffff]
std::wstring duration_to_simple_wstr(const time_duration& d);  // [-]01:23:45[.ffffff]
// The same two forms, written at the end of `out`.
void append_simple_time(std::wstring& out, const ptime& t);
void append_simple_duration(std::wstring& out, const time_duration& d);
// Those two forms read back, with YYYY-MM-DD accepted for the date too and
// at least two hour digits: false for any other text and for special values.
bool parse_simple_time(const std::string& text, ptime& out);
bool parse_simple_duration(const std::string& text, time_duration& out);
std::wstring time_point_to_local_wstr(std::chrono::system_clock::time_point t);

// Local wall-clock time, whole seconds.
ptime local_now_seconds();

void sleep_for(long seconds, long milliseconds);

// "YYYY-MM-DD HH:MM:SS" read as UTC; text in any other form gives the epoch.
std::chrono::system_clock::time_point time_from_string(const std::wstring& text);

std::chrono::system_clock::time_point base_time();
std::chrono::system_clock::time_point now();
std::chrono::system_clock::time_point tomorrow();

}  // namespace kes::util
