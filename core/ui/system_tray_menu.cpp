#include "core/ui/system_tray_menu.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text_table.h"

#include <stdexcept>

namespace kes {
namespace {

constexpr int root = k_tray_item_invalid;

struct initial_item {
    int id;
    const wchar_t* key;  // text-table key; nullptr: a separator
    int parent;
    bool visible;
    bool enabled;
};

// The menu in building order, which is the order it shows in.
constexpr initial_item initial_menu[] = {
    {k_tray_item_enterprise_logging_status, L"menu_item_enterprise_logging_off", root, false, false},
    {k_tray_item_enterprise_reports, L"menu_item_enterprise_start_reporting", root, false, true},
    {k_tray_item_enterprise_learn_more, L"menu_item_enterprise_learn_more", root, false, true},
    {k_tray_item_enterprise_feedback, L"menu_item_enterprise_feedback", root, false, true},
    {k_trak_item_separator_enterprise_personal, nullptr, root, true, true},
    {k_tray_item_enterprise_personal_reports, L"menu_item_enterprise_personal_reports", root, false, true},
    {k_tray_item_separator_enterprise, nullptr, root, true, true},
    {k_tray_item_help, L"menu_item_help", root, true, true},
    {k_tray_item_separator_help, nullptr, root, true, true},
    {k_tray_item_dashboard, L"menu_item_dashboard", root, true, true},
    {k_tray_item_reports, L"menu_item_reports", root, true, true},
    {k_tray_item_report_activities, L"menu_item_report_activities", k_tray_item_reports, true, true},
    {k_tray_item_report_categories, L"menu_item_report_categories", k_tray_item_reports, true, true},
    {k_tray_item_report_productivity, L"menu_item_report_productivity", k_tray_item_reports, true, true},
    {k_tray_item_report_highlights, L"menu_item_report_highlights", k_tray_item_reports, true, true},
    {k_tray_item_report_organization, L"menu_item_report_organization", k_tray_item_reports, false, false},
    {k_tray_item_goals_and_alerts, L"menu_item_goals_and_alerts", root, true, true},
    {k_tray_item_enter_offline_time, L"menu_item_offline_time", root, true, true},
    {k_tray_item_take_survey, L"menu_item_survey", root, false, true},
    {k_tray_item_separator_reports, nullptr, root, true, true},
    {k_tray_item_focus, L"menu_item_focus", root, true, true},
    {k_tray_item_focus_for_15_minutes, L"menu_item_focus_15", k_tray_item_focus, true, true},
    {k_tray_item_focus_for_30_minutes, L"menu_item_focus_30", k_tray_item_focus, true, true},
    {k_tray_item_focus_for_60_minutes, L"menu_item_focus_60", k_tray_item_focus, true, true},
    {k_tray_item_focus_for_120_minutes, L"menu_item_focus_120", k_tray_item_focus, true, true},
    {k_tray_item_focus_until_tomorrow, L"menu_item_focus_tomorrow", k_tray_item_focus, true, true},
    {k_tray_item_focus_for_custom, L"menu_item_focus_custom", k_tray_item_focus, true, true},
    {k_tray_item_focused_info, nullptr, root, false, false},  // literal text, below
    {k_tray_item_pause, L"menu_item_pause", root, true, true},
    {k_tray_item_pause_for_15_minutes, L"menu_item_pause_15", k_tray_item_pause, true, true},
    {k_tray_item_pause_for_60_minutes, L"menu_item_pause_60", k_tray_item_pause, true, true},
    {k_tray_item_pause_until_tomorrow, L"menu_item_pause_tomorrow", k_tray_item_pause, true, true},
    {k_tray_item_paused_info, nullptr, root, false, false},  // literal text, below
    {k_tray_item_unpause, L"menu_item_unpause", root, false, true},
    {k_tray_item_separator_pausing, nullptr, root, true, true},
    {k_tray_item_preferences, L"menu_item_preferences", root, true, true},
    {k_tray_item_preferences_account_settings, L"menu_item_preferences_account_settings", k_tray_item_preferences,
     true, true},
    {k_tray_item_preferences_privacy_settings, L"menu_item_preferences_privacy_settings", k_tray_item_preferences,
     true, true},
    {k_tray_item_preferences_proxy_settings, L"menu_item_preferences_proxy_settings", k_tray_item_preferences, true,
     true},
    {k_tray_item_preferences_start_at_login, L"menu_item_startup", k_tray_item_preferences, false, true},
    {k_tray_item_separator_start_at_login, nullptr, root, false, true},
    {k_tray_item_check_for_updates, L"menu_item_updates", root, true, true},
    {k_tray_item_separator_quit, nullptr, root, true, true},
    {k_tray_item_quit, L"menu_item_quit", root, true, true},
};

// The menu's switches: the user reads their state from the check box, so
// it shows when off too.
constexpr int switch_items[] = {k_tray_item_preferences_start_at_login};

std::wstring initial_text(const initial_item& item) {
    // Both are replaced by the UI logic before they are ever shown.
    if (item.id == k_tray_item_focused_info) return L"dynamic and set in ui::set_menu_item_state()";
    if (item.id == k_tray_item_paused_info) return L"Pause Info Unknown";
    return item.key ? get_text(item.key) : std::wstring();
}

// The top level first, then depth first through each item's children.
template <class Items>
auto find_in(Items& items, int id) -> decltype(&items.front()) {
    for (auto& item : items) {
        if (item.id == id) return &item;
    }
    for (auto& item : items) {
        if (auto* found = find_in(item.children, id)) return found;
    }
    return nullptr;
}

[[noreturn]] void throw_not_found() {
    throw std::runtime_error("tray_menu_item was not found anywhere in the menu system, was it added in ctor?");
}

}  // namespace

std::vector<rendered_menu_item> render_menu_items(const std::vector<tray_menu_item>& items) {
    std::vector<rendered_menu_item> shown;
    for (const tray_menu_item& item : items) {
        if (!item.visible) continue;
        rendered_menu_item entry;
        entry.id = item.id;
        if (item.is_separator()) {
            if (shown.empty() || shown.back().separator) continue;
            entry.separator = true;
        } else {
            entry.text = item.text;
            entry.enabled = item.enabled;
            entry.checked = item.checked;
            entry.checkable = item.checkable || item.checked;
            entry.has_submenu = !item.children.empty();
            entry.children = render_menu_items(item.children);
        }
        shown.push_back(std::move(entry));
    }
    return shown;
}

system_tray_menu_interface::system_tray_menu_interface() {
    for (const initial_item& item : initial_menu) {
        add_item(item.id, initial_text(item), item.parent, item.visible, item.enabled, false);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (const int id : switch_items) {
        if (tray_menu_item* item = find_in(items_, id)) item->checkable = true;
    }
    check_tree_locked();
}

system_tray_menu_interface::~system_tray_menu_interface() = default;

void system_tray_menu_interface::add_item(int id, const std::wstring& text, int parent_id, bool visible,
                                          bool enabled, bool checked) {
    tray_menu_item item;
    item.text = text;
    item.id = id;
    item.visible = visible;
    item.enabled = enabled;
    item.checked = checked;
    std::lock_guard<std::mutex> lock(mutex_);
    ++changes_;
    if (parent_id == root) {
        items_.push_back(std::move(item));
        return;
    }
    for (tray_menu_item& parent : items_) {
        if (parent.id == parent_id) {
            parent.children.push_back(std::move(item));
            return;
        }
    }
}

bool system_tray_menu_interface::check_tree_locked() const {
    bool complete = true;
    for (int id = k_tray_item_begin; id < k_number_of_tray_items; ++id) {
        if (find_in(items_, id) == nullptr) {
            log(L"ERROR: Could not access the menu item: " + std::to_wstring(id), log_level::error);
            complete = false;
        }
    }
    return complete;
}

tray_menu_item* system_tray_menu_interface::find_locked(int id) {
    tray_menu_item* found = find_in(items_, id);
    if (found == nullptr) throw_not_found();
    return found;
}

tray_menu_item system_tray_menu_interface::find_item(int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const tray_menu_item* found = find_in(items_, id);
    if (found == nullptr) throw_not_found();
    return *found;
}

template <class Field, class Value>
void system_tray_menu_interface::set_field(const wchar_t* tag, int id, Field tray_menu_item::*field,
                                           const Value& value) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tray_menu_item* item = find_locked(id);
        if (item->*field == value) return;
        item->*field = value;
        dirty_ = true;
        ++changes_;
    }
    log_change(tag, id);
}

