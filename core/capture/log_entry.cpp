#include "core/capture/log_entry.h"

#include "core/capture/csv_text.h"

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

std::wstring log_entry::to_csv_row() const { return csv_row_wide(*this); }

bool log_entry::is_valid_entry() const { return valid_csv_row(*this).has_value(); }

}  // namespace kes
