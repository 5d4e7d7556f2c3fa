// The preference panes (the desktop's own capability level): the window
// opens on the pane the sign-in state calls for at 550 x 300, its title and
// status by that state; one sign-in per double press against the service
// stand-in, and the button's text after a failure and a success; the proxy
// summary and its saving (python reads kestreld.json); a dark palette's
// images; images that are missing; the store without its controller.
#include "core/foundation/text.h"
#include "gui/ImageStore.h"
#include "gui/PreferencesOption.h"
#include "gui/PreferencesWindowController.h"
#include "gui/preference_panes.h"
#include "tests/gui/preferences_fixture.h"

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

namespace kes::testing {
namespace {

class PreferencePanesTest : public PreferencesTest {
protected:
    PreferencesWindowController& panes() {
        auto* controller = dynamic_cast<PreferencesWindowController*>(controller_->preferencesWC());
        EXPECT_NE(controller, nullptr) << "the panes' controller";
        return *controller;
    }
    PreferencesStore& store() { return panes().preferencesStore(); }
    PreferencesNavigation& navigation() { return *panes().rootView()->navigation; }
    QWidget* shown_pane() { return navigation().detailView->currentWidget(); }
    AccountPreferencesLoginView& login() { return *navigation().account->loginView; }
    void click_row(int row) {
        QListWidget* list = navigation().list;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
    static void type_into(QLineEdit* field, const QString& text) {
        field->clear();
        QTest::keyClicks(field, text);
    }
    // Mean lightness of a drawn image's opaque pixels.
    static int lightness_of(const QImage& image) {
        long sum = 0;
        long count = 0;
        const QImage straight = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < straight.height(); ++y) {
            for (int x = 0; x < straight.width(); ++x) {
                const QColor pixel = straight.pixelColor(x, y);
                if (pixel.alpha() < 200) continue;
                sum += pixel.lightness();
                ++count;
            }
        }
        return count == 0 ? -1 : static_cast<int>(sum / count);
    }
};

TEST_F(PreferencePanesTest, NotSignedInItOpensOnTheLoginFormWithTheConfiguredProxyAtItsFixedSize) {
    config::instance().set_proxy_server(L"cache.corp.test");
    config::instance().set_proxy_port(L"3128");
    config::instance().set_proxy_username(L"ana");
    config::instance().set_proxy_password_hash(L"Proxy-Secret-2093");
    launch();
    QWidget& window = open_preferences();

    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.objectName(), QStringLiteral("PreferencesWindow"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestrel First-time Setup"));
    EXPECT_EQ(store().statusMessage.get(), L"Waiting for you to activate...");
    EXPECT_EQ(login().statusMessage->text(), QStringLiteral("Waiting for you to activate..."));
    EXPECT_FALSE(store().signedIn.get());
    EXPECT_EQ(store().proxyServer.get(), L"cache.corp.test");
    EXPECT_EQ(store().proxyPort.get(), L"3128");
    EXPECT_EQ(store().proxyUser.get(), L"ana");
    EXPECT_EQ(store().proxyPassword.get(), L"Proxy-Secret-2093");
    EXPECT_EQ(store().windowController.lock().get() != nullptr, true);
    EXPECT_EQ(shown_pane(), navigation().account);
    EXPECT_TRUE(login().isVisibleTo(&window));
    EXPECT_EQ(login().signInButton->text(), QStringLiteral("Login to Kestrel"));
    EXPECT_EQ(login().passwordField->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    // Whatever pane is shown, the content keeps its size.
    const std::vector<std::string> rows = [&] {
        std::vector<std::string> titles;
        for (int i = 0; i < navigation().list->count(); ++i) titles.push_back(navigation().list->item(i)->text().toStdString());
        return titles;
    }();
    EXPECT_EQ(rows, (std::vector<std::string>{"General", "Account", "Network"}));
    for (int row : {0, 2, 1}) {
        click_row(row);
        EXPECT_EQ(navigation().shownOption(), PreferencesOption::all()[static_cast<std::size_t>(row)]);
        EXPECT_EQ(panes().rootView()->size(), QSize(550, 300)) << row;
        EXPECT_EQ(window.size(), QSize(550, 300)) << row;
    }
    for (QWidget* pane : {static_cast<QWidget*>(navigation().general), static_cast<QWidget*>(navigation().account),
                          static_cast<QWidget*>(navigation().network)}) {
        EXPECT_EQ(pane->width(), 398) << pane->objectName().toStdString();
    }
}

TEST_F(PreferencePanesTest, SignedInItOpensOnTheGeneralPaneAndLeavesTheStatusAsItWas) {
    config::instance().set_account_key(L"AK-demo-7f3c9e21b8d44a0f9c5e");
    launch();
    panes().setStatusMessage(L"Data sent at 10:42", 0);
    QWidget& window = open_preferences();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestrel Preferences"));
    EXPECT_EQ(store().statusMessage.get(), L"Data sent at 10:42");
    EXPECT_TRUE(store().signedIn.get());
    EXPECT_EQ(shown_pane(), navigation().general);
    GeneralPreferencesView& general = *navigation().general;
    EXPECT_EQ(general.statusMessage->text(), QStringLiteral("Data sent at 10:42"));
    EXPECT_EQ(general.versionText->text(), QStringLiteral("Version 1.0.0"));
    EXPECT_EQ(general.logo->accessibleName(), QStringLiteral("kestrel_logo"));
    EXPECT_FALSE(general.logo->pixmap().isNull());

    // Signed in before this run: no address was typed.
    click_row(1);
    EXPECT_TRUE(navigation().account->signedInRow->isVisibleTo(&window));
    EXPECT_FALSE(login().isVisibleTo(&window));
    EXPECT_EQ(navigation().account->accountEmail->text(), QStringLiteral("Signed in"));

    // A fixed address of the service, whatever the settings say.
    config::instance().set_url(L"127.0.0.1:9");
    QTest::mouseClick(general.globalSettingsButton, Qt::LeftButton);
    EXPECT_EQ(fakes_.opener->opened_pages(), (std::vector<std::string>{"https://app.kestrel.example/settings"}));
    QTest::mouseClick(general.helpButton, Qt::LeftButton);
    serve();
    EXPECT_TRUE(help_open());
}

TEST_F(PreferencePanesTest, ADoublePressSignsInOnceAndTheAccountPaneThenShowsTheTypedAddress) {
    launch();
    QWidget& window = open_preferences();
    type_into(login().emailField, QString::fromStdWString(demo_email));
    type_into(login().passwordField, QString::fromStdWString(demo_password));
    EXPECT_EQ(store().email.get(), demo_email);  // written through on every keystroke
    EXPECT_EQ(store().password.get(), demo_password);
    QTest::keyClick(login().passwordField, Qt::Key_Return);
    EXPECT_FALSE(store().signingIn.get()) << "Return signs nobody in";

    QTest::mouseClick(login().signInButton, Qt::LeftButton);
    EXPECT_TRUE(store().signingIn.get());
    EXPECT_EQ(login().signInButton->text(), QStringLiteral("Logging in..."));
    QTest::mouseClick(login().signInButton, Qt::LeftButton);
    store().signIn();  // the store too refuses a second while one runs

    ASSERT_TRUE(wait_until([&] { return store().signedIn.get() && !bridge_->is_signing_in(); }));
    ASSERT_TRUE(wait_until([&] { return !store().signingIn.get(); }));
    EXPECT_EQ(sign_in_requests(), 1u);
    EXPECT_EQ(config::instance().get_account_key(), L"AK-demo-7f3c9e21b8d44a0f9c5e");
    // Nothing was chosen: the General pane follows the sign-in; the Account
    // pane has switched to the signed-in row by itself.
    EXPECT_EQ(shown_pane(), navigation().general);
    click_row(1);
    EXPECT_TRUE(navigation().account->signedInRow->isVisibleTo(&window));
    EXPECT_EQ(navigation().account->accountEmail->text(), QString::fromStdWString(demo_email));
    EXPECT_EQ(login().signInButton->text(), QStringLiteral("Login to Kestrel"));
    EXPECT_FALSE(debug_log_holds(util::wstring_to_utf8(demo_password)));
}

TEST_F(PreferencePanesTest, AfterAFailureTheButtonIsBackWhateverTheTextSays) {
    launch();
    open_preferences();
    type_into(login().emailField, QString::fromStdWString(demo_email));
    type_into(login().passwordField, QStringLiteral("not-the-password"));
    QTest::mouseClick(login().signInButton, Qt::LeftButton);
    ASSERT_TRUE(wait_until([&] { return !store().signingIn.get(); }));
    ASSERT_TRUE(wait_until([&] { return store().statusMessage.get() == L"Wrong e-mail address or password."; }));
    EXPECT_EQ(store().statusMessage.get().find(L"Failed!"), std::wstring::npos);
    EXPECT_EQ(login().signInButton->text(), QStringLiteral("Login to Kestrel"));
    EXPECT_FALSE(store().signedIn.get());
    EXPECT_EQ(sign_in_requests(), 1u);

    // An empty address: the sign-in logic's own text, and the button back.
    type_into(login().emailField, QString());
    login().emailField->clear();
    store().email.set(L"");
    QTest::mouseClick(login().signInButton, Qt::LeftButton);
    ASSERT_TRUE(wait_until([&] { return !store().signingIn.get() && !bridge_->is_signing_in(); }));
    ASSERT_TRUE(wait_until([&] { return store().statusMessage.get() == L"Missing or bad email"; }));
    EXPECT_EQ(login().signInButton->text(), QStringLiteral("Login to Kestrel"));

    // Texts that say "Failed!" end the signing-in state by themselves; others
    // (in any mode) only change the text, never its colour.
    store().signingIn.set(true);
    panes().setStatusMessage(L"Missing or invalid password", 1);
    EXPECT_TRUE(store().signingIn.get());
    EXPECT_EQ(store().statusColor, QPalette::WindowText);
    panes().setStatusMessage(L"Activation Failed! Try again.", 2);
    EXPECT_FALSE(store().signingIn.get());
    EXPECT_EQ(login().statusMessage->text(), QStringLiteral("Activation Failed! Try again."));
    EXPECT_EQ(login().statusMessage->foregroundRole(), QPalette::WindowText);
}

TEST_F(PreferencePanesTest, TheNetworkPaneSummarisesTheProxyAndSavesWhatWasTypedIntoTheSettingsFile) {
    launch();
    open_preferences();
    click_row(2);
    NetworkPreferencesView& network = *navigation().network;
    EXPECT_EQ(network.proxySummary->text(), QStringLiteral("none specified"));
    EXPECT_FALSE(network.proxyView->isVisibleTo(network.window()));

    QTest::mouseClick(network.changeSettingsButton, Qt::LeftButton);
    EXPECT_TRUE(store().proxyFormVisible.get());
    EXPECT_TRUE(network.proxyView->isVisibleTo(network.window()));
    EXPECT_FALSE(network.summaryRow->isVisibleTo(network.window()));
    NetworkPreferencesProxyView& form = *network.proxyView;
    EXPECT_EQ(form.proxyPassword->echoMode(), QLineEdit::Password);
    type_into(form.proxyServer, QStringLiteral("127.0.0.1"));
    type_into(form.proxyPort, QStringLiteral("8888"));
    type_into(form.proxyUser, QStringLiteral("kesproxy"));
    type_into(form.proxyPassword, QStringLiteral("Pane-Proxy-Secret-77"));
    QTest::mouseClick(form.saveProxySettingsButton, Qt::LeftButton);

    EXPECT_EQ(saved_proxy_settings(), "127.0.0.1\n8888\nkesproxy\nPane-Proxy-Secret-77\n");
    EXPECT_EQ(file_mode(settings_file()), 0600);
    EXPECT_EQ(store().statusMessage.get(), L"Proxy settings saved.");
    EXPECT_FALSE(store().proxyFormVisible.get());
    EXPECT_TRUE(network.summaryRow->isVisibleTo(network.window()));
    EXPECT_EQ(network.proxySummary->text(), QStringLiteral("127.0.0.1:8888"));
    EXPECT_FALSE(debug_log_holds("Pane-Proxy-Secret-77"));

    // A server without a port keeps its colon; reopening refills from the settings.
    config::instance().set_proxy_port(L"");
    open_preferences();
    EXPECT_EQ(network.proxySummary->text(), QStringLiteral("127.0.0.1:"));
    EXPECT_EQ(proxy_summary(L"", L"8080"), L"none specified");
}

TEST_F(PreferencePanesTest, ADarkPaletteShowsTheWhiteLogoAndInvertedIcons) {
    launch();
    QWidget& window = open_preferences();
    const QListWidget& list = *navigation().list;
    const auto icon_lightness = [&](int row) { return lightness_of(list.item(row)->icon().pixmap(QSize(20, 20), 2.0).toImage()); };
    const int light_icon = icon_lightness(0);
    const QImage light_logo = login().logo->pixmap().toImage();
    EXPECT_LT(light_icon, 100);
    EXPECT_EQ(login().logo->accessibleName(), QStringLiteral("kestrel_logo"));

    QPalette dark = window.palette();
    dark.setColor(QPalette::Window, QColor(0x2B, 0x2B, 0x2B));
    dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    window.setPalette(dark);
    EXPECT_EQ(login().logo->accessibleName(), QStringLiteral("kestrel_logo_white"));
    EXPECT_NE(login().logo->pixmap().toImage(), light_logo);
    for (int row = 0; row < 3; ++row) EXPECT_GT(icon_lightness(row), 150) << row;

    window.setPalette(QPalette());
    EXPECT_EQ(login().logo->accessibleName(), QStringLiteral("kestrel_logo"));
    EXPECT_EQ(icon_lightness(0), light_icon);
}

TEST_F(PreferencePanesTest, MissingImagesAreLoggedOnceAndTheWindowStillOpens) {
    for (const char* image : {"General_Tab.png", "kestrel_logo.png"}) std::filesystem::remove(resources() + "/" + image);
    launch();
    QWidget& window = open_preferences();
    click_row(0);
    click_row(1);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(login().logo->pixmap().isNull());
    EXPECT_FALSE(navigation().list->item(1)->icon().isNull());
    const auto lines = logged();
    for (const wchar_t* missing : {L"General_Tab.png", L"kestrel_logo.png"}) {
        const std::wstring line =
            std::wstring(L"[ImageStore:cgImage] Could not load the image ") + missing + L" from the main bundle; it is left out.";
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << util::wstring_to_utf8(line);
    }

    // The cache knows names, not extensions: the first image loaded stands.
    ImageStore images(resources());
    const QImage first = images.cgImage("Account_Tab", "png");
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(images.cgImage("Account_Tab", "svg"), first);
    EXPECT_EQ(images.image("Account_Tab", "png").devicePixelRatio(), 2.0);
}

TEST_F(PreferencePanesTest, TheStoreDoesNothingOnceItsControllerHasGone) {
    PreferencesStore alone("9.9");
    EXPECT_EQ(alone.versionString, L"Version 9.9");
    EXPECT_EQ(alone.statusMessage.get(), L"Kestrel is starting up...");
    int changes = 0;
    const auto watching = alone.observe([&] { ++changes; });
    alone.proxyFormVisible.set(true);
    alone.proxyServer.set(L"gone.test");
    alone.email.set(demo_email);
    alone.signIn();
    alone.saveProxySettings();
    EXPECT_FALSE(alone.signingIn.get());
    EXPECT_TRUE(alone.proxyFormVisible.get());
    EXPECT_EQ(config::instance().get_proxy_server(), L"");
    EXPECT_EQ(changes, 3);
    alone.proxyServer.set(L"gone.test");  // unchanged: nobody is told
    EXPECT_EQ(changes, 3);
}

TEST(PreferencesOptionTest, ThreePanesInTheirOrderReadAndWrittenAsJson) {
    const auto& all = PreferencesOption::all();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].raw_title(), "General");
    EXPECT_EQ(all[1].raw_title(), "Account");
    EXPECT_EQ(all[2].raw_title(), "Network");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(all[static_cast<std::size_t>(i)].id, i);
    EXPECT_NE(all[0], (PreferencesOption{0, PreferencesOption::Title::account}));
    EXPECT_EQ(PreferencesOption::title_from_raw("general"), std::nullopt);

    const nlohmann::json written = all[2];
    EXPECT_EQ(written, nlohmann::json::parse(R"({"id": 2, "title": "Network"})"));
    EXPECT_EQ(written.get<PreferencesOption>(), all[2]);
    EXPECT_THROW((void)nlohmann::json::parse(R"({"id": 3, "title": "Sound"})").get<PreferencesOption>(),
                 nlohmann::json::exception);
}

}  // namespace
}  // namespace kes::testing