void system_tray_menu_interface::log_change(const wchar_t* tag, int id) {
    if (!log_enabled(log_level::ui)) return;
    log(std::wstring(L"[system_tray_menu_interface:") + tag + L"] DIRTY: " + tray_item_name(id), log_level::ui);
}

std::uint64_t system_tray_menu_interface::set_tray_items(const tray_menu_state& state) {
    struct change {
        const wchar_t* tag;
        int id;
    };
    std::vector<change> made;
    std::uint64_t count = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int id = k_tray_item_begin; id < k_number_of_tray_items; ++id) {
            const tray_item_state& wanted = state[static_cast<std::size_t>(id)];
            if (!wanted.text && !wanted.visible && !wanted.enabled) continue;
            tray_menu_item* item = find_locked(id);
            if (wanted.text && item->text != *wanted.text) {
                item->text = *wanted.text;
                made.push_back({L"set_tray_item_name", id});
            }
            if (wanted.visible && item->visible != *wanted.visible) {
                item->visible = *wanted.visible;
                made.push_back({L"set_tray_item_visible", id});
            }
            if (wanted.enabled && item->enabled != *wanted.enabled) {
                item->enabled = *wanted.enabled;
                made.push_back({L"set_tray_item_enabled", id});
            }
        }
        if (!made.empty()) dirty_ = true;
        changes_ += made.size();
        count = changes_;
    }
    for (const change& each : made) log_change(each.tag, each.id);
    return count;
}

