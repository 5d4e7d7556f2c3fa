#pragma once
// The setup popover beneath the status item: it invites a new user to set
// the agent up, and stays until closed from code (not by a click elsewhere).
// Its button opens the setup window.

#include "platform/status_item.h"

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QWidget;

namespace kes {

class osx_Popover {
public:
    static constexpr const char* layout_name = "osx_PopoverSetupViewController";

    explicit osx_Popover(std::function<void()> show_setup_window);
    ~osx_Popover();
    osx_Popover(const osx_Popover&) = delete;
    osx_Popover& operator=(const osx_Popover&) = delete;

    // Shows the popover below `item`; where no tray shows the item, at the
    // top right of the screen. Showing it again moves it to the item's place.
    void showRelativeTo(const platform::screen_place& item);
    void performClose();
    bool isShown() const;

    // Action of its button: opens the setup window, then the popover closes.
    void showSetupWindow();

    QWidget& window() { return *window_; }
    QPushButton* setupButton = nullptr;
    QLabel* welcomeLabel = nullptr;

private:
    std::unique_ptr<QWidget> window_;
    std::function<void()> show_setup_window_;
};

}  // namespace kes
