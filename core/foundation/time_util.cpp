#include "core/foundation/time_util.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <climits>
#include <ctime>
#include <iomanip>
#include <locale>
#include <map>
#include <sstream>
#include <thread>

namespace kes::util {
namespace {

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

std::wstring format_logged(const ptime& t, const char* format, const wchar_t* tag) {
    try {
        return widen(format_with_facet(t, format));
    } catch (const std::exception& e) {
        log(std::wstring(tag) + L" Caught std::exception: " + widen(e.what()), 1);
    } catch (...) {
        log(std::wstring(tag) + L" Caught unknown exception.", 1);
    }
    return widen(format_with_facet(t, format));
}

}  // namespace

std::wstring ptime_to_api_wstr(const ptime& t) {
    return format_logged(t, "%Y-%m-%d %H:%M:%S", L"[kes:util:ptime_to_api_wstr]");
}

std::wstring ptime_to_year_date_wstr(const ptime& t) {
    return format_logged(t, "%Y-%m-%d", L"[kes:util:ptime_to_year_date_wstr]");
}

std::wstring ptime_to_hour_minute_wstr(const ptime& t) {
    return widen(format_with_facet(t, "%I:%M %p"));
}

std::wstring ptime_to_simple_wstr(const ptime& t) {
    return widen(boost::posix_time::to_simple_string(t));
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

ptime local_now_seconds() { return boost::posix_time::second_clock::local_time(); }

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

std::chrono::system_clock::time_point base_time() {
    static const auto value = std::chrono::system_clock::now() - std::chrono::hours(24 * 9125);
    return value;
}

std::chrono::system_clock::time_point now() { return std::chrono::system_clock::now(); }

std::chrono::system_clock::time_point tomorrow() { return now() + std::chrono::hours(24); }

}  // namespace kes::util
