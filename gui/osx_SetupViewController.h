#pragma once
// A page of the setup wizard. The wizard tells a page when it is about to
// show it and when it leaves it; a page that is done moves the wizard on
// with `showNextViewController` on the wizard it was shown by.

#include <QSize>

class QWidget;

namespace kes {

class osx_SetupWindowController;

class osx_SetupViewController {
public:
    virtual ~osx_SetupViewController() = default;

    // The page keeps the wizard and gets ready (main thread).
    virtual void willBeDisplayedBy(osx_SetupWindowController& wizard) = 0;
    // The page forgets the wizard and stops what it runs (timers, observers).
    virtual void willBeHiddenBy(osx_SetupWindowController& wizard) = 0;

    virtual QWidget& view() = 0;
    // The size the page asks of the window now.
    virtual QSize pageSize() const = 0;
};

}  // namespace kes
