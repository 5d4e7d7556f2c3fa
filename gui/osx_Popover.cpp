#include "gui/osx_Popover.h"

#include "gui/osx_DraggableWindow.h"
#include "gui/osx_PopoverSetupViewController.h"
#include "gui/osx_PopoverWelcomeViewController.h"
#include "gui/popover_placement.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include <vector>

namespace kes {

osx_Popover::osx_Popover(setup_context context) {
    setupVC = std::make_unique<osx_PopoverSetupViewController>(*this, context);
    welcomeVC = std::make_unique<osx_PopoverWelcomeViewController>(*this);
}

osx_Popover::~osx_Popover() = default;

QWidget& osx_Popover::window() {
    if (!window_) {
        window_ = std::make_unique<osx_DraggableWindow>(Qt::Tool | Qt::WindowStaysOnTopHint);
        window_->setObjectName(QStringLiteral("osx_Popover"));
        window_->setWindowTitle(QStringLiteral("Kestrel"));
        // It points at the status item; the user's work keeps the focus.
        window_->setAttribute(Qt::WA_ShowWithoutActivating, true);
        window_->setStyleSheet(QStringLiteral("#osx_Popover { border: 1px solid palette(mid); }"));
        auto* content = new QVBoxLayout(window_.get());
        content->setContentsMargins(1, 1, 1, 1);
    }
    return *window_;
}

void osx_Popover::showRelativeTo(const platform::screen_place& item) {
    // Always the setup content.
    (void)window();
    QWidget& content = setupVC->view();
    if (content.parentWidget() != window_.get()) {
        content.setParent(window_.get());
        window_->layout()->addWidget(&content);
        content.show();
    }
    window_->adjustSize();
    std::vector<screen_area> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen()) screens.push_back({primary->geometry(), primary->availableGeometry()});
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen()) screens.push_back({screen->geometry(), screen->availableGeometry()});
    }
    const QPoint top_left = popover_origin(QRect(item.x, item.y, item.width, item.height), window_->size(), screens,
                                           QCursor::pos());
    window_->move(top_left);
    window_->show();
}

void osx_Popover::performClose() {
    if (window_) window_->hide();
}

bool osx_Popover::isShown() const { return window_ && window_->isVisible(); }

}  // namespace kes
