#include "core/foundation/time_util.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <cctype>
#include <climits>
#include <ctime>
#include <iomanip>
#include <locale>
#include <map>
#include <sstream>
#include <thread>

namespace kes::util {
namespace {

bool digits(const std::string& text, std::size_t from, std::size_t count) {
    if (from + count > text.size()) return false;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// "HH:MM:SS" with an optional fraction, starting at `from` with `hour_digits`
// hour digits. Checked before Boost sees the text: its number parsing
// overflows on long digit runs.
bool is_clock_form(const std::string& text, std::size_t from, std::size_t hour_digits) {
    std::size_t at = from + hour_digits;
    if (!digits(text, from, hour_digits) || text.compare(at, 1, ":") != 0 || !digits(text, at + 1, 2) ||
        text.compare(at + 3, 1, ":") != 0 || !digits(text, at + 4, 2)) {
        return false;
    }
    at += 6;
    if (at == text.size()) return true;
    const std::size_t fraction = text.size() - at - 1;
    return text[at] == '.' && fraction >= 1 && fraction <= 9 && digits(text, at + 1, fraction);
}

// YYYY-MM-DD or YYYY-Mon-DD, a blank, then the time of day.
bool is_time_form(const std::string& text) {
    if (!digits(text, 0, 4) || text.compare(4, 1, "-") != 0) return false;
    std::size_t at = 5;
    if (digits(text, at, 2)) {
        at += 2;
    } else if (text.size() >= at + 3 && std::isalpha(static_cast<unsigned char>(text[at])) &&
               std::isalpha(static_cast<unsigned char>(text[at + 1])) &&
               std::isalpha(static_cast<unsigned char>(text[at + 2]))) {
        at += 3;
    } else {
        return false;
    }
    return text.compare(at, 1, "-") == 0 && digits(text, at + 1, 2) && text.compare(at + 3, 1, " ") == 0 &&
           is_clock_form(text, at + 4, 2);
}

bool is_duration_form(const std::string& text) {
    const std::size_t from = text.compare(0, 1, "-") == 0 ? 1 : 0;
    const std::size_t colon = text.find(':', from);
    if (colon == std::string::npos) return false;
    const std::size_t hour_digits = colon - from;
    return hour_digits >= 2 && hour_digits <= 9 && is_clock_form(text, from, hour_digits);
}

std::string format_with_facet(const ptime& t, const char* format) {
    // Building a facet and its locale costs far more than formatting one time,
    // and every activity record formats two: keep one stream per thread and form.
    thread_local std::map<std::string, std::ostringstream> streams;
    auto [entry, created] = streams.try_emplace(format);
    std::ostringstream& out = entry->second;
    if (created) {
        // The stream owns the facet through its locale.
        out.imbue(std::locale(std::locale::classic(), new boost::posix_time::time_facet(format)));
    }
    out.str(std::string());
    out.clear();
    out << t;
    return out.str();
}

// The simple forms, written directly: the help text shows a dozen of them
// every two seconds, and a stream per value costs more than the rest of the
// loop's pass.
const wchar_t* special_name(boost::date_time::special_values value) {
    switch (value) {
        case boost::date_time::not_a_date_time:
            return L"not-a-date-time";
        case boost::date_time::pos_infin:
            return L"+infinity";
        case boost::date_time::neg_infin:
            return L"-infinity";
        default:
            return L"";
    }
}

unsigned long long magnitude(long long value) {
    return value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
}

std::wstring format_logged(const ptime& t, const char* format, const wchar_t* tag) {
    try {
        return widen(format_with_facet(t, format));
    } catch (const std::exception& e) {
        log(std::wstring(tag) + L" Caught std::exception: " + widen(e.what()), log_level::error);
    } catch (...) {
        log(std::wstring(tag) + L" Caught unknown exception.", log_level::error);
    }
    return widen(format_with_facet(t, format));
}

}  // namespace

std::wstring ptime_to_api_wstr(const ptime& t) {
    // Every completed record writes two, so the usual value is written
    // directly; the special values keep the facet's words.
    if (t.is_special()) return format_logged(t, "%Y-%m-%d %H:%M:%S", L"[kes:util:ptime_to_api_wstr]");
    const boost::gregorian::date::ymd_type day = t.date().year_month_day();
    const time_duration time = t.time_of_day();
    std::wstring text;
    text.reserve(19);
    append_decimal(text, day.year, 4);
    text += L'-';
    append_decimal(text, day.month, 2);
    text += L'-';
    append_decimal(text, day.day, 2);
    text += L' ';
    append_decimal(text, magnitude(time.hours()), 2);
    text += L':';
    append_decimal(text, magnitude(time.minutes()), 2);
    text += L':';
    append_decimal(text, magnitude(time.seconds()), 2);
    return text;
}

std::wstring ptime_to_year_date_wstr(const ptime& t) {
    return format_logged(t, "%Y-%m-%d", L"[kes:util:ptime_to_year_date_wstr]");
}

std::wstring ptime_to_hour_minute_wstr(const ptime& t) {
    return widen(format_with_facet(t, "%I:%M %p"));
}

void append_simple_duration(std::wstring& out, const time_duration& d) {
    if (d.is_special()) {
        out += special_name(d.get_rep().as_special());
        return;
    }
    if (d.is_negative()) out += L'-';
    append_decimal(out, magnitude(d.hours()), 2);
    out += L':';
    append_decimal(out, magnitude(d.minutes()), 2);
    out += L':';
    append_decimal(out, magnitude(d.seconds()), 2);
    const unsigned long long fraction = magnitude(d.fractional_seconds());
    if (fraction != 0) {
        out += L'.';
        append_decimal(out, fraction, time_duration::num_fractional_digits());
    }
}

void append_simple_time(std::wstring& out, const ptime& t) {
    if (t.is_special()) {
        out += special_name(t.date().as_special());
        return;
    }
    static constexpr const wchar_t* months[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                                L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    const boost::gregorian::date::ymd_type day = t.date().year_month_day();
    append_decimal(out, day.year, 4);
    out += L'-';
    out += months[day.month - 1];
    out += L'-';
    append_decimal(out, day.day, 2);
    out += L' ';
    append_simple_duration(out, t.time_of_day());
}

std::wstring ptime_to_simple_wstr(const ptime& t) {
    std::wstring text;
    text.reserve(32);
    append_simple_time(text, t);
    return text;
}

std::wstring duration_to_simple_wstr(const time_duration& d) {
    std::wstring text;
    append_simple_duration(text, d);
    return text;
}

std::wstring time_point_to_local_wstr(std::chrono::system_clock::time_point t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&seconds, &local);
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::put_time(&local, "%Y-%b-%d %H:%M:%S");
    return widen(out.str());
}

ptime local_now_seconds() {
    // The loops ask for local time many times a second, and converting costs
    // more than the rest of a quiet pass; within one second of the clock the
    // conversion is the same (the zone's rules are read once per process).
    thread_local std::time_t converted = -1;
    thread_local ptime local;
    const std::time_t now = std::time(nullptr);
    if (now != converted) {
        std::tm parts{};
        localtime_r(&now, &parts);
        local = boost::posix_time::ptime_from_tm(parts);
        converted = now;
    }
    return local;
}

void sleep_for(long seconds, long milliseconds) {
    const long long total = static_cast<long long>(seconds) * 1000 + milliseconds;
    if (total <= 0 || total > INT_MAX) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(total));
}

std::chrono::system_clock::time_point time_from_string(const std::wstring& text) {
    std::tm parts{};
    std::istringstream in(narrow(text));
    in.imbue(std::locale::classic());
    in >> std::get_time(&parts, "%Y-%m-%d %H:%M:%S");
    if (in.fail()) return std::chrono::system_clock::time_point{};
    return std::chrono::system_clock::from_time_t(timegm(&parts));
}

bool parse_simple_time(const std::string& text, ptime& out) {
    if (!is_time_form(text)) return false;
    const auto blank = text.find(' ');
    try {
        const auto date = boost::gregorian::from_simple_string(text.substr(0, blank));
        const auto time_of_day = boost::posix_time::duration_from_string(text.substr(blank + 1));
        out = ptime(date, time_of_day);
        return !out.is_special();
    } catch (const std::exception&) {
        return false;
    }
}

bool parse_simple_duration(const std::string& text, time_duration& out) {
    if (!is_duration_form(text)) return false;
    try {
        out = boost::posix_time::duration_from_string(text);
        return !out.is_special();
    } catch (const std::exception&) {
        return false;
    }
}

std::chrono::system_clock::time_point base_time() {
    static const auto value = std::chrono::system_clock::now() - std::chrono::hours(24 * 9125);
    return value;
}

std::chrono::system_clock::time_point now() { return std::chrono::system_clock::now(); }

std::chrono::system_clock::time_point tomorrow() { return now() + std::chrono::hours(24); }

}  // namespace kes::util
