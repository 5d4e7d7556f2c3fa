// The setup wizard offscreen: which pages a user meets, what the closing
// page opens, the window's geometry on a page switch and when the proxy
// fields open, the Accessibility page noticing the permission, the header's
// steps, the Automation explanation, and the windows that move by a drag.
#include "gui/AutomationMessagingViewController.h"
#include "gui/SetupAutomationViewController.h"
#include "gui/osx_ProxySettingsViewController.h"
#include "gui/osx_DraggableWindow.h"
#include "gui/osx_SetupAccessibilityViewController.h"
#include "gui/osx_SetupDoneViewController.h"
#include "gui/osx_SetupHeaderViewController.h"
#include "gui/osx_SetupLoginViewController.h"
#include "platform/fake/fake_system_version.h"
#include "tests/gui/setup_wizard_fixture.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <ostream>

namespace kes::testing {
namespace {

const std::string login = "osx_SetupLoginViewController";
const std::string accessibility = "osx_SetupAccessibilityViewController";
const std::string automation = "osx_SetupAutomationViewController";
const std::string done = "osx_SetupDoneViewController";

// What the wizard holds for one state of the user and the desktop.
struct state_case {
    const char* name;
    bool signed_in;
    bool trusted;
    platform::os_version level;
    std::vector<std::string> pages;
    int url_action;
};

void PrintTo(const state_case& each, std::ostream* out) { *out << each.name; }

class PageList : public SetupWizardTest, public ::testing::WithParamInterface<state_case> {};

TEST_P(PageList, FollowsWhatIsSetUpAlready) {
    const state_case& each = GetParam();
    config::instance().set_account_key(each.signed_in ? L"AK-signed-in-0001" : L"");
    permission_->trusted = each.trusted;
    fakes_.version->set_level(each.level);
    open_wizard();
    EXPECT_EQ(page_names(), each.pages);
    EXPECT_EQ(wizard().conclusionVC()->urlAction, each.url_action);
    EXPECT_EQ(wizard().currentIndex(), 0);
    EXPECT_EQ(current_page(), each.pages.front());
    EXPECT_TRUE(wizard().window().isVisible());
    EXPECT_FALSE(controller_->popover()->isShown());
}

INSTANTIATE_TEST_SUITE_P(
    States, PageList,
    ::testing::Values(
        state_case{"NewUserWithoutPermission", false, false, platform::linux_capability_level,
                   {login, accessibility, automation, done}, osx_SetupDoneViewController::signed_in_here},
        state_case{"NewUserWithPermission", false, true, platform::linux_capability_level,
                   {login, automation, done}, osx_SetupDoneViewController::signed_in_here},
        state_case{"SignedInWithoutPermission", true, false, platform::linux_capability_level,
                   {accessibility, automation, done}, osx_SetupDoneViewController::signed_in_before},
        state_case{"SignedInWithPermission", true, true, platform::linux_capability_level, {automation, done},
                   osx_SetupDoneViewController::signed_in_before},
        state_case{"NewUserOnAnOlderDesktop", false, false, platform::os_version{10, 13, 0},
                   {login, accessibility, done}, osx_SetupDoneViewController::signed_in_here},
        state_case{"SetUpOnAnOlderDesktop", true, true, platform::os_version{10, 13, 0}, {done},
                   osx_SetupDoneViewController::signed_in_before}),
    [](const ::testing::TestParamInfo<state_case>& info) { return std::string(info.param.name); });

TEST_F(SetupWizardTest, TheClosingPageOpensTheDashboardForAUserSignedInBefore) {
    config::instance().set_account_key(L"AK-signed-in-0001");
    fakes_.version->set_level({10, 13, 0});
    open_wizard();
    ASSERT_EQ(page_names(), std::vector<std::string>{done});
    wizard().conclusionVC()->closeButton->click();
    EXPECT_FALSE(wizard().window().isVisible());
    EXPECT_EQ(wizard().currentIndex(), 1);
    EXPECT_EQ(wizard().currentViewController, nullptr);
    const auto opened = fakes_.opener->opened_pages();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "https://" + util::wstring_to_utf8(config::instance().get_url()) + "/dashboard?src=client");
}

TEST_F(SetupWizardTest, TheClosingPageOpensTheSetupDonePageForAUserWhoSignedInHereAndAnUndecidedOneNothing) {
    open_wizard();
    ASSERT_EQ(current_page(), login);
    config::instance().set_account_key(L"AK-signed-in-0001");  // as a sign-in stores it
    wizard().showNextViewController();
    ASSERT_EQ(current_page(), automation);
    wizard().automationVC()->automationMessagingVC()->acknowledgeButton->click();
    ASSERT_EQ(current_page(), done);
    // Signed in now, but the choice was made when the wizard opened.
    wizard().conclusionVC()->closeButton->click();
    EXPECT_FALSE(wizard().window().isVisible());
    const auto opened = fakes_.opener->opened_pages();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "https://" + util::wstring_to_utf8(config::instance().get_url()) + "/setup/done?src=client");

