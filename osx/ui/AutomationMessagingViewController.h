#pragma once
// Why the agent reads other applications' windows, with a button to say the
// user has read it. With a delegate the button tells the delegate; without
// one it closes the window the view stands in.

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QWidget;

namespace kes {

class AutomationMessagingViewController {
public:
    static constexpr const char* layout_name = "osx_AutomationMessagingViewController";

    AutomationMessagingViewController();
    ~AutomationMessagingViewController();
    AutomationMessagingViewController(const AutomationMessagingViewController&) = delete;
    AutomationMessagingViewController& operator=(const AutomationMessagingViewController&) = delete;

    // Receives the acknowledgement (the setup wizard's page sets one).
    std::function<void(AutomationMessagingViewController&)> delegate;

    void actionAknowledge();

    // The view; its owner puts it into a window and keeps it alive.
    QWidget& view() { return *view_; }
    QLabel* alertImageView = nullptr;
    QLabel* importantLabel = nullptr;
    QPushButton* acknowledgeButton = nullptr;

private:
    std::unique_ptr<QWidget> view_;
};

}  // namespace kes
