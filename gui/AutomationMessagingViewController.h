#pragma once
// Why the agent reads other applications' windows and browser pages, with a
// button to say the user has read it. With a delegate (the setup wizard's
// Automation page) the button tells the delegate; without one it closes the
// window the view stands in.
//
// On desktops of capability 10.14 and later the picture is framed, the frame
// following the desktop's light or dark appearance, and the text's first ten
// characters ("Important:") are set in the bold face of the desktop's own
// font. Main thread only.

#include "platform/session_kind.h"

#include <QPointer>

#include <functional>
#include <memory>

class QLabel;
class QObject;
class QPushButton;
class QWidget;

namespace platform {
class system_version;
}

namespace kes {

class AutomationMessagingViewController {
public:
    static constexpr const char* layout_name = "osx_AutomationMessagingViewController";
    static constexpr int bold_prefix_length = 10;

    // `version` null: this desktop's own capability level. The text says
    // what can be read in `session`.
    explicit AutomationMessagingViewController(const platform::system_version* version = nullptr,
                                               platform::session_kind session = platform::session_kind::x11);
    ~AutomationMessagingViewController();
    AutomationMessagingViewController(const AutomationMessagingViewController&) = delete;
    AutomationMessagingViewController& operator=(const AutomationMessagingViewController&) = delete;

    // Receives the acknowledgement (`automationMessagingVCDidPressAwknowledgementButton:`).
    std::function<void(AutomationMessagingViewController&)> delegate;

    void actionAknowledge();
    // The picture's frame for the appearance now: grey on a dark desktop,
    // light grey on a light one.
    void updateForAppearance();
    bool appearanceIsDark() const;

    // The view; its owner puts it into a window or a page. Whichever of this
    // object and that container ends first takes the view with it.
    QWidget& view() { return *view_; }
    QLabel* titleLabel = nullptr;
    QLabel* alertImageView = nullptr;
    QLabel* importantLabel = nullptr;
    QPushButton* acknowledgeButton = nullptr;

private:
    void awakeFromNib(bool appearance_aware);

    QPointer<QWidget> view_;
    std::unique_ptr<QObject> appearance_observer_;  // watches the view's palette
};

}  // namespace kes
