#include "osx/ui/AutomationMessagingViewController.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>

namespace kes {

AutomationMessagingViewController::AutomationMessagingViewController() : view_(std::make_unique<QWidget>()) {
    view_->setObjectName(QString::fromLatin1(layout_name));
    alertImageView = new QLabel(view_.get());
    alertImageView->setObjectName(QStringLiteral("alertImageView"));
    const int size = view_->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    alertImageView->setPixmap(view_->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(size, size));
    alertImageView->setAlignment(Qt::AlignTop);
    importantLabel = new QLabel(
        QStringLiteral("Important: Kestrel records the title of the window in front and, for web browsers, the "
                       "page you are on. Your desktop may ask whether Kestrel may read other applications' "
                       "windows: allow it, or Kestrel cannot tell what you work on."),
        view_.get());
    importantLabel->setObjectName(QStringLiteral("importantLabel"));
    importantLabel->setWordWrap(true);
    importantLabel->setMinimumWidth(360);
    acknowledgeButton = new QPushButton(QStringLiteral("OK, Got It"), view_.get());
    acknowledgeButton->setObjectName(QStringLiteral("acknowledgeButton"));
    acknowledgeButton->setDefault(true);
    QObject::connect(acknowledgeButton, &QPushButton::clicked, view_.get(), [this] { actionAknowledge(); });

    auto* texts = new QHBoxLayout;
    texts->addWidget(alertImageView);
    texts->addWidget(importantLabel, 1);
    auto* column = new QVBoxLayout(view_.get());
    column->addLayout(texts);
    column->addWidget(acknowledgeButton, 0, Qt::AlignRight);
}

AutomationMessagingViewController::~AutomationMessagingViewController() = default;

void AutomationMessagingViewController::actionAknowledge() {
    if (delegate) {
        delegate(*this);
        return;
    }
    view_->window()->hide();
}

}  // namespace kes
