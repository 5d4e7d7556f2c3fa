// The classic preferences window (a desktop below the panes' level): what it
// shows signed in and not, the proxy panel's sizes and its saving (python
// reads kestreld.json), the status line's colours, the links, and a sign-in
// against the service stand-in that is started once however often the
// button is pressed.
#include "core/foundation/text_table.h"
#include "gui/PreferencesWindowController.h"
#include "tests/gui/preferences_fixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QTest>

#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes::testing {
namespace {

class PreferencesWindowTest : public PreferencesTest {
protected:
    PreferencesWindowTest() { on_release(10, 13); }

    QWidget* shown_view() {
        auto* views = qobject_cast<QStackedLayout*>(preferences().actionContainerView->layout());
        return views ? views->currentWidget() : nullptr;
    }
    QColor status_colour() { return preferences().verifyStatusMessage->palette().color(QPalette::WindowText); }
    static void type_into(QLineEdit* field, const QString& text) {
        field->clear();
        QTest::keyClicks(field, text);
    }
};

TEST_F(PreferencesWindowTest, NotSignedInItOpensAsTheFirstTimeSetupWithTheSignInForm) {
    launch();
    ASSERT_EQ(dynamic_cast<PreferencesWindowController*>(&preferences()), nullptr) << "the classic window";
    QWidget& window = open_preferences();
    osx_PreferencesWindow& prefs = preferences();

    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.objectName(), QStringLiteral("osx_PreferencesWindow"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestrel First-time Setup"));
    EXPECT_EQ(prefs.verifyStatusMessage->text(), QStringLiteral("Waiting for you to activate..."));
    EXPECT_EQ(config::instance().get_status_message(), L"Waiting for you to activate...");
    EXPECT_EQ(config::instance().get_status_severity(), 0);
    EXPECT_EQ(shown_view(), prefs.authenticationView);
    EXPECT_FALSE(prefs.activateButton->isHidden());
    EXPECT_FALSE(prefs.proxyToggleButton->isHidden());
    EXPECT_TRUE(prefs.proxyBox->isHidden());
    EXPECT_EQ(prefs.headingText->text(),
              QStringLiteral("Welcome to Kestrel! Please enter your Kestrel account information."));
    EXPECT_EQ(prefs.versionLabel->text(), QStringLiteral("Version 1.0.0"));
    EXPECT_EQ(prefs.passwordField->echoMode(), QLineEdit::Password);
    EXPECT_EQ(window.size(), QSize(520, 244));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(was_logged(L"[KestrelController] showPropertiesWindow:"));
    EXPECT_TRUE(was_logged(L"[KestrelController] done showPropertiesWindow:"));
    for (const char* outlet : {"headingView", "headingText", "subDescriptionText", "actionContainerView",
                               "authenticationView", "emailField", "passwordField", "settingsView",
                               "proxyToggleButton", "proxyBox", "saveProxySettingsButton", "proxyServer", "proxyPort",
                               "proxyUsername", "proxyPassword", "activateButton", "closeButton",
                               "verifyStatusMessage", "spinner", "versionLabel"}) {
        EXPECT_NE(window.findChild<QWidget*>(QString::fromLatin1(outlet)), nullptr) << outlet;
    }

    // The close button orders the window out.
    QTest::mouseClick(prefs.closeButton, Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(PreferencesWindowTest, SignedInItShowsTheSettingsViewAndItsLinksOpenTheirPages) {
    config::instance().set_account_key(L"AK-demo-7f3c9e21b8d44a0f9c5e");
    launch();
    QWidget& window = open_preferences();
    osx_PreferencesWindow& prefs = preferences();
    EXPECT_EQ(shown_view(), prefs.settingsView);
    EXPECT_TRUE(prefs.activateButton->isHidden());
    EXPECT_EQ(prefs.headingText->text(), QStringLiteral("Your Kestrel Data Collector is running"));
    EXPECT_EQ(prefs.subDescriptionText->text(),
              QStringLiteral("Kestrel magic happens on the Dashboard, head over there to see your data."));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestrel Preferences"));
    EXPECT_NE(config::instance().get_status_message(), L"Waiting for you to activate...");

    const std::string web = "https://" + util::wstring_to_utf8(config::instance().get_url());
    for (const char* link : {"dashboardButton", "settingsButton", "releaseNotesButton"}) {
        QTest::mouseClick(window.findChild<QPushButton*>(QString::fromLatin1(link)), Qt::LeftButton);
    }
    const auto pages = fakes_.opener->opened_pages();
    ASSERT_EQ(pages.size(), 3u);
    for (const std::string& page : pages) EXPECT_EQ(page.rfind(web, 0), 0u) << page;

    // Shift held: no page, and the focus session's blocking ends now.
    config::instance().set_blocking_until(config::instance().local_now() + boost::posix_time::hours(1));
    fakes_.keys->shift = true;
    prefs.goToDashboard();
    fakes_.keys->shift = false;
    EXPECT_EQ(fakes_.opener->opened_pages().size(), 3u);
    EXPECT_LE(config::instance().get_blocking_until(), config::instance().local_now());

    // Troubleshooting takes the place of this window.
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("troubleshootingButton")), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(ts_open());
}

TEST_F(PreferencesWindowTest, TheProxyPanelGrowsDownwardsAndSavesWhatWasTypedIntoTheSettingsFile) {
    config::instance().set_proxy_server(L"old.proxy.test");
    config::instance().set_proxy_port(L"3128");
    launch();
    QWidget& window = open_preferences();
    osx_PreferencesWindow& prefs = preferences();
    EXPECT_EQ(prefs.proxyServer->text(), QStringLiteral("old.proxy.test"));
    EXPECT_EQ(prefs.proxyToggleButton->text(), QString::fromUtf8("\u25BA Proxy (Advanced)"));
    window.move(200, 150);
    const QRect closed = window.geometry();

    QTest::mouseClick(prefs.proxyToggleButton, Qt::LeftButton);
    EXPECT_TRUE(prefs.proxySettingsVisible());
    EXPECT_FALSE(prefs.proxyBox->isHidden());
    EXPECT_EQ(prefs.proxyToggleButton->text(), QString::fromUtf8("\u25BC Proxy (Advanced)"));
    EXPECT_EQ(window.size(), QSize(520, 368));
    EXPECT_EQ(window.geometry().right(), closed.right());
    EXPECT_EQ(window.geometry().top(), closed.top());

    // Toggled twice: back where it was.
    prefs.toggleProxySettings();
    EXPECT_EQ(window.geometry(), closed);
    prefs.toggleProxySettings();

    type_into(prefs.proxyServer, QStringLiteral("127.0.0.1"));
    type_into(prefs.proxyPort, QStringLiteral("8888"));
    type_into(prefs.proxyUsername, QStringLiteral("kesproxy"));
    type_into(prefs.proxyPassword, QStringLiteral("Proxy-Secret-2093"));
    EXPECT_NE(prefs.proxyPassword->displayText(), QStringLiteral("Proxy-Secret-2093"));
    QTest::mouseClick(prefs.saveProxySettingsButton, Qt::LeftButton);

    EXPECT_EQ(saved_proxy_settings(), "127.0.0.1\n8888\nkesproxy\nProxy-Secret-2093\n");
    EXPECT_EQ(file_mode(settings_file()), 0600);
    EXPECT_EQ(prefs.verifyStatusMessage->text(), QStringLiteral("Proxy settings saved."));
    EXPECT_FALSE(prefs.proxySettingsVisible());
    EXPECT_TRUE(prefs.proxyBox->isHidden());
    EXPECT_EQ(window.geometry(), closed);
    EXPECT_EQ(prefs.proxyPassword->text(), QStringLiteral("Proxy-Secret-2093"));  // refilled from the configuration
    EXPECT_FALSE(debug_log_holds("Proxy-Secret-2093"));

    // Nothing is checked: an empty server and a port that is no number are stored as typed.
    prefs.saveProxySettingsWithServer(L"", L"eighty", L"", L"");
    EXPECT_EQ(saved_proxy_settings(), "\neighty\n\n\n");
    EXPECT_EQ(prefs.verifyStatusMessage->text(), QStringLiteral("Proxy settings saved."));
    EXPECT_TRUE(was_logged(L"[KestrelController] resizeWindow"));
}

TEST_F(PreferencesWindowTest, TheStatusLineTakesItsColourFromTheModeAndKeepsItForOtherModes) {
    launch();
    open_preferences();
    osx_PreferencesWindow& prefs = preferences();
    const QColor control = status_colour();

    std::thread([&] { prefs.setStatusMessage(L"from the UI thread", 2); }).join();
    EXPECT_EQ(prefs.status_text(), L"from the UI thread");  // kept at once
    serve();
    EXPECT_EQ(prefs.verifyStatusMessage->text(), QStringLiteral("from the UI thread"));
    const QColor green = status_colour();
    EXPECT_NE(green, control);

    prefs.setStatusMessage(L"mode five", 5);
    EXPECT_EQ(status_colour(), green);
    prefs.setStatusMessage(L"in progress", 1);
    const QColor yellow = status_colour();
    EXPECT_NE(yellow, green);
    EXPECT_NE(yellow, control);
    prefs.setStatusMessage(L"normal", 0);
    EXPECT_EQ(status_colour(), control);
    EXPECT_TRUE(was_logged(L"[KestrelController]  setStatusMessage"));
}

TEST_F(PreferencesWindowTest, ADoublePressSignsInOnceAndTheWindowShowsTheSuccess) {
    launch();
    QWidget& window = open_preferences();
    osx_PreferencesWindow& prefs = preferences();
    type_into(prefs.emailField, QString::fromStdWString(demo_email));
    type_into(prefs.passwordField, QString::fromStdWString(demo_password));
    QTest::mouseClick(prefs.activateButton, Qt::LeftButton);
    QTest::mouseClick(prefs.activateButton, Qt::LeftButton);
    prefs.activate();  // even a press the disabled button would not pass
    EXPECT_FALSE(prefs.spinner->isHidden());
    EXPECT_FALSE(prefs.closeButton->isEnabled());

    ASSERT_TRUE(wait_until([&] { return prefs.activateButton->isHidden() && !bridge_->is_signing_in(); }));
    ASSERT_TRUE(wait_until([&] { return prefs.closeButton->isEnabled(); }));
    EXPECT_EQ(sign_in_requests(), 1u);
    EXPECT_EQ(config::instance().get_account_key(), L"AK-demo-7f3c9e21b8d44a0f9c5e");
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestrel Data Collector"));
    EXPECT_EQ(prefs.headingText->text(), QStringLiteral("You've successfully activated your Kestrel Data Collector"));
    EXPECT_EQ(prefs.subDescriptionText->text(),
              QStringLiteral("Kestrel magic happens on the Dashboard, but you might want to head over there in a few "
                             "hours once we've gotten some good data to show you."));
    EXPECT_EQ(shown_view(), prefs.settingsView);
    EXPECT_TRUE(prefs.proxyToggleButton->isHidden());
    EXPECT_TRUE(prefs.spinner->isHidden());
    EXPECT_EQ(config::instance().get_status_message(), get_text(L"status_message_activation_finished"));
    ASSERT_TRUE(wait_until([&] { return prefs.verifyStatusMessage->text() == QStringLiteral("Kestrel has been activated."); }));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(debug_log_holds(util::wstring_to_utf8(demo_password)));
}

TEST_F(PreferencesWindowTest, AFailedSignInLeavesTheFormWithTheServicesWordsAndTheButtonsBack) {
    launch();
    open_preferences();
    osx_PreferencesWindow& prefs = preferences();
    type_into(prefs.emailField, QString::fromStdWString(demo_email));
    type_into(prefs.passwordField, QStringLiteral("not-the-password"));
    QTest::mouseClick(prefs.activateButton, Qt::LeftButton);
    ASSERT_TRUE(wait_until([&] { return !bridge_->is_signing_in() && prefs.activateButton->isEnabled(); }));
    ASSERT_TRUE(wait_until(
        [&] { return prefs.verifyStatusMessage->text() == QStringLiteral("Wrong e-mail address or password."); }));
    EXPECT_EQ(shown_view(), prefs.authenticationView);
    EXPECT_TRUE(prefs.closeButton->isEnabled());
    EXPECT_TRUE(prefs.spinner->isHidden());
    EXPECT_FALSE(prefs.activateButton->isHidden());
    EXPECT_EQ(config::instance().get_account_key(), L"");
    EXPECT_FALSE(debug_log_holds("not-the-password"));
}

}  // namespace
}  // namespace kes::testing
