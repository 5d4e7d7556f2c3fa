#include "core/capture/log_entry.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"

#include <cstring>
#include <utility>

namespace kes {

log_entry::log_entry(std::wstring application_name, ptime completed, std::wstring computer_name,
                     std::wstring extended_info, std::wstring os_username, std::wstring process_name,
                     std::wstring process_hash, std::wstring process_version, ptime started,
                     std::wstring window_title)
    : application_name_(std::move(application_name)),
      computer_name_(std::move(computer_name)),
      extended_info_(std::move(extended_info)),
      os_username_(std::move(os_username)),
      process_name_(std::move(process_name)),
      process_hash_(std::move(process_hash)),
      process_version_(std::move(process_version)),
      window_title_(std::move(window_title)),
      started_(started),
      completed_(completed) {}

std::wstring log_entry::kept_extended_info(std::wstring info) {
    if (info.size() > extended_info_limit) info.resize(extended_info_limit - 1);
    return info;
}

void log_entry::clear() {
    application_name_.clear();
    computer_name_.clear();
    extended_info_.clear();
    os_username_.clear();
    process_name_.clear();
    process_hash_.clear();
    process_version_.clear();
    window_title_.clear();
    started_ = ptime();
    completed_ = ptime();
}

std::wstring log_entry::to_csv_row() const {
    const std::wstring columns[] = {application_name_,
                                    process_version_,
                                    process_hash_,
                                    window_title_,
                                    extended_info_,
                                    util::ptime_to_api_wstr(started_),
                                    util::ptime_to_api_wstr(completed_),
                                    entry_type_,
                                    {},
                                    {},
                                    {},
                                    {}};
    std::wstring row;
    for (const auto& column : columns) {
        if (!row.empty()) row.push_back(L',');
        row += util::csv_quote(column);
    }
    row.push_back(L'\n');
    return row;
}

bool log_entry::is_valid_entry() const {
    const std::wstring row = to_csv_row();
    const utf8 converted(row);
    const utf8 up_to_nul(converted.c_str());
    // A NUL inside a text is kept: the rows before it compare equal as C strings.
    if ((!row.empty() && std::strlen(up_to_nul.c_str()) == 0) ||
        std::strcmp(converted.c_str(), up_to_nul.c_str()) != 0) {
        log(L"[log_entry:is_valid_entry] Invalid entry!", log_level::error);
        log(L"[log_entry:is_valid_entry] Found invalid entry: " + row, log_level::error);
        return false;
    }
    if (log_enabled(log_level::records)) log(L"[log_entry:is_valid_entry: Valid entry is: " + row, log_level::records);
    return true;
}

}  // namespace kes
