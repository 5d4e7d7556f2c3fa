#include "core/ui/help_info.h"

#include "core/foundation/config.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {
namespace {

constexpr const wchar_t* line_end = L"\r\n";
constexpr std::uint32_t all_days = 0x7F;
constexpr const wchar_t* day_names[] = {L"Su", L"Mo", L"Tu", L"We", L"Th", L"Fr", L"Sa"};
// A key this short is not a real one: none of it is shown.
constexpr std::size_t shortest_shown_key = 11;
constexpr std::size_t key_characters_shown = 5;

// Times and durations are written straight into the text; special times
// give a special duration, which reads as its name.
void append_part(std::wstring& out, const boost::posix_time::ptime& t) { util::append_simple_time(out, t); }
void append_part(std::wstring& out, const boost::posix_time::time_duration& d) { util::append_simple_duration(out, d); }
void append_part(std::wstring& out, std::size_t count) { util::append_decimal(out, count); }
void append_part(std::wstring& out, const wchar_t* text) { out.append(text); }
void append_part(std::wstring& out, const std::wstring& text) { out.append(text); }

std::wstring key_suffix(const std::wstring& key) {
    if (key.size() < shortest_shown_key) return L"unset";
    return key.substr(key.size() - key_characters_shown);
}

std::wstring schedule_days(std::uint32_t days) {
    days &= all_days;
    if (days == 0) return L"NONE";
    if (days == all_days) return L"ALL";
    std::wstring named;
    for (std::uint32_t day = 0; day < 7; ++day) {
        if (days & (1u << day)) named += day_names[day];
    }
    return named;
}

}  // namespace

help_facts read_help_facts(const config& settings, std::wstring platform_version) {
    help_facts facts;
    facts.now = settings.local_now();
    facts.status_text = settings.get_status_message();
    facts.last_successful_send = settings.get_last_successful_send();
    facts.running_since = settings.get_running_since();
    facts.client_version = settings.get_client_version();
    facts.last_event_time = settings.get_last_event_time();
    facts.last_scan_time = settings.get_last_scan_time();
    facts.last_push_time = settings.get_last_push_time();
    facts.last_pull_time = settings.get_last_pull_time();
    facts.os_username = settings.get_os_username();
    facts.computer_name = settings.get_computer_name();
    facts.account_key = settings.get_account_key();
    facts.schedule_enabled = settings.get_logging_schedule_enabled();
    facts.scheduled_days = settings.get_logging_scheduled_days();
    facts.schedule_start = settings.get_logging_scheduled_start_hour();
    facts.schedule_stop = settings.get_logging_scheduled_stop_hour();
    facts.blocking_always = settings.get_blocking_always();
    facts.blocking = settings.is_blocking();
    facts.blocked_item_count = settings.blocked_items_snapshot()->size();
    facts.blocking_until = settings.get_blocking_until();
    facts.offline_time_enabled = settings.get_timepie_enabled();
    facts.offline_dismissed_until = settings.get_offline_dismissed_until();
    facts.platform_version = std::move(platform_version);
    return facts;
}

std::wstring help_info_text(const help_facts& facts) {
    std::wstring text;
    write_help_info_text(facts, text);
    return text;
}

void write_help_info_text(const help_facts& facts, std::wstring& text) {
    // Rebuilt every two seconds all day: written into one buffer, with no
    // text made for any single value.
    text.clear();
    const auto put = [&text](const auto&... parts) {
        (append_part(text, parts), ...);
        text.append(line_end);
    };

    put(L"Current Status: ", facts.status_text);
    put(L"Last Successful Send: ", facts.last_successful_send, L" (", facts.now - facts.last_successful_send, L")");
    put(L"Application Running Since: ", facts.running_since, L" (", facts.now - facts.running_since, L") current: ",
        facts.now);
    put(L"Application Information: ", facts.client_version, L" ev: ", facts.last_event_time, L" sc: ",
        facts.last_scan_time);
    put(L"Thread Information: ", L" ps: ", facts.last_push_time, L" pl: ", facts.last_pull_time);
    put(L" User Information: ", facts.os_username, L"@", facts.computer_name, L" : ", key_suffix(facts.account_key));
    put(L"Schedule Information: ", facts.schedule_enabled ? L"ON" : L"OFF", L" Days: ",
        schedule_days(facts.scheduled_days), L" from: ", facts.schedule_start, L" to ", facts.schedule_stop);
    put(L"Stillzone Information: ", facts.blocking_always ? L"(Always):" : L"",
        facts.blocking ? L"(Enabled)" : L"(Disabled)", L" with ", facts.blocked_item_count,
        L" blocked items until: ", facts.blocking_until);
    if (!facts.offline_dismissed_until.is_special() && facts.offline_dismissed_until > facts.now) {
        put(L"OfflineTime Information: ", facts.offline_time_enabled ? L"(Enabled)" : L"(Disabled)",
            L" dismissed until: ", facts.offline_dismissed_until);
    } else {
        put(L"OfflineTime Information: ", facts.offline_time_enabled ? L"(Enabled)" : L"(Disabled)");
    }
    put(L"Platform Version: ", facts.platform_version);
}

}  // namespace kes
