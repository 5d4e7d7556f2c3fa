#pragma once
// One activity record: which application, window and page were in front, on
// which machine and account, from when to when. Its upload form is one CSV
// row of twelve quoted columns ending in a line feed.

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <cstddef>
#include <string>

namespace kes {

class log_entry {
public:
    using ptime = boost::posix_time::ptime;

    static constexpr const wchar_t* entry_type_default = L"";
    static constexpr const wchar_t* entry_type_offline_time = L"5";

    // The longest extended info (a page address) a record keeps; a longer
    // one is cut to one character less.
    static constexpr std::size_t extended_info_limit = 4096;
    static std::wstring kept_extended_info(std::wstring info);

    log_entry() = default;
    log_entry(std::wstring application_name, ptime completed, std::wstring computer_name,
              std::wstring extended_info, std::wstring os_username, std::wstring process_name,
              std::wstring process_hash, std::wstring process_version, ptime started,
              std::wstring window_title);

    const std::wstring& get_application_name() const { return application_name_; }
    const std::wstring& get_computer_name() const { return computer_name_; }
    const std::wstring& get_extended_info() const { return extended_info_; }
    const std::wstring& get_os_username() const { return os_username_; }
    const std::wstring& get_process_name() const { return process_name_; }
    const std::wstring& get_process_hash() const { return process_hash_; }
    const std::wstring& get_process_version() const { return process_version_; }
    const std::wstring& get_window_title() const { return window_title_; }
    const std::wstring& get_entry_type() const { return entry_type_; }
    const ptime& get_started() const { return started_; }
    const ptime& get_completed() const { return completed_; }

    void set_application_name(const std::wstring& value) { application_name_ = value; }
    void set_computer_name(const std::wstring& value) { computer_name_ = value; }
    void set_extended_info(const std::wstring& value) { extended_info_ = value; }
    void set_os_username(const std::wstring& value) { os_username_ = value; }
    void set_process_name(const std::wstring& value) { process_name_ = value; }
    void set_process_hash(const std::wstring& value) { process_hash_ = value; }
    void set_process_version(const std::wstring& value) { process_version_ = value; }
    void set_window_title(const std::wstring& value) { window_title_ = value; }
    void set_started(const ptime& value) { started_ = value; }
    void set_completed(const ptime& value) { completed_ = value; }
    // Only old binary logs carry an entry type other than the two constants.
    void set_entry_type(const std::wstring& value) { entry_type_ = value; }

    // Empties every text but the entry type; both times become not-a-date-time.
    void clear();
    void mark_as_offline_time() { entry_type_ = entry_type_offline_time; }

    // The upload row as wide text (csv_text.h writes it; a completed record
    // is rendered there once, as UTF-8).
    std::wstring to_csv_row() const;

    // False (and logged) when the row holds a character that is not a Unicode
    // scalar value, so it could not be written as UTF-8 (`valid_csv_row`
    // answers the row itself).
    bool is_valid_entry() const;

private:
    std::wstring application_name_;
    std::wstring computer_name_;
    std::wstring extended_info_;
    std::wstring os_username_;
    std::wstring process_name_;
    std::wstring process_hash_;
    std::wstring process_version_;
    std::wstring window_title_;
    std::wstring entry_type_ = entry_type_default;
    ptime started_;
    ptime completed_;
};

}  // namespace kes
