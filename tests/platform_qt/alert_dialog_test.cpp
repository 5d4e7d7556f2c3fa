#include "platform/qt/alert_dialog.h"
#include "platform/qt/qt_alert_presenter.h"
#include "tests/support_qt/alert_driver.h"
#include "tests/support_qt/qt_test_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace platform {
namespace {

using testing::alert_driver;
using testing::click;

alert two_factor_prompt() {
    alert request;
    request.message = "Enter 2 factor authentication code:";
    request.buttons = {"OK", "Cancel"};
    request.field = alert::text_field{230, 24, ""};
    request.initial_focus = alert::focus::field;
    return request;
}

// Shows every alert at once, each answered by the action its message names,
// and answers what each alert was answered with, in the order answered.
class AlertDialog : public testing::QtLoopTest {
protected:
    using action = std::function<void(alert_dialog&)>;

    std::vector<alert_response> run_alerts(const std::vector<std::pair<alert, action>>& script) {
        std::map<std::string, action> actions;
        for (const auto& [request, act] : script) actions[request.message] = act;
        alert_driver driver([&](alert_dialog& dialog) {
            actions.at(dialog.message->text().toStdString())(dialog);
            return true;
        });
        std::vector<alert_response> responses;
        for (const auto& [request, act] : script) {
            presenter.show(request, [&](const alert_response& answer) {
                responses.push_back(answer);
                if (responses.size() == script.size()) queue.quit(0);
            });
        }
        loop.run();
        return responses;
    }

    qt_alert_presenter presenter;
};

TEST_F(AlertDialog, EscapeAnswersTheCancelButtonAndEnterTheDefaultOne) {
    alert escaped = two_factor_prompt();
    alert entered = two_factor_prompt();
    entered.message = "entered";
    alert only_ok;
    only_ok.message = "only OK";
    alert no_cancel;
    no_cancel.message = "no cancel";
    no_cancel.buttons = {"Save", "Discard"};
    bool still_shown_after_escape = false;

    const auto responses = run_alerts({
        {escaped,
         [](alert_dialog& dialog) {
             QTest::keyClicks(dialog.field, "123456");
             QTest::keyClick(dialog.field, Qt::Key_Escape);
         }},
        {entered,
         [](alert_dialog& dialog) {
             QTest::keyClicks(dialog.field, "654321");
             QTest::keyClick(dialog.field, Qt::Key_Return);
         }},
        {only_ok, [](alert_dialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }},
        {no_cancel,
         [&](alert_dialog& dialog) {
             QTest::keyClick(&dialog, Qt::Key_Escape);
             still_shown_after_escape = dialog.isVisible();
             click(dialog, 1);
         }},
    });

    ASSERT_EQ(responses.size(), 4u);
    EXPECT_EQ(responses[0].code, alert_first_button + 1);
    EXPECT_EQ(responses[0].field_text, "123456");  // the caller decides to drop it
    EXPECT_EQ(responses[1].code, alert_first_button);
    EXPECT_EQ(responses[1].field_text, "654321");
    EXPECT_EQ(responses[2].code, alert_first_button);
    EXPECT_TRUE(still_shown_after_escape);
    EXPECT_EQ(responses[3].code, alert_first_button + 1);
}

TEST_F(AlertDialog, ShowsTheTextsWithTheFirstButtonRightmostAndTheAskedFocus) {
    alert warning;
    warning.message = "Warning: Reset Configuration?";
    warning.informative_text = "Resetting your configuration will require you to re-register.";
    warning.buttons = {"OK", "Cancel"};
    std::map<std::string, std::string> seen;

    const auto responses = run_alerts({
        {warning,
         [&](alert_dialog& dialog) {
             seen["title"] = dialog.windowTitle().toStdString();
             seen["informative"] = dialog.informative_text->text().toStdString();
             seen["bold"] = dialog.message->font().bold() ? "yes" : "no";
             seen["rightmost"] = dialog.buttons[0]->x() > dialog.buttons[1]->x() ? "first" : "second";
             seen["default"] = dialog.buttons[0]->isDefault() ? "first" : "other";
             seen["focus"] = dialog.focusWidget() ? dialog.focusWidget()->objectName().toStdString() : "";
             seen["field"] = dialog.findChild<QLineEdit*>() ? "yes" : "no";
             seen["on top"] = dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint) ? "yes" : "no";
             seen["blocks"] = QApplication::activeModalWidget() != nullptr ? "yes" : "nothing";
             click(dialog, 0);
         }},
        {two_factor_prompt(),
         [&](alert_dialog& dialog) {
             seen["prompt focus"] = dialog.focusWidget() ? dialog.focusWidget()->objectName().toStdString() : "";
             seen["field width"] = std::to_string(dialog.field->width());
             click(dialog, 1);
         }},
    });

    EXPECT_EQ(responses.size(), 2u);
    EXPECT_EQ(seen["title"], "Kestrel");
    EXPECT_EQ(seen["informative"], warning.informative_text);
    EXPECT_EQ(seen["bold"], "yes");
    EXPECT_EQ(seen["rightmost"], "first");
    EXPECT_EQ(seen["default"], "first");
    EXPECT_EQ(seen["focus"], "alert_button_0");
    EXPECT_EQ(seen["field"], "no");
    EXPECT_EQ(seen["on top"], "yes");
    EXPECT_EQ(seen["blocks"], "nothing");  // the tray's menu and the other windows stay usable
    EXPECT_EQ(seen["prompt focus"], "alert_field");
    EXPECT_GE(std::stoi(seen["field width"]), 230);
}

TEST_F(AlertDialog, AnAccessoryOfTheCallersOwnTakesTheFieldsPlace) {
    alert request = two_factor_prompt();
    std::string focus;
    alert_driver driver([&](alert_dialog& dialog) {
        focus = dialog.focusWidget() ? dialog.focusWidget()->objectName().toStdString() : "";
        click(dialog, 0);
        return true;
    });
    alert_response response;
    alert_dialog dialog(request);
    auto* custom = new QLineEdit;
    custom->setObjectName("custom_accessory");
    dialog.set_accessory(custom);
    QObject::connect(&dialog, &QDialog::finished, [&](int result) {
        response = dialog.answer_for(result);
        queue.quit(0);
    });
    dialog.show();
    loop.run();
    EXPECT_EQ(dialog.field, nullptr);
    EXPECT_EQ(dialog.accessory, custom);
    EXPECT_EQ(focus, "custom_accessory");
    EXPECT_EQ(response.code, alert_first_button);
    EXPECT_EQ(response.field_text, "");
}

}  // namespace
}  // namespace platform
