#pragma once
// The agent's item in the desktop's tray (status area): an image, a tooltip,
// the agent's menu, and message balloons. Where no tray exists (no display,
// or no tray host running) the item is invisible and its menu opens at the
// pointer instead. Main thread only.

#include <functional>
#include <string>

namespace platform {

// A place on the screen, in pixels; empty when there is none.
struct screen_place {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};

class status_item {
public:
    virtual ~status_item() = default;

    // Whether a tray host runs now; it may start or end while the agent runs.
    virtual bool tray_available() const = 0;

    // An image file; "" shows no image (the item keeps its place). False when
    // the file cannot be read as an image, which then shows no image either.
    virtual bool set_image(const std::string& image_file) = 0;
    virtual void set_tooltip(const std::string& text) = 0;
    virtual void set_visible(bool visible) = 0;
    virtual bool visible() const = 0;
    // Where the tray shows the item; empty when no tray shows it (a tray
    // that draws the item itself tells no place).
    virtual screen_place place() const = 0;
    // Runs when the toolkit says that the tray moved, resized, showed or hid
    // the item. A tray may also move as a whole without a word: whoever
    // follows the item asks `place()` again now and then while it is not empty.
    virtual void set_place_changed(std::function<void()> handler) = 0;

    // A balloon from the item; false (nothing shown) when no tray shows it.
    virtual bool show_message(const std::string& title, const std::string& text) = 0;

    // Opens the menu beneath the item, or at the pointer when no tray shows it.
    virtual void open_menu() = 0;
    // Runs just before the menu opens, however it was opened.
    virtual void set_menu_will_open(std::function<void()> handler) = 0;
};

}  // namespace platform
