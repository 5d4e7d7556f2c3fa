// Drives the agent's activity logger from standard input, one command a line,
// answering each with one line on standard output:
//   where               the activities, backup and old-log folders, tab-separated
//   typical N           logs N ordinary records
//   record {json}       logs one record; keys are the record's field names,
//                       times as "YYYY-MM-DD HH:MM:SS" ("" for none)
//   flush               "written" or "kept" (the records stay in memory)
//   count               records held in memory
//   converted           waits until the old logs are converted, then "done"
//   stop-conversion     stops converting old logs, then "stopped"
//   quit
#include "core/capture/logger.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "tests/support_desktop/main_loop_commands.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

namespace {

using boost::posix_time::ptime;

ptime time_field(const nlohmann::json& fields, const char* key) {
    const std::string text = fields.value(key, std::string());
    return text.empty() ? ptime() : boost::posix_time::time_from_string(text);
}

std::wstring text_field(const nlohmann::json& fields, const char* key) {
    return kes::util::utf8_to_wstring(fields.value(key, std::string()));
}

kes::log_entry record_from_json(const std::string& json) {
    const auto fields = nlohmann::json::parse(json);
    kes::log_entry record(text_field(fields, "application_name"), time_field(fields, "completed"),
                          text_field(fields, "computer_name"), text_field(fields, "extended_info"),
                          text_field(fields, "os_username"), text_field(fields, "process_name"),
                          text_field(fields, "process_hash"), text_field(fields, "process_version"),
                          time_field(fields, "started"), text_field(fields, "window_title"));
    if (fields.value("entry_type", std::string()) == "5") record.mark_as_offline_time();
    return record;
}

kes::log_entry typical_record(long n) {
    static const wchar_t* const apps[] = {L"mail", L"terminal", L"firefox", L"editor", L"chat"};
    const auto start = boost::posix_time::time_from_string("2024-05-01 09:00:00") + boost::posix_time::seconds(n * 7);
    kes::log_entry record(apps[n % 5], start + boost::posix_time::seconds(5), L"workstation",
                          n % 5 == 2 ? L"https://example.org/page/" + std::to_wstring(n % 97) : L"", L"alice",
                          apps[n % 5], L"", L"12.4." + std::to_wstring(n % 3), start,
                          L"Document " + std::to_wstring(n % 211) + L" - project notes");
    return record;
}

}  // namespace

int main() {
    kes::logger& activity = kes::logger::get_instance();
    std::string line;
    while (std::getline(std::cin, line)) {
        const auto [command, argument] = kes::testing::split_command_line(line);
        try {
            if (command == "where") {
                const auto platform = kes::system::create();
                std::cout << platform->get_activities_dir() << '\t' << platform->get_activities_backup_dir() << '\t'
                          << platform->get_log_dir() << std::endl;
            } else if (command == "typical") {
                const long count = std::stol(argument);
                for (long n = 0; n < count; ++n) activity.log(typical_record(n));
                std::cout << "logged " << count << std::endl;
            } else if (command == "record") {
                activity.log(record_from_json(argument));
                std::cout << "logged 1" << std::endl;
            } else if (command == "flush") {
                std::cout << (activity.write_current_log_to_disk() ? "written" : "kept") << std::endl;
            } else if (command == "converted") {
                activity.wait_for_old_log_conversion();
                std::cout << "done" << std::endl;
            } else if (command == "stop-conversion") {
                activity.stop_converting_old_logs();
                std::cout << "stopped" << std::endl;
            } else if (command == "count") {
                std::cout << activity.record_count() << std::endl;
            } else if (command == "quit") {
                std::cout << "bye" << std::endl;
                return 0;
            } else {
                std::cout << "error unknown command" << std::endl;
            }
        } catch (const std::exception& e) {
            std::cout << "error " << e.what() << std::endl;
        }
    }
    return 0;
}