std::uint64_t system_tray_menu_interface::change_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
}

void system_tray_menu_interface::set_tray_item_name(int id, const std::wstring& text) {
    set_field(L"set_tray_item_name", id, &tray_menu_item::text, text);
}

void system_tray_menu_interface::set_tray_item_visible(int id, bool visible) {
    set_field(L"set_tray_item_visible", id, &tray_menu_item::visible, visible);
}

void system_tray_menu_interface::set_tray_item_enabled(int id, bool enabled) {
    set_field(L"set_tray_item_enabled", id, &tray_menu_item::enabled, enabled);
}

void system_tray_menu_interface::set_tray_item_checked(int id, bool checked) {
    set_field(L"set_tray_item_checked", id, &tray_menu_item::checked, checked);
}

std::wstring system_tray_menu_interface::get_tray_item_name(int id) const { return find_item(id).text; }
bool system_tray_menu_interface::is_tray_item_visible(int id) const { return find_item(id).visible; }
bool system_tray_menu_interface::is_tray_item_enabled(int id) const { return find_item(id).enabled; }
bool system_tray_menu_interface::is_tray_item_checked(int id) const { return find_item(id).checked; }

bool system_tray_menu_interface::is_dirty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dirty_;
}

void system_tray_menu_interface::refresh_if_dirty() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!dirty_) return;
        dirty_ = false;
    }
    // `show` renders the tree, which takes the mutex again.
    try {
        show();
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        dirty_ = true;  // the rebuild is still owed
        throw;
    }
}

std::vector<rendered_menu_item> system_tray_menu_interface::render() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return render_menu_items(items_);
}

std::vector<tray_menu_item> system_tray_menu_interface::items() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_;
}

void system_tray_menu_interface::set_listener(system_tray_menu_listener* listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = listener;
}

void system_tray_menu_interface::notify_listener(int id) {
    system_tray_menu_listener* listener = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listener = listener_;
    }
    // The action changes the menu itself, so the mutex is not held here.
    if (listener != nullptr) listener->on_menu_action(id);
}

}  // namespace kes
