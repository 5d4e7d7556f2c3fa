#include "tests/support_qt/alert_driver.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace platform::testing {

alert_driver::alert_driver(std::function<bool(alert_dialog&)> act) : act_(std::move(act)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(5);
}

void alert_driver::poll() {
    std::vector<alert_dialog*> shown;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = dynamic_cast<alert_dialog*>(widget);
        if (dialog != nullptr && dialog->isVisible()) shown.push_back(dialog);
    }
    most_at_once_ = std::max(most_at_once_, static_cast<int>(shown.size()));
    if (shown.empty()) return;
    alert_dialog* front = shown.back();
    // A later dialog may live at the address of an earlier one: each is
    // marked when first seen.
    if (!front->property("seen_by_driver").toBool()) {
        front->setProperty("seen_by_driver", true);
        current_done_ = false;
        seen_.push_back(front->message->text().toStdString());
    }
    if (!current_done_) current_done_ = act_(*front);
}

void click(alert_dialog& dialog, std::size_t button) {
    QTest::mouseClick(dialog.buttons.at(button), Qt::LeftButton);
}

alert_response run_modal(const alert& request) {
    alert_dialog dialog(request);
    const alert_response response = dialog.answer_for(dialog.exec());
    dialog.hide();  // a loop ended from outside leaves it shown
    return response;
}

}  // namespace platform::testing
