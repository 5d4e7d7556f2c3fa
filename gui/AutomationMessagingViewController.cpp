#include "gui/AutomationMessagingViewController.h"

#include "gui/setup_layouts.h"
#include "platform/system_version.h"

#include <QEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

namespace kes {
namespace {

// Calls back when the desktop's appearance (the view's palette) changes.
class appearance_observer final : public QObject {
public:
    explicit appearance_observer(std::function<void()> changed) : changed_(std::move(changed)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) changed_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> changed_;
};

}  // namespace

AutomationMessagingViewController::AutomationMessagingViewController(const platform::system_version* version,
                                                                     platform::session_kind session) {
    automation_messaging_layout made = build_automation_messaging_layout(session);
    view_ = made.view.release();
    titleLabel = made.titleLabel;
    alertImageView = made.alertImageView;
    importantLabel = made.importantLabel;
    acknowledgeButton = made.acknowledgeButton;
    QObject::connect(acknowledgeButton, &QPushButton::clicked, view_, [this] { actionAknowledge(); });
    const platform::os_version level = version ? version->capability_level() : platform::linux_capability_level;
    awakeFromNib(!(level < platform::os_version{10, 14, 0}));
}

AutomationMessagingViewController::~AutomationMessagingViewController() {
    if (view_) view_->removeEventFilter(appearance_observer_.get());
    delete view_.data();
}

void AutomationMessagingViewController::awakeFromNib(bool appearance_aware) {
    if (!appearance_aware) return;
    appearance_observer_ = std::make_unique<appearance_observer>([this] { updateForAppearance(); });
    view_->installEventFilter(appearance_observer_.get());
    updateForAppearance();
    // The first words in the bold face of the text around them.
    const QString text = importantLabel->text();
    importantLabel->setTextFormat(Qt::RichText);
    importantLabel->setText(QStringLiteral("<b>%1</b>%2").arg(text.left(bold_prefix_length).toHtmlEscaped(),
                                                           text.mid(bold_prefix_length).toHtmlEscaped()));
}

bool AutomationMessagingViewController::appearanceIsDark() const {
    // Dark when the window background is darker than its text.
    const QPalette& palette = view_->palette();
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

void AutomationMessagingViewController::updateForAppearance() {
    const QColor frame = appearanceIsDark() ? QColor(Qt::gray) : QColor(Qt::lightGray);
    const QString style = QStringLiteral("#alertImageView { border: 2px solid %1; border-radius: 10px; }").arg(frame.name());
    if (alertImageView->styleSheet() != style) alertImageView->setStyleSheet(style);
}

void AutomationMessagingViewController::actionAknowledge() {
    if (delegate) {
        delegate(*this);
        return;
    }
    view_->window()->hide();
}

}  // namespace kes
