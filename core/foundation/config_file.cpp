// The settings file: applying a structure to the store, writing the store to
// kestreld.json, reading kestreld.json, base_config.json and the legacy
// kestreld.cfg, and what a corrupt file does.

#include "core/foundation/files/replace_file.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/files/exclusive_file.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/foundation/text_table.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <nlohmann/json.hpp>
#include <yaml-cpp/yaml.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdio>

namespace kes {
namespace {

using DS = DynamicStructure;

// Text settings of the legacy file keep their scalar's own text: a YAML
// reader would otherwise turn '8080' into a number and yes into a boolean,
// and the loader would drop them for having the wrong kind.
const wchar_t* const legacy_text_keys[] = {
    L"account_key", L"data_key",     L"enterprise_team_key", L"enterprise_feedback_url", L"url",
    L"api_url",     L"proxy_server", L"proxy_port",          L"proxy_username",          L"proxy_password_hash",
};
const wchar_t* const legacy_text_list_keys[] = {L"whitelist", L"timepie_labels", L"idle_activities",
                                                L"extended_domain_list"};

// kestreld.json and base_config.json hold a few kilobytes; the limit leaves
// room for long lists and refuses what no settings file holds.
constexpr std::size_t max_settings_file_bytes = 8 * 1024 * 1024;

fs::file_contents read_settings_file(const std::string& path) {
    return fs::read_regular_file(path, max_settings_file_bytes);
}

void log_unable_to_open() {
    log(L"[config:load_from_disk] Unable to open configuration file for reading - using defaults", 1);
}

std::wstring why_unread(const fs::file_contents& file) { return util::utf8_to_wstring_lossy(file.describe()); }

bool is_settings_file_path(const std::string& path) {
    return path.size() >= 13 && path.compare(path.size() - 13, 13, "kestreld.json") == 0;
}

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

bool parse_settings_time(const std::string& text, boost::posix_time::ptime& out) {
    if (!is_time_form(text)) return false;
    const auto blank = text.find(' ');
    try {
        const auto date = boost::gregorian::from_simple_string(text.substr(0, blank));
        const auto time_of_day = boost::posix_time::duration_from_string(text.substr(blank + 1));
        out = boost::posix_time::ptime(date, time_of_day);
        return !out.is_special();
    } catch (const std::exception&) {
        return false;
    }
}

bool parse_settings_duration(const std::string& text, boost::posix_time::time_duration& out) {
    if (!is_duration_form(text)) return false;
    try {
        out = boost::posix_time::duration_from_string(text);
        return !out.is_special();
    } catch (const std::exception&) {
        return false;
    }
}

// The text of a list element or a mirror's member; containers have none.
std::wstring element_text(const DS& value) {
    if (value.IsArray() || value.IsStructure()) return {};
    return value.AsString(true);
}

std::wstring decode_scalar(const std::string& bytes) {
    try {
        return util::utf8_to_wstring(bytes);
    } catch (const std::exception&) {
        return util::widen(bytes);
    }
}

void keep_raw_legacy_texts(const YAML::Node& document, DS& structure) {
    if (!document.IsMap() || !structure.IsStructure()) return;
    for (const auto& pair : document) {
        if (!pair.first.IsScalar()) continue;
        const std::wstring key = util::widen(pair.first.Scalar());
        for (const wchar_t* text_key : legacy_text_keys) {
            if (key == text_key && pair.second.IsScalar()) {
                structure.SetMember(key, DS(decode_scalar(pair.second.Scalar())));
            }
        }
        for (const wchar_t* list_key : legacy_text_list_keys) {
            if (key != list_key || !pair.second.IsSequence()) continue;
            DS items;
            for (const auto& element : pair.second) {
                if (element.IsScalar()) items.PushBack(DS(decode_scalar(element.Scalar())));
            }
            structure.SetMember(key, items);
        }
    }
}

// The parser's own text quotes the input near the error, which may be part
// of the account key; the position is enough to find the fault.
std::wstring describe_parse_failure(const nlohmann::json::parse_error& e) {
    return L"JSON parse error " + std::to_wstring(e.id) + L" at byte " + std::to_wstring(e.byte);
}

// Reads a JSON settings text into a structure; on failure answers false with
// what went wrong (never the file's own text) in `failure`, which stays empty
// for an exception that is not a standard one. Lists longer than a setting
// holds are cut, and the cut is logged under the file's name.
bool parse_settings_text(const std::string& path, const std::string& bytes, DS& structure, std::wstring& failure) {
    try {
        json_item_limit limit{config::max_list_items, config::max_settings_values};
        structure = DynamicStructureFromJson(parse_json_bounded(bytes, limit));
        if (limit.dropped != 0) {
            log(L"[config:load] Left out " + std::to_wstring(limit.dropped) + L" values of " +
                    util::utf8_to_wstring_lossy(path) + L": a list holds at most " +
                    std::to_wstring(config::max_list_items) + L" items",
                1);
        }
        return true;
    } catch (const nlohmann::json::parse_error& e) {
        failure = describe_parse_failure(e);
    } catch (const std::exception& e) {
        failure = util::widen(e.what());
    } catch (...) {
        failure.clear();  // not a standard exception: nothing to say about it
    }
    return false;
}

constexpr int corrupt_copies_kept = 10;

// Keeps the bytes of an unreadable settings file beside it, under the first
// free name of "<path>.corrupt", "<path>.corrupt.1" ... "<path>.corrupt.9".
// An earlier copy is never replaced (the first may hold the only account
// key), and bytes kept once are not kept again. The copy's path, or "" when
// none was written.
std::string keep_corrupt_copy(const std::string& path, const std::string& bytes) {
    for (int n = 0; n < corrupt_copies_kept; ++n) {
        const std::string copy = path + ".corrupt" + (n == 0 ? std::string() : "." + std::to_string(n));
        const fs::file_contents existing = read_settings_file(copy);
        if (existing.is_read()) {
            if (existing.bytes == bytes) return {};
            continue;
        }
        const std::string temporary = copy + ".tmp";
        std::remove(temporary.c_str());  // a crash's leftover; only this writes it
        const auto outcome = fs::write_file_exclusively(temporary, copy, bytes);
        if (outcome.result == fs::exclusive_write_result::written) return copy;
        if (outcome.result == fs::exclusive_write_result::failed) {
            log(L"[config:load_from_json_on_disk] Could not keep a copy of the unreadable configuration file: " +
                    util::utf8_to_wstring_lossy(outcome.error),
                1);
            return {};
        }
    }
    log(L"[config:load_from_json_on_disk] " + std::to_wstring(corrupt_copies_kept) +
            L" copies of unreadable configuration files are kept already; this one is not",
        1);
    return {};
}

// base_config.json is provisioned with the application. One that cannot be
// read is ignored: resetting the store for it would drop the account key and
// the service address that kestreld.json just gave.
void apply_base_config(config& store, const std::string& path) {
    const auto ignore = [&](const std::wstring& why) {
        log(L"[config:load] Ignoring the unreadable base configuration file " + util::utf8_to_wstring_lossy(path) +
                L": " + why,
            1);
    };
    const fs::file_contents file = read_settings_file(path);
    if (!file.is_read()) {
        // Its absence is normal; a name there that cannot be read is worth a line.
        if (file.is_unreadable()) ignore(why_unread(file));
        return;
    }
    DS structure;
    std::wstring failure;
    if (!parse_settings_text(path, file.bytes, structure, failure)) {
        ignore(failure.empty() ? std::wstring(L"unknown failure") : failure);
        return;
    }
    if (!structure.IsNil()) store.load(structure);
}

}  // namespace

// ---- applying a structure

void config::load(const DynamicStructure& structure) {
    if (!structure.IsStructure()) return;
    const auto text = [&](const wchar_t* key, std::wstring& member) {
        const DS& value = structure.GetMember(key);
        if (value.IsString()) write(member, value.AsString(false));
    };
    const auto flag = [&](const wchar_t* key, std::atomic<bool>& member) {
        const DS& value = structure.GetMember(key);
        if (value.IsBoolean()) member.store(value.AsBoolean(false));
    };
    const auto number = [&](const wchar_t* key, std::atomic<std::uint32_t>& member) {
        const DS& value = structure.GetMember(key);
        if (value.IsInteger()) member.store(static_cast<std::uint32_t>(value.AsInteger(false)));
    };
    // A negative interval would wrap round to decades: the loop would never run again.
    const auto interval = [&](const wchar_t* key, std::atomic<std::uint32_t>& member) {
        const DS& value = structure.GetMember(key);
        if (value.IsInteger() && value.AsInteger(false) < 0) {
            log(L"[config:load] " + std::wstring(key) + L" is negative; kept " + std::to_wstring(member.load()), 1);
            return;
        }
        number(key, member);
    };
    const auto time = [&](const wchar_t* key, ptime& member) {
        const DS& value = structure.GetMember(key);
        const std::wstring raw = value.IsString() ? value.AsString(false) : std::wstring();
        ptime parsed;
        if (parse_settings_time(util::narrow(raw), parsed)) {
            write(member, parsed);
        } else {
            log(L"[config:extract_ptime] could not parse ptime: " + raw, 1);
        }
    };
    const auto duration = [&](const wchar_t* key, time_duration& member) {
        const DS& value = structure.GetMember(key);
        const std::wstring raw = value.IsString() ? value.AsString(false) : std::wstring();
        time_duration parsed;
        if (parse_settings_duration(util::narrow(raw), parsed)) {
            write(member, parsed);
        } else {
            log(L"[config:extract_ptime] could not parse duration: " + raw, 1);
        }
    };
    // A list keeps its first max_list_items items, whichever file or answer it came from.
    const auto log_cut = [](const wchar_t* key, std::size_t given) {
        if (given <= max_list_items) return;
        log(L"[config:load] " + std::wstring(key) + L" holds " + std::to_wstring(given) + L" items; kept the first " +
                std::to_wstring(max_list_items),
            1);
    };
    // A list that is present but empty (an empty array reads as Nil) clears
    // the stored list; a list of another kind is ignored.
    const auto list = [&](const wchar_t* key, std::vector<std::wstring>& member) {
        if (!structure.HasMember(key)) return;
        const DS& value = structure.GetMember(key);
        if (!value.IsNil() && !value.IsArray()) return;
        std::vector<std::wstring> items;
        for (std::size_t i = 0; i < value.Size() && items.size() < max_list_items; ++i) {
            if (value[i].IsArray() || value[i].IsStructure()) continue;
            items.push_back(element_text(value[i]));
        }
        log_cut(key, value.Size());
        write(member, std::move(items));
    };

    text(L"account_key", account_key_);
    text(L"data_key", data_key_);
    text(L"enterprise_team_key", enterprise_team_key_);
    text(L"enterprise_feedback_url", enterprise_feedback_url_);
    {
        constexpr std::uint32_t unset = 0xFFFFFFFFu;
        std::atomic<std::uint32_t> mode{unset};
        number(L"enterprise_user_mode", mode);
        if (mode.load() != unset) {
            if (mode.load() > 1) {
                log(L"[config:load] enterprise_mode out of range.", 1);
            } else {
                enterprise_user_mode_.store(mode.load());
            }
        }
    }
    flag(L"enterprise_flag_for_uninstall", enterprise_flag_for_uninstall_);
    interval(L"scan_interval", scan_interval_);
    interval(L"scan_partial_split_interval", scan_partial_split_interval_);
    flag(L"partial_scanning_enabled", partial_scanning_enabled_);
    interval(L"push_interval", push_interval_);
    interval(L"push_initial_interval", push_initial_interval_);
    interval(L"pull_interval", pull_interval_);
    interval(L"pull_initial_interval", pull_initial_interval_);
    number(L"url_from_plugin_delay", url_from_plugin_delay_);
    // Old files gave this delay in seconds.
    if (static_cast<std::int32_t>(url_from_plugin_delay_.load()) <= 9) {
        url_from_plugin_delay_.store(url_from_plugin_delay_.load() * 1000u);
    }
    text(L"url", url_);
    text(L"api_url", api_url_);
    flag(L"corporate_network_workaround", corporate_network_workaround_);
    flag(L"auto_start", auto_start_);
    flag(L"check_updates", check_updates_);
    text(L"proxy_server", proxy_server_);
    text(L"proxy_port", proxy_port_);
    text(L"proxy_username", proxy_username_);
    text(L"proxy_password_hash", proxy_password_hash_);
    flag(L"proxy_detect_enabled", proxy_detect_enabled_);
    flag(L"logging_schedule_enabled", logging_schedule_enabled_);
    number(L"logging_scheduled_days", logging_scheduled_days_);
    flag(L"logging_enabled", logging_enabled_);
    flag(L"full_urls_enabled", full_urls_enabled_);
    flag(L"window_titles_enabled", window_titles_enabled_);
    flag(L"whitelist_enabled", whitelist_enabled_);
    number(L"idle_time_start", idle_time_start_);
    number(L"idle_time_away", idle_time_away_);
    number(L"idle_activity_max_away", idle_activity_max_away_);
    number(L"debug_log_level", debug_log_level_);
    flag(L"debug_log_send_enabled", debug_log_send_enabled_);
    flag(L"disable_gui", disable_gui_);
    flag(L"first_time_running", first_time_running_);
    flag(L"timepie_enabled", timepie_enabled_);
    flag(L"blocking_enabled", blocking_enabled_);
    flag(L"pausing_allowed", pausing_allowed_);
    flag(L"quitting_allowed", quitting_allowed_);
    flag(L"focused_time_allowed", focused_time_allowed_);
    flag(L"goto_dashboard_allowed", goto_dashboard_allowed_);
    flag(L"log_idle_enabled", log_idle_enabled_);
    number(L"firefox_level", firefox_level_);
    flag(L"first_grabber_enabled", first_grabber_enabled_);
    flag(L"timepie_entry_required", timepie_entry_required_);
    flag(L"survey_only_once", survey_only_once_);
    flag(L"backup_log", backup_log_);
    flag(L"offline_time_menu_allowed", offline_time_menu_allowed_);

    time(L"paused_until", paused_until_);
    time(L"last_update_check", last_update_check_);
    time(L"last_successful_send", last_successful_send_);
    duration(L"logging_scheduled_start_hour", logging_scheduled_start_hour_);
    duration(L"logging_scheduled_stop_hour", logging_scheduled_stop_hour_);

    list(L"whitelist", whitelist_);
    list(L"timepie_labels", timepie_labels_);
    list(L"idle_activities", idle_activities_);
    list(L"extended_domain_list", extended_domain_list_);

    if (structure.HasMember(L"mirrored_accounts")) {
        const DS& value = structure.GetMember(L"mirrored_accounts");
        if (value.IsNil() || value.IsArray()) {
            std::vector<mirrored_account> accounts;
            for (std::size_t i = 0; i < value.Size() && accounts.size() < max_list_items; ++i) {
                if (!value[i].IsStructure()) continue;
                accounts.push_back({element_text(value[i].GetMember(L"url")),
                                    element_text(value[i].GetMember(L"account_key"))});
            }
            log_cut(L"mirrored_accounts", value.Size());
            write(mirrored_accounts_, std::move(accounts));
        }
    }

    std::lock_guard<std::mutex> lock(data_mutex_);
    last_account_key_.clear();
    last_os_username_.clear();
    last_computer_name_.clear();
}

// ---- writing

DynamicStructure config::settings_document() const {
    using boost::posix_time::to_simple_string;
    const auto unsigned_value = [](const std::atomic<std::uint32_t>& member) {
        return DS(static_cast<std::int64_t>(member.load()));
    };
    const auto flag_value = [](const std::atomic<bool>& member) { return DS(member.load()); };
    // An empty list is written as [], which other readers take for a list
    // (reading it back gives Nil, which clears the list as before).
    const auto list_value = [](const std::vector<std::wstring>& items) {
        DS list = DS::EmptyArray();
        for (const auto& item : items) list.PushBack(DS(item));
        return list;
    };
    const ptime last_update_check = get_last_update_check();
    const ptime last_successful_send = get_last_successful_send();

    DS document;
    std::lock_guard<std::mutex> lock(data_mutex_);
    document.AddMember(L"account_key", DS(account_key_));
    document.AddMember(L"data_key", DS(data_key_));
    if (!enterprise_team_key_.empty()) {
        document.AddMember(L"enterprise_team_key", DS(enterprise_team_key_));
        document.AddMember(L"enterprise_user_mode", unsigned_value(enterprise_user_mode_));
        document.AddMember(L"enterprise_feedback_url", DS(enterprise_feedback_url_));
        if (enterprise_flag_for_uninstall_.load()) {
            document.AddMember(L"enterprise_flag_for_uninstall", DS(true));
        }
    }
    document.AddMember(L"scan_interval", unsigned_value(scan_interval_));
    document.AddMember(L"scan_partial_split_interval", unsigned_value(scan_partial_split_interval_));
    document.AddMember(L"push_interval", unsigned_value(push_interval_));
    document.AddMember(L"push_initial_interval", unsigned_value(push_initial_interval_));
    document.AddMember(L"pull_interval", unsigned_value(pull_interval_));
    document.AddMember(L"pull_initial_interval", unsigned_value(pull_initial_interval_));
    document.AddMember(L"url_from_plugin_delay", unsigned_value(url_from_plugin_delay_));
    document.AddMember(L"url", DS(url_));
    document.AddMember(L"api_url", DS(api_url_));
    document.AddMember(L"auto_start", flag_value(auto_start_));
    document.AddMember(L"partial_scanning_enabled", flag_value(partial_scanning_enabled_));
    document.AddMember(L"check_updates", flag_value(check_updates_));
    document.AddMember(L"last_update_check", DS(util::widen(to_simple_string(last_update_check))));
    document.AddMember(L"last_successful_send", DS(util::widen(to_simple_string(last_successful_send))));
    document.AddMember(L"proxy_server", DS(proxy_server_));
    document.AddMember(L"proxy_port", DS(proxy_port_));
    document.AddMember(L"proxy_username", DS(proxy_username_));
    document.AddMember(L"proxy_password_hash", DS(proxy_password_hash_));
    document.AddMember(L"proxy_detect_enabled", flag_value(proxy_detect_enabled_));
    document.AddMember(L"logging_schedule_enabled", flag_value(logging_schedule_enabled_));
    document.AddMember(L"logging_scheduled_days", unsigned_value(logging_scheduled_days_));
    document.AddMember(L"logging_scheduled_start_hour",
                       DS(util::widen(to_simple_string(logging_scheduled_start_hour_))));
    document.AddMember(L"logging_scheduled_stop_hour",
                       DS(util::widen(to_simple_string(logging_scheduled_stop_hour_))));
    document.AddMember(L"logging_enabled", flag_value(logging_enabled_));
    document.AddMember(L"full_urls_enabled", flag_value(full_urls_enabled_));
    document.AddMember(L"window_titles_enabled", flag_value(window_titles_enabled_));
    document.AddMember(L"whitelist_enabled", flag_value(whitelist_enabled_));
    document.AddMember(L"idle_time_start", unsigned_value(idle_time_start_));
    document.AddMember(L"idle_time_away", unsigned_value(idle_time_away_));
    document.AddMember(L"idle_activity_max_away", unsigned_value(idle_activity_max_away_));
    document.AddMember(L"debug_log_level", unsigned_value(debug_log_level_));
    document.AddMember(L"debug_log_send_enabled", flag_value(debug_log_send_enabled_));
    document.AddMember(L"disable_gui", flag_value(disable_gui_));
    // Whoever reads this file is past the first run.
    document.AddMember(L"first_time_running", DS(false));
    document.AddMember(L"paused_until", DS(util::widen(to_simple_string(paused_until_))));
    document.AddMember(L"timepie_enabled", flag_value(timepie_enabled_));
    document.AddMember(L"pausing_allowed", flag_value(pausing_allowed_));
    document.AddMember(L"quitting_allowed", flag_value(quitting_allowed_));
    document.AddMember(L"focused_time_allowed", flag_value(focused_time_allowed_));
    document.AddMember(L"goto_dashboard_allowed", flag_value(goto_dashboard_allowed_));
    document.AddMember(L"log_idle_enabled", flag_value(log_idle_enabled_));
    document.AddMember(L"firefox_level", unsigned_value(firefox_level_));
    document.AddMember(L"first_grabber_enabled", flag_value(first_grabber_enabled_));
    document.AddMember(L"timepie_entry_required", flag_value(timepie_entry_required_));
    document.AddMember(L"survey_only_once", flag_value(survey_only_once_));
    document.AddMember(L"backup_log", flag_value(backup_log_));
    document.AddMember(L"offline_time_menu_allowed", flag_value(offline_time_menu_allowed_));
    document.AddMember(L"whitelist", list_value(whitelist_));
    DS mirrors = DS::EmptyArray();
    for (const auto& mirror : mirrored_accounts_) {
        mirrors.PushBack(DS{{L"url", DS(mirror.url)}, {L"account_key", DS(mirror.account_key)}});
    }
    document.AddMember(L"mirrored_accounts", mirrors);
    document.AddMember(L"timepie_labels", list_value(timepie_labels_));
    document.AddMember(L"extended_domain_list", list_value(extended_domain_list_));
    if (corporate_network_workaround_.load()) {
        document.AddMember(L"corporate_network_workaround", DS(true));
    }
    return document;
}

void config::save() {
    if (!saving_allowed_.load()) return;
    // One save at a time: each writes the whole store as it is when its turn
    // comes, so the last save always holds every earlier change.
    std::lock_guard<std::mutex> serial(save_mutex_);
    if (settings_file_unreadable_) {
        if (!refused_save_logged_) {
            log(L"[config:save] Not saved: the configuration file could not be read at start and is kept as it is",
                1);
        }
        refused_save_logged_ = true;
        return;
    }
    try {
        std::string text = WriteJsonUtf8(settings_document());
        const std::string path = system::create()->get_config_json_path();
        // The service sends the same settings at every pull; a file that
        // already holds them is not written again.
        struct stat info {};
        if (text == last_saved_text_ && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            static_cast<std::size_t>(info.st_size) == text.size()) {
            return;
        }
        std::string error;
        if (fs::replace_file_atomically(path, text, error)) {
            last_saved_text_ = std::move(text);
        } else {
            last_saved_text_.clear();
            log(L"[config:save] Could not write the configuration file: " + util::widen(error), 1);
        }
    } catch (const std::exception& e) {
        log(L"[config:save] Caught std::exception: " + util::widen(e.what()), 1);
    }
}

// ---- reading the files

bool config::load() {
    const auto platform_system = system::create();
    const bool loaded = load_from_json_on_disk(platform_system->get_config_json_path());
    if (!loaded) load_from_yaml_on_disk(platform_system->get_config_cfg_path());
    // base_config.json is optional: its absence is not worth a log line.
    std::string base_config = platform_system->get_app_dir();
    if (base_config.empty() || base_config.back() != '/') base_config += '/';
    base_config += "base_config.json";
    if (get_first_time_running()) apply_base_config(*this, base_config);
    return loaded;
}

bool config::load_from_json_on_disk(const std::string& path) {
    const bool is_settings_file = is_settings_file_path(path);
    const fs::file_contents file = read_settings_file(path);
    const bool unreadable = file.is_unreadable();
    if (is_settings_file) {
        std::lock_guard<std::mutex> serial(save_mutex_);
        settings_file_unreadable_ = unreadable;
        refused_save_logged_ = false;
    }
    if (!file.is_read()) {
        log_unable_to_open();
        if (unreadable && is_settings_file) {
            log(L"[config:load_from_json_on_disk] The configuration file " + util::utf8_to_wstring_lossy(path) +
                    L" cannot be read (" + why_unread(file) +
                    L"); running on defaults, and nothing is saved over it until the agent starts again",
                1);
        }
        return false;
    }
    const std::string& bytes = file.bytes;
    DS structure;
    std::wstring failure;
    if (parse_settings_text(path, bytes, structure, failure)) {
        try {
            if (!structure.IsNil()) load(structure);
            return true;
        } catch (const std::exception& e) {
            failure = util::widen(e.what());
        } catch (...) {
            failure.clear();
        }
    }
    // A copy is kept aside before anything can save the defaults over it, so
    // the account key can still be recovered by hand. The file itself stays:
    // a kestreld.json beside the application decides the data folder, and
    // moving it away would move every later file elsewhere. base_config.json
    // is provisioned with the application and is left alone.
    if (is_settings_file) {
        const std::string copy = keep_corrupt_copy(path, bytes);
        if (!copy.empty()) {
            log(L"[config:load_from_json_on_disk] Kept a copy of the unreadable configuration file as " +
                    util::utf8_to_wstring_lossy(copy),
                1);
        }
    }
    set_defaults();
    set_status_message(get_text(L"status_message_corrupt_config"), 4);
    if (!failure.empty()) {
        log(L"[config:load_from_json_on_disk] Caught std::exception loading config: " + failure, 9);
    }
    log(L"[config:load_from_json_on_disk] Error reading configuration file - resetting to default configuration", 1);
    return false;
}

bool config::load_from_yaml_on_disk(const std::string& path) {
    const fs::file_contents file = fs::read_regular_file(path, max_yaml_input_bytes);
    if (!file.is_read()) {
        log_unable_to_open();
        if (file.is_unreadable()) {
            log(L"[config:load_from_yaml_on_disk] The legacy configuration file " + util::utf8_to_wstring_lossy(path) +
                    L" cannot be read (" + why_unread(file) + L"); it is left as it is",
                1);
        }
        return false;
    }
    const std::string& bytes = file.bytes;
    std::wstring detail;
    try {
        const YAML::Node document = load_yaml_bounded(bytes);
        DS structure = DynamicStructureFromYaml(document);
        if (structure.IsNil()) return true;
        keep_raw_legacy_texts(document, structure);
        load(structure);
        save();
        if (read_settings_file(system::create()->get_config_json_path()).is_read()) std::remove(path.c_str());
        return true;
    } catch (const YAML::Exception& e) {
        detail = L"[config:load_from_yaml_on_disk] Caught YAML::Exception loading config: " + util::widen(e.what());
    } catch (const std::exception& e) {
        detail = L"[config:load_from_yaml_on_disk] Caught std::exception loading config: " + util::widen(e.what());
    } catch (...) {
    }
    set_defaults();
    set_status_message(get_text(L"status_message_corrupt_config"), 4);
    if (!detail.empty()) log(detail, 9);
    log(L"[config:load_from_yaml_on_disk] Error reading configuration file - resetting to default configuration", 1);
    return false;
}

}  // namespace kes
