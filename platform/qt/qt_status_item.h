#pragma once
// The status item as a tray icon with the agent's menu. A click on the icon
// opens the menu, as the right button does; the menu's owner fills `menu()`.

#include "platform/status_item.h"

#include <memory>

class QIcon;
class QObject;
class QMenu;
class QSystemTrayIcon;

namespace platform {

class requested_menu;

class qt_status_item final : public status_item {
public:
    qt_status_item();  // main thread, after the application object
    ~qt_status_item() override;
    qt_status_item(const qt_status_item&) = delete;
    qt_status_item& operator=(const qt_status_item&) = delete;

    bool tray_available() const override;
    bool set_image(const std::string& image_file) override;
    void set_tooltip(const std::string& text) override;
    void set_visible(bool visible) override;
    bool visible() const override;
    screen_place place() const override;
    bool show_message(const std::string& title, const std::string& text) override;
    void open_menu() override;
    void set_menu_will_open(std::function<void()> handler) override;
    void set_place_changed(std::function<void()> handler) override;

    // For images made in memory; a null icon shows no image.
    void set_icon(const QIcon& icon);

    QMenu& menu() { return *menu_; }
    QSystemTrayIcon& tray_icon() { return *icon_; }

private:
    // Watches the window the toolkit embeds in an XEmbed tray (a tray that
    // draws the item itself has none): its moves are the item's.
    void watch_embedded_window();

    std::unique_ptr<QMenu> menu_;  // outlives the icon that shows it
    std::unique_ptr<requested_menu> requested_menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::function<void()> menu_will_open_;
    std::function<void()> place_changed_;
    std::unique_ptr<QObject> embedded_watcher_;
};

}  // namespace platform