    wizard().conclusionVC()->urlAction = osx_SetupDoneViewController::undecided;
    wizard().conclusionVC()->closeWindow();
    EXPECT_EQ(fakes_.opener->opened_pages().size(), 1u);
}

TEST_F(SetupWizardTest, APageSwitchKeepsTheTopEdgeAndTheCentreAndOnlyTheFirstPageIsNotAnimated) {
    permission_->trusted = false;
    open_wizard();
    // The first page comes at once, at its own size, centred on the screen.
    EXPECT_FALSE(wizard().isAnimatingResize());
    const QRect first = window_geometry();
    EXPECT_EQ(first.size(), QSize(500, 475));
    const QPoint screen_centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((first.center() - screen_centre).manhattanLength(), 2);

    const QSize sizes[] = {{540, 500}, {540, 300}, {480, 330}};
    QRect before = first;
    for (const QSize& size : sizes) {
        wizard().showNextViewController();
        EXPECT_TRUE(wizard().isAnimatingResize()) << wizard().currentIndex();
        ASSERT_TRUE(let_the_window_settle());
        const QRect after = window_geometry();
        EXPECT_EQ(after.size(), size);
        EXPECT_EQ(after.top(), first.top()) << wizard().currentIndex();
        EXPECT_EQ(after.x(), before.x() - (size.width() - before.width()) / 2) << wizard().currentIndex();
        // The page fills the window.
        EXPECT_EQ(wizard().currentViewController->view().size(), size);
        before = after;
    }
    EXPECT_EQ(current_page(), done);
}

TEST_F(SetupWizardTest, TheProxyFieldsGrowTheSignInPageBy123AndShrinkItBackKeepingTheTopEdge) {
    open_wizard();
    osx_SetupLoginViewController& page = *wizard().loginVC();
    ASSERT_EQ(current_page(), login);
    ASSERT_TRUE(let_the_window_settle());
    const QRect closed = window_geometry();
    EXPECT_EQ(closed.height(), 475);
    EXPECT_FALSE(page.proxyBox->isVisible());
    EXPECT_EQ(page.proxyToggleButton->text(), QStringLiteral("► Proxy settings (advanced)"));
    ASSERT_NE(page.proxySettingsVC(), nullptr);
    EXPECT_EQ(page.proxySettingsVC()->view().parentWidget(), page.proxyBox);

    page.proxyToggleButton->click();
    EXPECT_TRUE(page.proxySettingsVisible);
    EXPECT_TRUE(page.proxyBox->isVisible());
    EXPECT_EQ(page.proxyToggleButton->text(), QStringLiteral("▼ Proxy settings (advanced)"));
    EXPECT_TRUE(wizard().isAnimatingResize());
    ASSERT_TRUE(let_the_window_settle());
    EXPECT_EQ(window_geometry(), QRect(closed.x(), closed.y(), closed.width(), 598));
    // The four fields fit in the room they get.
    QWidget& fields = page.proxySettingsVC()->view();
    EXPECT_GE(fields.height(), fields.minimumSizeHint().height());

    page.proxyToggleButton->click();
    EXPECT_FALSE(page.proxyBox->isVisible());
    EXPECT_EQ(page.proxyToggleButton->text(), QStringLiteral("► Proxy settings (advanced)"));
    ASSERT_TRUE(let_the_window_settle());
    EXPECT_EQ(window_geometry(), closed);
}

