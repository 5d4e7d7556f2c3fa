#include "platform/qt/alert_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace platform {

namespace {

QStyle::StandardPixmap icon_for(alert::style kind) {
    switch (kind) {
        case alert::style::informational:
            return QStyle::SP_MessageBoxInformation;
        case alert::style::critical:
            return QStyle::SP_MessageBoxCritical;
        case alert::style::warning:
            break;
    }
    return QStyle::SP_MessageBoxWarning;
}

}  // namespace

alert_dialog::alert_dialog(const alert& request, QWidget* parent)
    : QDialog(parent),
      icon(new QLabel(this)),
      message(new QLabel(this)),
      informative_text(new QLabel(this)),
      texts_(new QVBoxLayout),
      cancel_button_(request.cancel_button()),
      initial_focus_(request.initial_focus) {
    setObjectName(layout_name);
    setWindowTitle(QStringLiteral("Kestrel"));
    // An alert of an agent without windows must not open behind the user's.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    icon->setObjectName("alert_icon");
    const int icon_size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(icon_for(request.kind), nullptr, this).pixmap(icon_size, icon_size));
    icon->setAlignment(Qt::AlignTop);

    message->setObjectName("alert_message");
    message->setTextFormat(Qt::PlainText);
    message->setText(QString::fromStdString(request.message));
    message->setWordWrap(true);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);

    informative_text->setObjectName("alert_informative_text");
    informative_text->setTextFormat(Qt::PlainText);
    informative_text->setText(QString::fromStdString(request.informative_text));
    informative_text->setWordWrap(true);
    informative_text->setVisible(!request.informative_text.empty());

    texts_->addWidget(message);
    texts_->addWidget(informative_text);

    if (request.field) {
        field = new QLineEdit(this);
        field->setObjectName("alert_field");
        field->setText(QString::fromStdString(request.field->text));
        field->setMinimumSize(request.field->width, request.field->height);
        set_accessory(field);
    }

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    const std::vector<std::string> titles = request.button_titles();
    buttons.resize(titles.size());
    // The first button is the rightmost; the others follow to its left.
    for (std::size_t i = titles.size(); i-- > 0;) {
        auto* button = new QPushButton(QString::fromStdString(titles[i]), this);
        button->setObjectName(QStringLiteral("alert_button_%1").arg(i));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { done(alert_first_button + static_cast<int>(i)); });
        row->addWidget(button);
        buttons[i] = button;
    }
    buttons.front()->setDefault(true);

    auto* body = new QHBoxLayout;
    body->addWidget(icon);
    body->addLayout(texts_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(row);
    setMinimumWidth(420);
}

void alert_dialog::set_accessory(QWidget* widget) {
    if (accessory != nullptr && accessory != widget) {
        texts_->removeWidget(accessory);
        if (accessory == field) field = nullptr;
        accessory->deleteLater();
    }
    accessory = widget;
    if (accessory == nullptr) return;
    if (accessory->objectName().isEmpty()) accessory->setObjectName("alert_accessory");
    accessory->setParent(this);
    texts_->addWidget(accessory);
}

alert_response alert_dialog::answer_for(int result) const {
    alert_response response;
    const bool chose_a_button =
        result >= alert_first_button && result < alert_first_button + static_cast<int>(buttons.size());
    response.code = chose_a_button ? result : alert_no_answer;
    if (field != nullptr) response.field_text = field->text().toStdString();
    return response;
}

void alert_dialog::reject() {
    if (cancel_button_) done(alert_first_button + static_cast<int>(*cancel_button_));
    // No cancel button: Escape and the window's close button are ignored.
}

void alert_dialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (initial_focus_ == alert::focus::field && accessory != nullptr) {
        accessory->setFocus(Qt::OtherFocusReason);
    } else {
        buttons.front()->setFocus(Qt::OtherFocusReason);
    }
    raise();
    activateWindow();
}

}  // namespace platform
