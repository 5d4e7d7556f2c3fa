#pragma once
// A status item that only records: images, tooltip, visibility, balloons and
// how often its menu was opened. The test decides whether a tray exists.

#include "platform/status_item.h"

#include <utility>
#include <vector>

namespace platform {

class fake_status_item final : public status_item {
public:
    bool tray_available() const override { return tray; }
    bool set_image(const std::string& image_file) override {
        images.push_back(image_file);
        return image_readable;
    }
    void set_tooltip(const std::string& text) override { tooltip = text; }
    void set_visible(bool visible) override { visible_ = visible; }
    bool visible() const override { return visible_; }
    screen_place place() const override { return tray && visible_ ? shown_at : screen_place{}; }
    bool show_message(const std::string& title, const std::string& text) override {
        if (!tray || !visible_) return false;
        messages.emplace_back(title, text);
        return true;
    }
    void open_menu() override {
        if (menu_will_open_) menu_will_open_();
        ++menu_openings;
    }
    void set_menu_will_open(std::function<void()> handler) override { menu_will_open_ = std::move(handler); }
    void set_place_changed(std::function<void()> handler) override { place_changed_ = std::move(handler); }
    // The tray moves the item and says so.
    void move_to(const screen_place& place) {
        shown_at = place;
        if (place_changed_) place_changed_();
    }

    bool tray = true;
    bool image_readable = true;
    std::vector<std::string> images;
    std::string tooltip;
    std::vector<std::pair<std::string, std::string>> messages;
    int menu_openings = 0;
    screen_place shown_at{900, 0, 22, 22};  // where the tray shows it, when it does

private:
    bool visible_ = false;
    std::function<void()> menu_will_open_;
    std::function<void()> place_changed_;
};

}  // namespace platform