TEST_F(SetupWizardTest, GrantingThePermissionMovesOnAtTheNextCheckAndNoCheckRunsAfterTheLeaving) {
    config::instance().set_account_key(L"AK-signed-in-0001");
    permission_->trusted = false;
    open_wizard();
    ASSERT_EQ(current_page(), accessibility);
    osx_SetupAccessibilityViewController& page = *wizard().accessibilityVC();
    ASSERT_NE(page.accessibilityCheckTimer, nullptr);
    EXPECT_TRUE(page.accessibilityCheckTimer->isActive());
    EXPECT_EQ(page.accessibilityCheckTimer->interval(), 200);

    // Not given yet: the page waits, asking again and again.
    const int asked_before = permission_->queries.load();
    ASSERT_TRUE(run_loop_until([&] { return permission_->queries.load() >= asked_before + 2; }));
    EXPECT_EQ(current_page(), accessibility);

    const int asked_at_grant = permission_->queries.load();
    permission_->trusted = true;
    QElapsedTimer since_grant;
    since_grant.start();
    ASSERT_TRUE(run_loop_until([&] { return current_page() != accessibility; }));
    const qint64 took = since_grant.elapsed();
    std::fprintf(stderr, "[ figures ] the Accessibility page moved on %lld ms after the permission was given\n",
                 static_cast<long long>(took));
    EXPECT_EQ(current_page(), automation);
    // The first check after the grant saw it.
    EXPECT_EQ(permission_->queries.load(), asked_at_grant + 1);
    EXPECT_LT(took, 5000);

    EXPECT_EQ(page.accessibilityCheckTimer, nullptr);
    EXPECT_EQ(page.setupWC, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(page.view().findChildren<QTimer*>(QStringLiteral("accessibilityCheckTimer")).isEmpty());
    EXPECT_EQ(permission_queries_while_waiting(), 0);
}

TEST_F(SetupWizardTest, TheSettingsButtonSaysWhatGivesThePermissionWhereTheDesktopHasNoSettingsForIt) {
    config::instance().set_account_key(L"AK-signed-in-0001");
    permission_->trusted = false;
    open_wizard();
    osx_SetupAccessibilityViewController& page = *wizard().accessibilityVC();
    EXPECT_TRUE(page.permissionHintLabel->isHidden());
    page.openSystemPreferencesButton->click();
    const auto asked = fakes_.opener->requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].target, osx_SetupAccessibilityViewController::settings_address);
    EXPECT_FALSE(asked[0].answer.opened());  // only web pages open here
    EXPECT_TRUE(fakes_.opener->opened_pages().empty());
    EXPECT_TRUE(page.permissionHintLabel->isVisible());
    EXPECT_FALSE(page.permissionHintLabel->text().isEmpty());
    EXPECT_EQ(current_page(), accessibility);
}

