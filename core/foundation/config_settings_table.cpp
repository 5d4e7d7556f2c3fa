// How each kind of setting is reset, read from a structure and written to
// the settings file; the table itself is in the header.

#include "core/foundation/config_settings_table.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {
namespace {

using DS = DynamicStructure;
using boost::posix_time::ptime;
using boost::posix_time::time_duration;

// A time or duration in one of its accepted forms. Any other kind reads as
// the empty text, which does not parse and is logged like a bad text.
template <class Moment>
std::optional<Moment> read_moment(const DS& value, bool (*parse)(const std::string&, Moment&), const wchar_t* what) {
    const std::wstring raw = value.IsString() ? value.AsString(false) : std::wstring();
    Moment parsed;
    if (parse(util::narrow(raw), parsed)) return parsed;
    log(L"[config:extract_ptime] could not parse " + std::wstring(what) + L": " + raw, log_level::error);
    return std::nullopt;
}

// The value to store for a number member holding `current`, or none to keep it.
std::optional<std::uint32_t> read_number(const DS& value, const wchar_t* key, number_rule rule, std::uint32_t current) {
    if (!value.IsInteger()) return std::nullopt;
    const std::int64_t given = value.AsInteger(false);
    if (rule == number_rule::never_negative && given < 0) {
        log(L"[config:load] " + std::wstring(key) + L" is negative; kept " + std::to_wstring(current), log_level::error);
        return std::nullopt;
    }
    const auto stored = static_cast<std::uint32_t>(given);
    if (rule == number_rule::zero_or_one) {
        // All bits set reads as not given: a -1 changes nothing and logs nothing.
        if (stored == 0xFFFFFFFFu) return std::nullopt;
        if (stored > 1) {
            log(L"[config:load] enterprise_mode out of range.", log_level::error);
            return std::nullopt;
        }
    }
    return stored;
}

// The text of a list element or a mirror's member; containers have none.
std::wstring element_text(const DS& value) {
    if (value.IsArray() || value.IsStructure()) return {};
    return value.AsString(true);
}

// A list keeps its first max_list_items items, whichever file or answer it came from.
void log_cut(const wchar_t* key, std::size_t given) {
    if (given <= config::max_list_items) return;
    log(L"[config:load] " + std::wstring(key) + L" holds " + std::to_wstring(given) + L" items; kept the first " +
            std::to_wstring(config::max_list_items),
        log_level::error);
}

// A list that is present but empty (an empty array reads as Nil) clears the
// stored list; a list of another kind is ignored.
bool is_list_to_apply(const DS& structure, const wchar_t* key) {
    if (!structure.HasMember(key)) return false;
    const DS& value = structure.GetMember(key);
    return value.IsNil() || value.IsArray();
}

std::optional<std::vector<std::wstring>> read_text_list(const DS& structure, const wchar_t* key) {
    if (!is_list_to_apply(structure, key)) return std::nullopt;
    const DS& value = structure.GetMember(key);
    std::vector<std::wstring> items;
    for (std::size_t i = 0; i < value.Size() && items.size() < config::max_list_items; ++i) {
        if (value[i].IsArray() || value[i].IsStructure()) continue;
        items.push_back(element_text(value[i]));
    }
    log_cut(key, value.Size());
    return items;
}

std::optional<std::vector<mirrored_account>> read_mirror_list(const DS& structure, const wchar_t* key) {
    if (!is_list_to_apply(structure, key)) return std::nullopt;
    const DS& value = structure.GetMember(key);
    std::vector<mirrored_account> accounts;
    for (std::size_t i = 0; i < value.Size() && accounts.size() < config::max_list_items; ++i) {
        if (!value[i].IsStructure()) continue;
        accounts.push_back(
            {element_text(value[i].GetMember(L"url")), element_text(value[i].GetMember(L"account_key"))});
    }
    log_cut(key, value.Size());
    return accounts;
}

DS time_value(const ptime& value) { return DS(util::widen(boost::posix_time::to_simple_string(value))); }

DS duration_value(const time_duration& value) { return DS(util::widen(boost::posix_time::to_simple_string(value))); }

// An empty list is written as [], which other readers take for a list
// (reading it back gives Nil, which clears the list as before).
DS text_list_value(const std::vector<std::wstring>& items) {
    DS list = DS::EmptyArray();
    for (const auto& item : items) list.PushBack(DS(item));
    return list;
}

DS mirror_list_value(const std::vector<mirrored_account>& accounts) {
    DS mirrors = DS::EmptyArray();
    for (const auto& mirror : accounts) {
        mirrors.PushBack(DS{{L"url", DS(mirror.url)}, {L"account_key", DS(mirror.account_key)}});
    }
    return mirrors;
}

// The row's member as the type its kind holds (the row's factory set both).
template <class Member, class Row>
Member config::*member_of(const Row& row) {
    return std::get<Member config::*>(row.member);
}

}  // namespace

ptime config::settings_table::or_never_set(const ptime& stored) {
    static const ptime never_set = boost::posix_time::time_from_string("2001-01-01 00:00:00");
    return stored.is_not_a_date_time() ? never_set : stored;
}

