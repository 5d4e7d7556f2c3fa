#include "osx/ui/osx_Popover.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace kes {

osx_Popover::osx_Popover(std::function<void()> show_setup_window)
    : window_(std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                                     Qt::WindowDoesNotAcceptFocus)),
      show_setup_window_(std::move(show_setup_window)) {
    window_->setObjectName(QString::fromLatin1(layout_name));
    window_->setWindowTitle(QStringLiteral("Kestrel"));
    // It points at the status item; the user's work keeps the focus.
    window_->setAttribute(Qt::WA_ShowWithoutActivating, true);
    window_->setStyleSheet(QStringLiteral("#osx_PopoverSetupViewController { border: 1px solid palette(mid); }"));
    welcomeLabel = new QLabel(QStringLiteral("Welcome to Kestrel!\nSign in to start recording how you spend your time."),
                              window_.get());
    welcomeLabel->setObjectName(QStringLiteral("welcomeLabel"));
    welcomeLabel->setWordWrap(true);
    setupButton = new QPushButton(QStringLiteral("Set Up Kestrel..."), window_.get());
    setupButton->setObjectName(QStringLiteral("setupButton"));
    setupButton->setDefault(true);
    QObject::connect(setupButton, &QPushButton::clicked, window_.get(), [this] { showSetupWindow(); });
    auto* column = new QVBoxLayout(window_.get());
    column->addWidget(welcomeLabel);
    column->addWidget(setupButton, 0, Qt::AlignRight);
    window_->setFixedWidth(300);
    window_->adjustSize();
}

osx_Popover::~osx_Popover() = default;

void osx_Popover::showRelativeTo(const platform::screen_place& item) {
    window_->adjustSize();
    QPoint top_left;
    if (!item.empty()) {
        // Below the item, centred on it.
        top_left = QPoint(item.x + item.width / 2 - window_->width() / 2, item.y + item.height + 2);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        top_left = QPoint(area.right() - window_->width() - 8, area.top() + 8);
    }
    if (const QScreen* screen = QGuiApplication::screenAt(top_left)) {
        const QRect area = screen->availableGeometry();
        top_left.setX(std::clamp(top_left.x(), area.left(), std::max(area.left(), area.right() - window_->width())));
    }
    window_->move(top_left);
    window_->show();
}

void osx_Popover::performClose() { window_->hide(); }

bool osx_Popover::isShown() const { return window_->isVisible(); }

void osx_Popover::showSetupWindow() {
    if (show_setup_window_) show_setup_window_();
    performClose();
}

}  // namespace kes
