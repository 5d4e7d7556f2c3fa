#pragma once
// The diagnostic text of the help window: ten lines on the agent's status,
// times, account, schedule, focus session and offline time, each ending in
// "\r\n". The facts are read in one place and the text built from them, so
// that the text's rules can be checked without a running agent.

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

namespace kes {

class config;

struct help_facts {
    using ptime = boost::posix_time::ptime;
    using time_duration = boost::posix_time::time_duration;

    ptime now;
    std::wstring status_text;
    ptime last_successful_send;
    ptime running_since;
    std::wstring client_version;
    ptime last_event_time;  // the UI heartbeat
    ptime last_scan_time;
    ptime last_push_time;
    ptime last_pull_time;
    std::wstring os_username;
    std::wstring computer_name;
    std::wstring account_key;
    bool schedule_enabled = false;
    std::uint32_t scheduled_days = 0;  // bit 0 Sunday ... bit 6 Saturday
    time_duration schedule_start;
    time_duration schedule_stop;
    bool blocking_always = false;
    bool blocking = false;
    std::size_t blocked_item_count = 0;
    ptime blocking_until;
    bool offline_time_enabled = false;
    ptime offline_dismissed_until;
    std::wstring platform_version;
};

help_facts read_help_facts(const config& settings, std::wstring platform_version);

std::wstring help_info_text(const help_facts& facts);
// The same text written over `text`, whose storage is kept for the next time.
void write_help_info_text(const help_facts& facts, std::wstring& text);

}  // namespace kes