std::optional<setting_kind> config::settings_table::kind_of(const std::wstring& key) {
    for (const setting& row : rows) {
        if (key == row.key) return row.kind;
    }
    return std::nullopt;
}

void config::settings_table::apply_defaults(config& store, const ptime& now) {
    for (const setting& row : rows) {
        switch (row.kind) {
            case setting_kind::text:
                store.*member_of<std::wstring>(row) = row.default_text;
                break;
            case setting_kind::flag:
                (store.*member_of<std::atomic<bool>>(row)).store(row.default_number != 0);
                break;
            case setting_kind::number:
                (store.*member_of<std::atomic<std::uint32_t>>(row)).store(row.default_number);
                break;
            case setting_kind::time:
            case setting_kind::last_time:
                store.*member_of<ptime>(row) = row.defaults_to_now ? now : ptime();
                break;
            case setting_kind::duration:
                store.*member_of<time_duration>(row) = time_duration(boost::posix_time::not_a_date_time);
                break;
            case setting_kind::text_list:
                if (!row.kept_by_defaults) (store.*member_of<std::vector<std::wstring>>(row)).clear();
                break;
            case setting_kind::mirror_list:
                if (!row.kept_by_defaults) (store.*member_of<std::vector<mirrored_account>>(row)).clear();
                break;
        }
    }
}

void config::settings_table::load(config& store, const DynamicStructure& structure) {
    for (int kind = 0; kind <= static_cast<int>(setting_kind::mirror_list); ++kind) {
        for (const setting& row : rows) {
            if (row.kind == static_cast<setting_kind>(kind)) load_row(store, row, structure);
        }
    }
}

void config::settings_table::load_row(config& store, const setting& row, const DynamicStructure& structure) {
    const DS& value = structure.GetMember(row.key);
    const auto store_if_read = [&store](auto& member, auto&& read) {
        if (read) store.write(member, std::move(*read));
    };
    switch (row.kind) {
        case setting_kind::text:
            if (value.IsString()) store.write(store.*member_of<std::wstring>(row), value.AsString(false));
            break;
        case setting_kind::flag:
            if (value.IsBoolean()) (store.*member_of<std::atomic<bool>>(row)).store(value.AsBoolean(false));
            break;
        case setting_kind::number: {
            auto& member = store.*member_of<std::atomic<std::uint32_t>>(row);
            if (const auto read = read_number(value, row.key, row.rule, member.load())) member.store(*read);
            if (row.rule == number_rule::small_values_seconds && static_cast<std::int32_t>(member.load()) <= 9) {
                member.store(member.load() * 1000u);  // also when absent
            }
            break;
        }
        case setting_kind::time:
        case setting_kind::last_time:
            store_if_read(store.*member_of<ptime>(row), read_moment(value, &util::parse_simple_time, L"ptime"));
            break;
        case setting_kind::duration:
            store_if_read(store.*member_of<time_duration>(row),
                          read_moment(value, &util::parse_simple_duration, L"duration"));
            break;
        case setting_kind::text_list:
            store_if_read(store.*member_of<std::vector<std::wstring>>(row), read_text_list(structure, row.key));
            break;
        case setting_kind::mirror_list:
            store_if_read(store.*member_of<std::vector<mirrored_account>>(row), read_mirror_list(structure, row.key));
            break;
    }
}

DynamicStructure config::settings_table::document(const config& store) {
    DS document;
    std::lock_guard<std::mutex> lock(store.data_mutex_);
    for (const setting& row : rows) {
        if (is_written(store, row)) document.AddMember(row.key, value_of(store, row));
    }
    return document;
}

bool config::settings_table::is_written(const config& store, const setting& row) {
    const auto is_on = [&] { return (store.*member_of<std::atomic<bool>>(row)).load(); };
    switch (row.saved) {
        case when_saved::always:
        case when_saved::as_false:
            return true;
        case when_saved::never:
            return false;
        case when_saved::when_true:
            return is_on();
        case when_saved::with_team_key:
            return !store.enterprise_team_key_.empty();
        case when_saved::with_team_key_when_true:
            return !store.enterprise_team_key_.empty() && is_on();
    }
    return false;
}

DynamicStructure config::settings_table::value_of(const config& store, const setting& row) {
    if (row.saved == when_saved::as_false) return DS(false);
    switch (row.kind) {
        case setting_kind::text:
            return DS(store.*member_of<std::wstring>(row));
        case setting_kind::flag:
            return DS((store.*member_of<std::atomic<bool>>(row)).load());
        case setting_kind::number:
            return DS(static_cast<std::int64_t>((store.*member_of<std::atomic<std::uint32_t>>(row)).load()));
        case setting_kind::time:
            return time_value(store.*member_of<ptime>(row));
        case setting_kind::last_time:
            return time_value(or_never_set(store.*member_of<ptime>(row)));
        case setting_kind::duration:
            return duration_value(store.*member_of<time_duration>(row));
        case setting_kind::text_list:
            return text_list_value(store.*member_of<std::vector<std::wstring>>(row));
        case setting_kind::mirror_list:
            return mirror_list_value(store.*member_of<std::vector<mirrored_account>>(row));
    }
    return DS();
}

}  // namespace kes
