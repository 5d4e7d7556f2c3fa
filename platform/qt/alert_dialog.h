#pragma once
// The agent's alert as a dialog: an icon for its style, the message in bold,
// the informative text, an accessory beneath (the request's text field, or a
// widget of the caller's own), and the buttons in a row with the first one
// rightmost and default. A button finishes the dialog with
// alert_first_button + its index; Escape and closing the window stand for the
// cancel button and do nothing when the alert has none. It is shown without
// modality: the user may go on with the tray's menu and the other windows.

#include "platform/alert.h"

#include <QDialog>

#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace platform {

class alert_dialog : public QDialog {
public:
    static constexpr const char* layout_name = "alert_dialog";

    explicit alert_dialog(const alert& request, QWidget* parent = nullptr);

    // Puts `accessory` beneath the texts, in place of the request's field; the
    // dialog owns it from now on.
    void set_accessory(QWidget* accessory);

    // The answer for the result the dialog finished with.
    alert_response answer_for(int result) const;

    QLabel* const icon;
    QLabel* const message;
    QLabel* const informative_text;
    QLineEdit* field = nullptr;  // the request's text field, when it has one
    QWidget* accessory = nullptr;  // the field or the caller's widget
    std::vector<QPushButton*> buttons;  // in the request's order

protected:
    void reject() override;
    void showEvent(QShowEvent* event) override;

private:
    QVBoxLayout* const texts_;
    std::optional<std::size_t> cancel_button_;
    alert::focus initial_focus_;
};

}  // namespace platform