// In a Wayland session no permission can come: the page explains and goes on when asked.
TEST_F(SetupWizardTest, InAWaylandSessionThePageSaysWhatCannotBeReadAsksNothingAndItsButtonGoesOn) {
    config::instance().set_account_key(L"AK-signed-in-0001");
    session_ = platform::session_kind::wayland;
    permission_->trusted = false;  // what the session's answer is there
    open_wizard();
    ASSERT_EQ(current_page(), accessibility);
    osx_SetupAccessibilityViewController& page = *wizard().accessibilityVC();
    EXPECT_EQ(page.accessibilityCheckTimer, nullptr);
    QString shown;
    for (const QLabel* label : page.view().findChildren<QLabel*>()) {
        if (label->isVisibleTo(&page.view())) shown += label->text() + QLatin1Char('\n');
    }
    EXPECT_TRUE(shown.contains(QStringLiteral("native Wayland applications"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("X11"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("\"on Xorg\""))) << shown.toStdString();
    EXPECT_EQ(page.openSystemPreferencesButton->text(), QStringLiteral("Continue"));
    // The help window says it too.
    controller_->goToHelp();
    serve();
    const auto* session = help().helpWindow->findChild<QLabel*>(QStringLiteral("sessionInfoLabel"));
    ASSERT_NE(session, nullptr);
    EXPECT_TRUE(session->text().startsWith(QStringLiteral("Wayland session: Kestrel reads only applications that run "
                                                          "on X11")))
        << session->text().toStdString();

    EXPECT_EQ(permission_queries_while_waiting(), 0);
    EXPECT_EQ(current_page(), accessibility);

    page.openSystemPreferencesButton->click();
    EXPECT_EQ(current_page(), automation);
    EXPECT_TRUE(fakes_.opener->requests().empty());  // no settings to open
}

// The Permissions step after the Accessibility page must not contradict it.
struct session_texts {
    const char* name;
    platform::session_kind session;
    std::vector<const char*> says;
    std::vector<const char*> never_says;
};

void PrintTo(const session_texts& each, std::ostream* out) { *out << each.name; }

class AutomationPageTexts : public SetupWizardTest, public ::testing::WithParamInterface<session_texts> {};

TEST_P(AutomationPageTexts, SayWhatTheSessionLetsKestrelRead) {
    const session_texts& each = GetParam();
    config::instance().set_account_key(L"AK-signed-in-0001");
    session_ = each.session;
    open_wizard();
    ASSERT_EQ(current_page(), automation);
    const QString shown = wizard().automationVC()->automationMessagingVC()->importantLabel->text();
    for (const char* text : each.says) {
        EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << text << "\n" << shown.toStdString();
    }
    for (const char* text : each.never_says) {
        EXPECT_FALSE(shown.contains(QString::fromUtf8(text))) << text << "\n" << shown.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, AutomationPageTexts,
    ::testing::Values(session_texts{"X11",
                                    platform::session_kind::x11,
                                    {"which it reads from your X11 session",
                                     "Nothing on this desktop asks you to allow it"},
                                    {"Wayland"}},
                      session_texts{"Wayland", platform::session_kind::wayland,
                                    {"only the applications that run on X11 through Xwayland",
                                     "The windows of native Wayland applications cannot be read.",
                                     "Nothing on this desktop asks you to allow it"},
                                    {"your X11 session"}}),
    [](const ::testing::TestParamInfo<session_texts>& info) { return std::string(info.param.name); });

TEST_F(SetupWizardTest, ClosingTheWindowStopsTheChecksAndShowingItAgainResumesThem) {
    config::instance().set_account_key(L"AK-signed-in-0001");
    permission_->trusted = false;
    open_wizard();
    osx_SetupAccessibilityViewController& page = *wizard().accessibilityVC();
    ASSERT_NE(page.accessibilityCheckTimer, nullptr);
    wizard().window().close();
    EXPECT_FALSE(wizard().window().isVisible());
    EXPECT_EQ(page.accessibilityCheckTimer, nullptr);
    permission_->trusted = true;
    EXPECT_EQ(permission_queries_while_waiting(), 0);
    EXPECT_EQ(current_page(), accessibility);
    EXPECT_FALSE(wizard().window().isVisible());  // nothing brought it back

    wizard().showWindow();
    EXPECT_TRUE(wizard().window().isVisible());
    ASSERT_TRUE(run_loop_until([&] { return current_page() == automation; }));
}

TEST_F(SetupWizardTest, TheAutomationPageMarksTheExplanationSeenAsItShows) {
    config::instance().set_account_key(L"AK-signed-in-0001");
    ASSERT_FALSE(fakes_.defaults->get_bool(automation_alert_shown_default));
    open_wizard();
    ASSERT_EQ(current_page(), automation);
    EXPECT_TRUE(fakes_.defaults->get_bool(automation_alert_shown_default));
    SetupAutomationViewController& page = *wizard().automationVC();
    // The explanation fills its frame, its title strip tucked under the header.
    QWidget& explanation = page.automationMessagingVC()->view();
    ASSERT_TRUE(let_the_window_settle());
    EXPECT_EQ(explanation.parentWidget(), page.automationMessagingContainer);
    EXPECT_EQ(explanation.geometry(),
              QRect(0, -SetupAutomationViewController::explanation_overlap, page.automationMessagingContainer->width(),
                    page.automationMessagingContainer->height() + SetupAutomationViewController::explanation_overlap));
    page.automationMessagingVC()->acknowledgeButton->click();
    EXPECT_EQ(current_page(), done);
    EXPECT_TRUE(wizard().window().isVisible());
}

TEST_F(SetupWizardTest, EachPageHeaderLightsItsOwnStep) {
    permission_->trusted = false;
    open_wizard();
    const auto active = [](const QLabel* label) {
        return label->palette().color(QPalette::WindowText) ==
               label->parentWidget()->palette().color(QPalette::Active, QPalette::WindowText);
    };
    const osx_SetupHeaderViewController* headers[] = {wizard().loginVC()->headerVC(),
                                                      wizard().accessibilityVC()->headerVC(),
                                                      wizard().automationVC()->headerVC(),
                                                      wizard().conclusionVC()->headerVC()};
    const int states[] = {0, 1, 1, 2};
    for (int i = 0; i < 4; ++i) {
        const osx_SetupHeaderViewController& header = *headers[i];
        EXPECT_EQ(header.headerState, states[i]);
        EXPECT_EQ(active(header.loginLabel), states[i] == 0) << i;
        EXPECT_EQ(active(header.accessibilityLabel), states[i] == 1) << i;
        EXPECT_EQ(active(header.doneLabel), states[i] == 2) << i;
        EXPECT_EQ(header.doneImageName(), states[i] == 2 ? "kestrel-logo-icon-active" : "kestrel-logo-icon-inactive");
        // Every step shows its picture.
        for (const QLabel* image : {header.loginImageView, header.accessibilityImageView, header.doneImageView}) {
            EXPECT_FALSE(image->pixmap().isNull()) << image->objectName().toStdString();
        }
    }
    // A template image takes its step's colour: the current step is drawn darker than a greyed one.
    const QImage current = headers[0]->loginImageView->pixmap().toImage();
    const QImage greyed = headers[1]->loginImageView->pixmap().toImage();
    const QPoint middle(current.width() / 2, current.height() / 4);
    EXPECT_NE(current.pixelColor(middle), greyed.pixelColor(middle));
}

TEST_F(SetupWizardTest, TheWindowMovesByADragOnItsBackground) {
    open_wizard();
    QWidget& window = wizard().window();
    ASSERT_TRUE(let_the_window_settle());
    const QPoint start = window.pos();
    QWidget* background = wizard().loginVC()->statusLabel;  // a label lets presses through
    const QPoint inside(5, 5);
    const QPoint pressed_at = background->mapToGlobal(inside);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(inside), QPointF(pressed_at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(background, &press);
    const QPoint moved_to = pressed_at + QPoint(37, -21);
    QMouseEvent move(QEvent::MouseMove, QPointF(background->mapFromGlobal(moved_to)), QPointF(moved_to),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(background, &move);
    EXPECT_EQ(window.pos(), start + QPoint(37, -21));
}

TEST(DraggableWindow, IsBorderlessAndFollowsTheDragFromWhereItWasGrabbed) {
    osx_DraggableWindow window;
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window.canBecomeKeyWindow());
    window.resize(200, 100);
    window.move(100, 80);
    window.show();
    const QPoint origin = window.pos();
    const QPoint grab = origin + QPoint(30, 12);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(30, 12), QPointF(grab), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &press);
    for (const QPoint step : {QPoint(10, 5), QPoint(-40, 60)}) {
        const QPoint pointer = grab + step;
        QMouseEvent move(QEvent::MouseMove, QPointF(window.mapFromGlobal(pointer)), QPointF(pointer), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &move);
        EXPECT_EQ(window.pos(), origin + step);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(0, 0), QPointF(grab), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &release);
    const QPoint after = window.pos();
    QMouseEvent stray(QEvent::MouseMove, QPointF(1, 1), QPointF(grab + QPoint(90, 90)), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &stray);
    EXPECT_EQ(window.pos(), after);
}

TEST(AutomationExplanation, SetsItsFirstWordBoldAndFramesThePictureForTheAppearance) {
    AutomationMessagingViewController view;
    EXPECT_TRUE(view.importantLabel->text().startsWith(QStringLiteral("<b>Important:</b> Kestrel records")));
    QPalette light = view.view().palette();
    light.setColor(QPalette::Window, QColor(236, 236, 236));
    light.setColor(QPalette::WindowText, QColor(20, 20, 20));
    view.view().setPalette(light);
    EXPECT_FALSE(view.appearanceIsDark());
    EXPECT_TRUE(view.alertImageView->styleSheet().contains(QColor(Qt::lightGray).name()));
    EXPECT_TRUE(view.alertImageView->styleSheet().contains(QStringLiteral("border-radius: 10px")));

    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    view.view().setPalette(dark);  // the observer follows the change
    EXPECT_TRUE(view.appearanceIsDark());
    EXPECT_TRUE(view.alertImageView->styleSheet().contains(QColor(Qt::gray).name()));

    platform::fake_system_version older({10, 13, 0});
    AutomationMessagingViewController plain(&older);
    EXPECT_EQ(plain.importantLabel->textFormat(), Qt::PlainText);
    EXPECT_TRUE(plain.importantLabel->text().startsWith(QStringLiteral("Important: ")));
    EXPECT_TRUE(plain.alertImageView->styleSheet().isEmpty());
}

}  // namespace
}  // namespace kes::testing
