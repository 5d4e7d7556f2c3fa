// The settings file: applying a structure to the store, writing the store to
// kestreld.json, reading kestreld.json, base_config.json and the legacy
// kestreld.cfg, and what a corrupt file does.

#include "core/foundation/files/replace_file.h"
#include "core/foundation/config.h"
#include "core/foundation/config_settings_table.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/files/exclusive_file.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/foundation/text_table.h"

#include <nlohmann/json.hpp>
#include <yaml-cpp/yaml.h>

#include <sys/stat.h>

#include <cstdio>
#include <optional>

namespace kes {
namespace {

using DS = DynamicStructure;

// kestreld.json and base_config.json hold a few kilobytes; the limit leaves
// room for long lists and refuses what no settings file holds.
constexpr std::size_t max_settings_file_bytes = 8 * 1024 * 1024;

fs::file_contents read_settings_file(const std::string& path) {
    return fs::read_regular_file(path, max_settings_file_bytes);
}

void log_unable_to_open() {
    log(L"[config:load_from_disk] Unable to open configuration file for reading - using defaults", log_level::error);
}

std::wstring why_unread(const fs::file_contents& file) { return util::utf8_to_wstring_lossy(file.describe()); }

bool is_settings_file_path(const std::string& path) {
    return path.size() >= 13 && path.compare(path.size() - 13, 13, "kestreld.json") == 0;
}

std::wstring decode_scalar(const std::string& bytes) {
    try {
        return util::utf8_to_wstring(bytes);
    } catch (const std::exception&) {
        return util::widen(bytes);
    }
}

// Text settings of the legacy file keep their scalar's own text: a YAML
// reader would otherwise turn '8080' into a number and yes into a boolean,
// and the loader would drop them for having the wrong kind.
void keep_raw_legacy_texts(const YAML::Node& document, DS& structure,
                           std::optional<setting_kind> (*kind_of)(const std::wstring& key)) {
    if (!document.IsMap() || !structure.IsStructure()) return;
    for (const auto& pair : document) {
        if (!pair.first.IsScalar()) continue;
        const std::wstring key = util::widen(pair.first.Scalar());
        const std::optional<setting_kind> kind = kind_of(key);
        if (kind == setting_kind::text && pair.second.IsScalar()) {
            structure.SetMember(key, DS(decode_scalar(pair.second.Scalar())));
        }
        if (kind != setting_kind::text_list || !pair.second.IsSequence()) continue;
        DS items;
        for (const auto& element : pair.second) {
            if (element.IsScalar()) items.PushBack(DS(decode_scalar(element.Scalar())));
        }
        structure.SetMember(key, items);
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
                log_level::error);
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
                log_level::error);
            return {};
        }
    }
    log(L"[config:load_from_json_on_disk] " + std::to_wstring(corrupt_copies_kept) +
            L" copies of unreadable configuration files are kept already; this one is not",
        log_level::error);
    return {};
}

// base_config.json is provisioned with the application. One that cannot be
// read is ignored: resetting the store for it would drop the account key and
// the service address that kestreld.json just gave.
void apply_base_config(config& store, const std::string& path) {
    const auto ignore = [&](const std::wstring& why) {
        log(L"[config:load] Ignoring the unreadable base configuration file " + util::utf8_to_wstring_lossy(path) +
                L": " + why,
            log_level::error);
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
    settings_table::load(*this, structure);
    std::lock_guard<std::mutex> lock(data_mutex_);
    last_account_key_.clear();
    last_os_username_.clear();
    last_computer_name_.clear();
}

// ---- writing

void config::save() {
    if (!saving_allowed_.load()) return;
    // One save at a time: each writes the whole store as it is when its turn
    // comes, so the last save always holds every earlier change.
    std::lock_guard<std::mutex> serial(save_mutex_);
    if (settings_file_unreadable_) {
        if (!refused_save_logged_) {
            log(L"[config:save] Not saved: the configuration file could not be read at start and is kept as it is",
                log_level::error);
        }
        refused_save_logged_ = true;
        return;
    }
    try {
        std::string text = WriteJsonUtf8(settings_table::document(*this));
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
            log(L"[config:save] Could not write the configuration file: " + util::widen(error), log_level::error);
        }
    } catch (const std::exception& e) {
        log(L"[config:save] Caught std::exception: " + util::widen(e.what()), log_level::error);
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
                log_level::error);
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
                log_level::error);
        }
    }
    set_defaults();
    set_status_message(get_text(L"status_message_corrupt_config"), 4);
    if (!failure.empty()) {
        log(L"[config:load_from_json_on_disk] Caught std::exception loading config: " + failure,
            log_level::exception_text);
    }
    log(L"[config:load_from_json_on_disk] Error reading configuration file - resetting to default configuration",
        log_level::error);
    return false;
}

bool config::load_from_yaml_on_disk(const std::string& path) {
    const fs::file_contents file = fs::read_regular_file(path, max_yaml_input_bytes);
    if (!file.is_read()) {
        log_unable_to_open();
        if (file.is_unreadable()) {
            log(L"[config:load_from_yaml_on_disk] The legacy configuration file " + util::utf8_to_wstring_lossy(path) +
                    L" cannot be read (" + why_unread(file) + L"); it is left as it is",
                log_level::error);
        }
        return false;
    }
    const std::string& bytes = file.bytes;
    std::wstring detail;
    try {
        const YAML::Node document = load_yaml_bounded(bytes);
        DS structure = DynamicStructureFromYaml(document);
        if (structure.IsNil()) return true;
        keep_raw_legacy_texts(document, structure, &settings_table::kind_of);
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
    if (!detail.empty()) log(detail, log_level::exception_text);
    log(L"[config:load_from_yaml_on_disk] Error reading configuration file - resetting to default configuration",
        log_level::error);
    return false;
}

}  // namespace kes
