#pragma once
// The update window: what a check for updates that the user asked for has
// found. A headline and a line of details, the download button (shown only
// when a newer version is offered) and a button that closes the window.

#include "app/application_delegate.h"

#include <QString>

#include <memory>

class QLabel;
class QPushButton;
class QWidget;

namespace kes {

struct update_window {
    static constexpr const char* layout_name = "updateWindow";

    std::unique_ptr<QWidget> updateWindow;
    QLabel* updateHeadline = nullptr;
    QLabel* updateDetails = nullptr;
    QPushButton* downloadButton = nullptr;
    QPushButton* closeUpdateWindowButton = nullptr;
};
update_window build_update_window();

// What the window says about a report.
struct update_window_texts {
    QString headline;
    QString details;
    bool offers_download = false;
};
update_window_texts texts_for(const update_check_report& report);

}  // namespace kes
