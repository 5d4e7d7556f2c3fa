#include "gui/update_window.h"

#include "gui/layout_parts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace kes {

update_window build_update_window() {
    update_window made;
    made.updateWindow = top_level_window(update_window::layout_name, QStringLiteral("Kestrel Updates"));
    QWidget* window = made.updateWindow.get();
    window->setMinimumWidth(420);

    made.updateHeadline = title_label(window, "updateHeadline", QString());
    made.updateDetails = text_label(window, "updateDetails");
    made.downloadButton = push_button(window, "downloadButton", QStringLiteral("Download..."));
    made.closeUpdateWindowButton = push_button(window, "closeUpdateWindowButton", QStringLiteral("OK"));
    made.closeUpdateWindowButton->setDefault(true);

    auto* actions = new QHBoxLayout;
    actions->addStretch(1);
    actions->addWidget(made.downloadButton);
    actions->addWidget(made.closeUpdateWindowButton);
    auto* column = new QVBoxLayout(window);
    column->addWidget(made.updateHeadline);
    column->addWidget(made.updateDetails);
    column->addStretch(1);
    column->addLayout(actions);
    return made;
}

update_window_texts texts_for(const update_check_report& report) {
    const QString running = QString::fromStdWString(report.running_version);
    switch (report.found) {
        case update_check_report::outcome::checking:
            return {QStringLiteral("Checking for updates..."), QStringLiteral("Kestrel asks the Kestrel servers "
                                                                              "for the newest version."),
                    false};
        case update_check_report::outcome::newer:
            return {QStringLiteral("A newer version of Kestrel is available."),
                    QStringLiteral("Kestrel %1 is available; you have %2.")
                        .arg(QString::fromStdWString(report.released_version), running),
                    true};
        case update_check_report::outcome::newest:
            return {QStringLiteral("Kestrel is up to date."),
                    QStringLiteral("You have the newest version of Kestrel (%1).").arg(running), false};
        case update_check_report::outcome::failed:
            break;
    }
    return {QStringLiteral("The check for updates failed."),
            QStringLiteral("Kestrel could not learn the newest version from the Kestrel servers. Please try again "
                           "later."),
            false};
}

}  // namespace kes
