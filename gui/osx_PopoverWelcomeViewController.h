#pragma once
// The popover's welcome for a user who is set up; made with the popover,
// which shows its setup content instead, so its view is made only when
// asked for.

#include <QPointer>

class QLabel;
class QWidget;

namespace kes {

class osx_Popover;

class osx_PopoverWelcomeViewController {
public:
    static constexpr const char* layout_name = "osx_PopoverWelcomeViewController";

    // `initWithPopover:`; the popover is not owned.
    explicit osx_PopoverWelcomeViewController(osx_Popover& popover);
    ~osx_PopoverWelcomeViewController();
    osx_PopoverWelcomeViewController(const osx_PopoverWelcomeViewController&) = delete;
    osx_PopoverWelcomeViewController& operator=(const osx_PopoverWelcomeViewController&) = delete;

    QWidget& view();
    osx_Popover& popover;
    QLabel* welcomeLabel = nullptr;  // null until the view is made

private:
    QPointer<QWidget> view_;
};

}  // namespace kes
