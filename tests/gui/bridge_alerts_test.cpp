// The bridge's alerts on the real dialogs, offscreen: messages one after the
// other, and the two-factor prompt asked from a worker thread.
#include "app/osx_ui.h"
#include "platform/fake/fake_desktop.h"
#include "platform/qt/alert_dialog.h"
#include "platform/qt/qt_alert_presenter.h"
#include "tests/support_qt/alert_driver.h"
#include "tests/support_qt/qt_test_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace kes {
namespace {

using platform::alert_dialog;
using platform::testing::alert_driver;
using platform::testing::click;

class BridgeAlerts : public platform::testing::QtLoopTest {
protected:
    BridgeAlerts() {
        osx_ui_services with;
        with.desktop = fakes_.services();
        with.desktop.alerts = std::make_shared<platform::qt_alert_presenter>();
        with.queue = &queue;
        with.pause = [](std::chrono::milliseconds) {};
        bridge_ = std::make_unique<osx_ui>(std::move(with));
    }

    platform::fake_desktop fakes_{queue};
    std::unique_ptr<osx_ui> bridge_;
};

TEST_F(BridgeAlerts, TwoMessagesShowOneAfterTheOtherWithTheTitleAsHeadline) {
    std::vector<std::string> seen;
    alert_driver driver([&](alert_dialog& dialog) {
        seen.push_back(dialog.message->text().toStdString() + " | " + dialog.informative_text->text().toStdString() +
                       " | " + std::to_string(dialog.buttons.size()) + " " + dialog.buttons[0]->text().toStdString());
        click(dialog, 0);
        if (seen.size() == 2) queue.quit(0);
        return true;
    });
    std::thread worker([&] {
        bridge_->show_alert(L"Debug log was successfully received by the server.", L"Kestrel Message");
        bridge_->show_alert(L"Stillzone session ended.", L"Kestrel");
    });
    worker.join();  // neither call waited for the user
    EXPECT_EQ(loop.run(), 0);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "Kestrel Message | Debug log was successfully received by the server. | 1 OK",
                        "Kestrel | Stillzone session ended. | 1 OK"}));
    EXPECT_EQ(driver.most_shown_at_once(), 1);
}

TEST_F(BridgeAlerts, WhileAMessageIsUpTheMainQueueServesOtherWork) {
    // What the tray's menu chooses and what the threads hand to the main
    // thread must not wait for a user who has not seen the alert yet.
    std::atomic<bool> served{false};
    bool served_while_shown = false;
    int polls = 0;
    std::thread worker;
    alert_driver driver([&](alert_dialog& dialog) {
        if (!worker.joinable()) {
            worker = std::thread([&] {
                queue.sync([] {});
                served = true;
            });
        }
        if (!served && ++polls < 2000) return false;  // a held queue: give up after 10 s
        served_while_shown = served && dialog.isVisible();
        click(dialog, 0);
        queue.quit(0);
        return true;
    });
    bridge_->show_alert(L"Stillzone not started because the Kestrel servers did not confirm it. Please try again.",
                        L"Kestrel");
    EXPECT_EQ(loop.run(), 0);
    worker.join();
    EXPECT_TRUE(served_while_shown);
}

TEST_F(BridgeAlerts, TheTwoFactorPromptAnswersTheTypedCodeOnlyOnOk) {
    enum class answer { ok, cancel, escape };
    const answer answers[] = {answer::ok, answer::cancel, answer::escape};
    std::size_t next = 0;
    alert_driver driver([&](alert_dialog& dialog) {
        EXPECT_EQ(dialog.message->text(), QStringLiteral("Enter 2 factor authentication code:"));
        EXPECT_NE(dialog.field, nullptr);
        if (!dialog.field || !dialog.field->hasFocus()) return false;  // the field takes the keys first
        QTest::keyClicks(dialog.field, QStringLiteral("424242"));
        switch (answers[next++]) {
            case answer::ok:
                click(dialog, 0);
                break;
            case answer::cancel:
                click(dialog, 1);
                break;
            case answer::escape:
                QTest::keyClick(&dialog, Qt::Key_Escape);
                break;
        }
        return true;
    });
    std::vector<std::wstring> codes;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) codes.push_back(bridge_->ask_two_factor_code(L""));
        queue.quit(0);
    });
    EXPECT_EQ(loop.run(), 0);
    worker.join();
    EXPECT_EQ(codes, (std::vector<std::wstring>{L"424242", L"", L""}));
    EXPECT_EQ(bridge_->ask_two_factor_code(L""), L"");  // the main thread is refused at once
}

TEST_F(BridgeAlerts, ClosingTheQueueReleasesASignInWaitingForItsPrompt) {
    using clock = std::chrono::steady_clock;
    std::atomic<bool> asked{false};
    std::atomic<bool> returned{false};
    std::wstring code = L"unset";
    clock::time_point closed_at;
    std::atomic<clock::rep> released_at{0};
    std::thread worker;
    int polls = 0;
    // A message is up; the prompt waits behind it until the queue closes.
    alert_driver driver([&](alert_dialog& dialog) {
        // The prompt, shown once the message is answered: nobody waits for it any more.
        if (dialog.field != nullptr) return true;
        if (!worker.joinable()) {
            worker = std::thread([&] {
                asked = true;
                code = bridge_->ask_two_factor_code(L"");
                released_at = clock::now().time_since_epoch().count();
                returned = true;
            });
            return false;
        }
        if (!asked || ++polls < 10) return false;
        EXPECT_FALSE(returned.load());
        closed_at = clock::now();
        queue.close();
        while (!returned) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        click(dialog, 0);
        queue.quit(0);
        return true;
    });
    bridge_->show_alert(L"held", L"Kestrel");
    loop.run();
    worker.join();
    EXPECT_EQ(code, L"");
    const double waited = std::chrono::duration<double, std::milli>(
                              clock::time_point(clock::duration(released_at.load())) - closed_at)
                              .count();
    std::fprintf(stderr, "[ figures ] a prompt waiting behind a message was released %.3f ms after close()\n",
                 waited);
}

}  // namespace
}  // namespace kes
