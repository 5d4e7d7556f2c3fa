#include "gui/no_tray_notice.h"

#include "gui/layout_parts.h"
#include "platform/qt/window_front.h"
#include "platform/user_defaults.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace kes {

no_tray_window build_no_tray_window() {
    no_tray_window made;
    made.noTrayWindow = top_level_window(no_tray_window::layout_name, QStringLiteral("Kestrel"));
    QWidget* window = made.noTrayWindow.get();
    auto* title = title_label(window, "noTrayTitleLabel", QStringLiteral("Kestrel is running"));
    auto* text = text_label(window, "noTrayMessageLabel",
                            QStringLiteral("Your desktop shows no tray, so Kestrel has no icon there. To open "
                                           "Kestrel's menu, start Kestrel again from your applications (search for "
                                           "\"Kestrel\"): the menu opens at the pointer."));
    text->setMinimumWidth(380);
    auto* ok = push_button(window, "noTrayOkButton", QStringLiteral("OK"));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, window, &QWidget::hide);
    auto* column = new QVBoxLayout(window);
    column->setContentsMargins(20, 16, 20, 16);
    column->addWidget(title);
    column->addWidget(text);
    column->addStretch(1);
    column->addWidget(ok, 0, Qt::AlignRight);
    return made;
}

no_tray_notice::no_tray_notice()
    : window_(&no_tray_window::noTrayWindow, build_no_tray_window, {}, [this](bool shown) {
          if (!shown) closed();
      }) {}

// What waits is for a user who closes the window, not for the end of the process.
no_tray_notice::~no_tray_notice() { waiting_.clear(); }

void no_tray_notice::after_closed(std::function<void()> then) {
    if (!window_.isVisible()) {
        then();
        return;
    }
    waiting_.push_back(std::move(then));
}

void no_tray_notice::closed() {
    // A waiting task may show the window again, and wait anew.
    std::vector<std::function<void()>> due;
    due.swap(waiting_);
    for (const auto& then : due) then();
}

void no_tray_notice::show_unless_seen(platform::user_defaults* defaults) {
    if (defaults && defaults->get_bool(no_tray_notice_shown_default)) return;
    platform::present(*window_.ensure().noTrayWindow);
    if (defaults) {
        (void)defaults->set_bool(no_tray_notice_shown_default, true);
        (void)defaults->synchronize();
    }
}

}  // namespace kes
