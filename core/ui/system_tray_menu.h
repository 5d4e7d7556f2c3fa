#pragma once
// The status-bar menu as a tree of plain items, independent of any toolkit.
// The UI logic changes texts and flags by item id; every real change marks
// the menu dirty, and `refresh_if_dirty` has the platform rebuild its native
// menu (`show`) once for any number of changes. The platform builds from
// `render()`, which applies the one layout rule: hidden items vanish with
// their submenus, and separators never lead a menu or follow one another.
// The tree is shared by the UI event thread and the main thread: every
// operation takes the menu's one mutex, and `show` is called outside it.

#include "core/foundation/noncopyable.h"
#include "core/ui/tray_items.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kes {

struct tray_menu_item {
    std::vector<tray_menu_item> children;
    std::wstring text = L"Invalid Item";  // empty: a separator
    int id = k_tray_item_invalid;
    bool visible = true;
    bool enabled = true;
    bool checked = false;
    // A switch the user turns on and off: drawn with its check box whether
    // checked or not, where a desktop draws no box for a plain item.
    bool checkable = false;

    bool is_separator() const { return text.empty(); }
};

// One entry of the menu as it is to be shown.
struct rendered_menu_item {
    int id = k_tray_item_invalid;
    bool separator = false;
    std::wstring text;
    bool enabled = true;
    bool checked = false;
    bool checkable = false;    // a switch, or an item that is checked now
    bool has_submenu = false;  // the item has children, shown or not
    std::vector<rendered_menu_item> children;

    bool operator==(const rendered_menu_item& other) const {
        return id == other.id && separator == other.separator && text == other.text && enabled == other.enabled &&
               checked == other.checked && checkable == other.checkable && has_submenu == other.has_submenu &&
               children == other.children;
    }
    bool operator!=(const rendered_menu_item& other) const { return !(*this == other); }
};

// What one item is to show; an empty member leaves that part as it is.
struct tray_item_state {
    std::optional<bool> visible;
    std::optional<bool> enabled;
    std::optional<std::wstring> text;

    bool operator==(const tray_item_state& other) const {
        return visible == other.visible && enabled == other.enabled && text == other.text;
    }
};
// Indexed by item id.
using tray_menu_state = std::array<tray_item_state, k_number_of_tray_items>;

class system_tray_menu_listener {
public:
    virtual ~system_tray_menu_listener() = default;
    virtual void on_menu_action(int item_id) = 0;
};

class system_tray_menu_interface : public noncopyable {
public:
    // Builds the agent's menu in its fixed order, then logs every id of 0 to
    // 45 that is not in it.
    system_tray_menu_interface();
    virtual ~system_tray_menu_interface();

    // Rebuilds the native menu from `render()`.
    virtual void show() = 0;

    // Appends to the top level (parent 46) or to the children of a top-level
    // item; any other parent drops the item, so menus are two levels deep.
    void add_item(int id, const std::wstring& text, int parent_id, bool visible, bool enabled, bool checked);

    // A copy of the item; std::runtime_error when the id is not in the menu.
    tray_menu_item find_item(int id) const;

    void set_tray_item_name(int id, const std::wstring& text);
    void set_tray_item_visible(int id, bool visible);
    void set_tray_item_enabled(int id, bool enabled);
    void set_tray_item_checked(int id, bool checked);
    std::wstring get_tray_item_name(int id) const;
    bool is_tray_item_visible(int id) const;
    bool is_tray_item_enabled(int id) const;
    bool is_tray_item_checked(int id) const;

    // Each item's text, visibility and enabled state as `state` names them,
    // in id order, exactly as the setters one by one (the same changes and
    // lines), under one lock. Answers the change count right after.
    std::uint64_t set_tray_items(const tray_menu_state& state);
    // Counts every real change of the tree, whoever made it.
    std::uint64_t change_count() const;

    bool is_dirty() const;
    // Calls `show` once when anything changed since the last call.
    void refresh_if_dirty();

    std::vector<rendered_menu_item> render() const;
    // A copy of the whole tree, shown or not.
    std::vector<tray_menu_item> items() const;

    void set_listener(system_tray_menu_listener* listener);
    void notify_listener(int id);

private:
    // Both under mutex_.
    tray_menu_item* find_locked(int id);
    bool check_tree_locked() const;
    template <class Field, class Value>
    void set_field(const wchar_t* tag, int id, Field tray_menu_item::*field, const Value& value);

    // Logs a setter's real change; outside the lock, the log must never wait
    // while the menu is held.
    static void log_change(const wchar_t* tag, int id);

    mutable std::mutex mutex_;
    bool dirty_ = false;
    std::uint64_t changes_ = 0;
    std::vector<tray_menu_item> items_;
    system_tray_menu_listener* listener_ = nullptr;
};

// The rendering rule on its own, for any list of items.
std::vector<rendered_menu_item> render_menu_items(const std::vector<tray_menu_item>& items);

}  // namespace kes
