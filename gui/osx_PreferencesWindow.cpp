#include "gui/osx_PreferencesWindow.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/foundation/text_table.h"
#include "core/ui/web_links.h"
#include "app/osx_ui.h"
#include "gui/KestrelController.h"
#include "platform/info_plist.h"
#include "platform/main_queue.h"
#include "platform/main_thread_call.h"
#include "platform/qt/window_front.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QWidget>

namespace kes {
namespace {

constexpr const wchar_t* waiting_text = L"Waiting for you to activate...";
constexpr const char* first_time_title = "Kestrel First-time Setup";

void show_view(QWidget* container, QWidget* view) {
    if (!container || !view) return;
    if (auto* views = qobject_cast<QStackedLayout*>(container->layout())) views->setCurrentWidget(view);
}

}  // namespace

osx_PreferencesWindow::osx_PreferencesWindow(KestrelController& delegate, osx_ui& bridge)
    : delegate_(delegate), bridge_(bridge), self_(std::make_shared<osx_PreferencesWindow*>(this)) {}

osx_PreferencesWindow::~osx_PreferencesWindow() = default;

QWidget& osx_PreferencesWindow::window() {
    if (!window_) {
        window_ = loadWindow();
        awakeFromNib();
    }
    return *window_;
}

void osx_PreferencesWindow::unloadWindow() { window_.reset(); }

std::unique_ptr<QWidget> osx_PreferencesWindow::loadWindow() {
    preferences_window_layout layout = build_preferences_window();
    take_outlets(layout);
    wire_actions(layout);
    return std::move(layout.window);
}

void osx_PreferencesWindow::take_outlets(preferences_window_layout& layout) {
    headingView = layout.headingView;
    headingText = layout.headingText;
    subDescriptionText = layout.subDescriptionText;
    actionContainerView = layout.actionContainerView;
    authenticationView = layout.authenticationView;
    emailField = layout.emailField;
    passwordField = layout.passwordField;
    settingsView = layout.settingsView;
    proxyToggleButton = layout.proxyToggleButton;
    proxyBox = layout.proxyBox;
    saveProxySettingsButton = layout.saveProxySettingsButton;
    proxyServer = layout.proxyServer;
    proxyPort = layout.proxyPort;
    proxyUsername = layout.proxyUsername;
    proxyPassword = layout.proxyPassword;
    activateButton = layout.activateButton;
    closeButton = layout.closeButton;
    verifyStatusMessage = layout.verifyStatusMessage;
    spinner = layout.spinner;
    versionLabel = layout.versionLabel;
}

void osx_PreferencesWindow::wire_actions(const preferences_window_layout& layout) {
    QWidget* context = layout.window.get();
    QObject::connect(activateButton, &QPushButton::clicked, context, [this] { activate(); });
    QObject::connect(closeButton, &QPushButton::clicked, context, [this] { cancel(); });
    QObject::connect(proxyToggleButton, &QPushButton::clicked, context, [this] { toggleProxySettings(); });
    QObject::connect(saveProxySettingsButton, &QPushButton::clicked, context, [this] { saveProxySettings(); });
    QObject::connect(layout.lostPasswordLink, &QLabel::linkActivated, context, [this] { goToLostPassword(); });
    QObject::connect(layout.dashboardButton, &QPushButton::clicked, context, [this] { goToDashboard(); });
    QObject::connect(layout.settingsButton, &QPushButton::clicked, context, [this] { goToSettings(); });
    QObject::connect(layout.releaseNotesButton, &QPushButton::clicked, context, [this] { goToReleaseNotes(); });
    QObject::connect(layout.troubleshootingButton, &QPushButton::clicked, context, [this] { openTroubleshooting(); });
    QObject::connect(layout.helpButton, &QPushButton::clicked, context, [this] { showHelpWindow(); });
}

void osx_PreferencesWindow::awakeFromNib() {
    if (!checkIfIsActivated()) {
        window_->setWindowTitle(QString::fromLatin1(first_time_title));
        setStatusMessage(waiting_text, 0);
    }
    proxy_settings_visible_ = false;
    if (versionLabel) {
        const std::string version =
            platform::info_plist_string(delegate_.getPlistPath(), "CFBundleShortVersionString");
        versionLabel->setText(QStringLiteral("Version %1").arg(QString::fromStdString(version)));
    }
    if (emailField) emailField->setFocus();
}

bool osx_PreferencesWindow::checkIfIsActivated() { return delegate_.isActivated(); }

// ---- showing

void osx_PreferencesWindow::showPreferencesWindow() {
    on_main([this] {
        QWidget& shown = window();
        show_status();
        log(L"[KestrelController] showPropertiesWindow:", log_level::ui);
        const bool signed_in = checkIfIsActivated();
        if (activateButton) activateButton->setHidden(signed_in);
        if (signed_in) {
            show_view(actionContainerView, settingsView);
            if (headingText) headingText->setText(QStringLiteral("Your Kestrel Data Collector is running"));
            if (subDescriptionText) {
                subDescriptionText->setText(
                    QStringLiteral("Kestrel magic happens on the Dashboard, head over there to see your data."));
            }
        } else {
            show_view(actionContainerView, authenticationView);
            if (headingText) {
                headingText->setText(QStringLiteral("Welcome to Kestrel! Please enter your Kestrel account information."));
            }
            if (subDescriptionText) {
                subDescriptionText->setText(QStringLiteral(
                    "This is the email address and password you used when you signed up for Kestrel on the web."));
            }
            config::instance().set_status_message(waiting_text, 0);
        }
        refreshProxySettings();
        if (proxyToggleButton) proxyToggleButton->show();
        platform::present(shown, platform::window_level::floating);
        log(L"[KestrelController] done showPropertiesWindow:", log_level::ui);
    });
}

// ---- status line

void osx_PreferencesWindow::setStatusMessage(const std::wstring& text, int mode) {
    log(L"[KestrelController]  setStatusMessage", log_level::ui);
    {
        std::lock_guard<std::mutex> lock(status_mutex_);
        status_message_ = text;
        if (mode == 0) status_colour_ = status_colour::control_text;
        if (mode == 1) status_colour_ = status_colour::yellow;
        if (mode == 2) status_colour_ = status_colour::green;
    }
    on_main([this, mode] {
        show_status();
        if (mode == 1 && window_) QApplication::alert(window_.get());
    });
    log(L"[KestrelController] done setStatusMessage", log_level::ui);
}

void osx_PreferencesWindow::show_status() {
    if (!verifyStatusMessage) return;
    std::wstring text;
    status_colour colour;
    {
        std::lock_guard<std::mutex> lock(status_mutex_);
        text = status_message_;
        colour = status_colour_;
    }
    QPalette palette = verifyStatusMessage->palette();
    QColor shown = QApplication::palette(verifyStatusMessage).color(QPalette::WindowText);
    if (colour == status_colour::yellow) shown = QColor(0xB5, 0x89, 0x00);  // yellow that reads on a light ground
    if (colour == status_colour::green) shown = QColor(0x1E, 0x8E, 0x3E);
    palette.setColor(QPalette::WindowText, shown);
    verifyStatusMessage->setPalette(palette);
    verifyStatusMessage->setText(shown_text(text));
}

std::wstring osx_PreferencesWindow::status_text() const {
    std::lock_guard<std::mutex> lock(status_mutex_);
    return status_message_;
}

// ---- sign-in

void osx_PreferencesWindow::activate() {
    // The window stays until its sign-in has ended.
    if (activateWithEmail(emailField ? field_text(*emailField) : std::wstring(),
                          passwordField ? field_text(*passwordField) : std::wstring()) &&
        closeButton) {
        closeButton->setEnabled(false);
    }
}

bool osx_PreferencesWindow::activateWithEmail(const std::wstring& email, const std::wstring& password) {
    // A running sign-in (a second press, or the setup window's) keeps the
    // e-mail and password it was started with, and reports for both.
    if (bridge_.is_signing_in()) {
        log(L"[KestrelController]activate: a sign-in is running already; no second one is started.", log_level::ui);
        return false;
    }
    delegate_.setUsername(email);
    delegate_.setPassword(password);
    return performActivate();
}

bool osx_PreferencesWindow::performActivate() {
    std::weak_ptr<osx_PreferencesWindow*> self = self_;
    platform::main_queue& queue = bridge_.queue();
    // The sign-in thread ends with this: it never waits for the main thread.
    const auto ended = [self, &queue](ui::sign_in_result result) {
        queue.async([self, result] {
            if (const auto alive = self.lock()) (*alive)->signInDidEnd(result == ui::sign_in_result::signed_in);
        });
    };
    if (!bridge_.start_sign_in(ended)) {
        log(L"[KestrelController]activate: a sign-in is running already; no second one is started.", log_level::ui);
        return false;
    }
    log(L"[KestrelController]activate: " + util::address_text(this), log_level::info);
    if (spinner) spinner->show();
    if (activateButton) activateButton->setEnabled(false);
    // The window keeps its floating level while the sign-in runs: the
    // two-factor prompt floats too and opens above it, and a change of level
    // would unmap and map the window again on this desktop.
    return true;
}

void osx_PreferencesWindow::signInDidEnd(bool) {
    // In front again after the prompt (unless the user closed it meanwhile).
    if (window_ && window_->isVisible()) platform::bring_to_front(*window_, platform::window_level::floating);
    if (spinner) spinner->hide();
    if (activateButton) activateButton->setEnabled(true);
    if (closeButton) closeButton->setEnabled(true);
}

void osx_PreferencesWindow::updateWithPostActivateState() {
    on_main([this] {
        if (spinner) spinner->hide();
        if (activateButton) {
            activateButton->setEnabled(true);
            activateButton->hide();
        }
        if (proxyToggleButton) proxyToggleButton->hide();
        show_view(actionContainerView, settingsView);
        if (proxy_settings_visible_) toggleProxySettings();
        if (window_) window_->setWindowTitle(QStringLiteral("Kestrel Data Collector"));
        if (headingText) headingText->setText(QStringLiteral("You've successfully activated your Kestrel Data Collector"));
        if (subDescriptionText) {
            subDescriptionText->setText(
                QStringLiteral("Kestrel magic happens on the Dashboard, but you might want to head over there in a "
                               "few hours once we've gotten some good data to show you."));
        }
        setStatusMessage(L"Kestrel has been activated.", 0);
        config::instance().set_status_message(get_text(L"status_message_activation_finished"), 0);
    });
}

// ---- proxy panel

void osx_PreferencesWindow::toggleProxySettings() {
    proxy_settings_visible_ = !proxy_settings_visible_;
    refreshProxySettings();
}

void osx_PreferencesWindow::refreshProxySettings() {
    // Only a window with the panel is sized for it.
    if (proxyBox) {
        if (proxy_settings_visible_) {
            if (proxyToggleButton) proxyToggleButton->setText(QString::fromUtf8("\u25BC Proxy (Advanced)"));
            resizeWindowToWidth(preferences_window_layout::width, preferences_window_layout::open_height, true);
            proxyBox->show();
        } else {
            if (proxyToggleButton) proxyToggleButton->setText(QString::fromUtf8("\u25BA Proxy (Advanced)"));
            proxyBox->hide();
            resizeWindowToWidth(preferences_window_layout::width, preferences_window_layout::closed_height, true);
        }
    }
    const proxy_settings values = read_proxy_settings(config::instance());
    updateProxySettingsUiWithServer(values.server, values.port, values.username, values.password);
}

void osx_PreferencesWindow::updateProxySettingsUiWithServer(const std::wstring& server, const std::wstring& port,
                                                            const std::wstring& username,
                                                            const std::wstring& password) {
    if (!proxyServer) return;
    proxy_fields{proxyServer, proxyPort, proxyUsername, proxyPassword}.show({server, port, username, password});
}

void osx_PreferencesWindow::resizeWindowToWidth(int width, int height, bool) {
    log(L"[KestrelController] resizeWindow", log_level::ui);
    if (!window_) return;
    // A window of the agent's own size: the user does not resize it. The
    // change is immediate; the desktop's window manager may animate it.
    const QRect before = window_->geometry();
    window_->setFixedSize(width, height);
    window_->setGeometry(before.x() - (width - before.width()), before.y(), width, height);
}

void osx_PreferencesWindow::saveProxySettingsWithServer(const std::wstring& server, const std::wstring& port,
                                                        const std::wstring& username, const std::wstring& password) {
    save_proxy_settings(config::instance(), {server, port, username, password});
    setStatusMessage(L"Proxy settings saved.", 0);
}

void osx_PreferencesWindow::saveProxySettings() {
    if (proxyServer) {
        const proxy_settings typed = proxy_fields{proxyServer, proxyPort, proxyUsername, proxyPassword}.typed();
        saveProxySettingsWithServer(typed.server, typed.port, typed.username, typed.password);
    }
    if (proxy_settings_visible_) {
        toggleProxySettings();
    } else {
        refreshProxySettings();
    }
}

// ---- links and the rest

void osx_PreferencesWindow::goToDashboard() {
    const auto& keys = bridge_.desktop().keys;
    if (keys && keys->shift_held()) {
        config& settings = config::instance();
        settings.set_blocking_until(settings.local_now());
        return;
    }
    open_dashboard_page(bridge_);
}

void osx_PreferencesWindow::goToSettings() { open_monitoring_options_page(bridge_); }
void osx_PreferencesWindow::goToLostPassword() { open_forgot_password_page(bridge_); }
void osx_PreferencesWindow::goToReleaseNotes() { open_release_notes_page(bridge_); }
void osx_PreferencesWindow::openTroubleshooting() { delegate_.openTroubleshooting(); }
void osx_PreferencesWindow::showHelpWindow() { delegate_.goToHelp(); }
void osx_PreferencesWindow::cancel() { orderOut(); }

void osx_PreferencesWindow::orderOut() {
    if (window_) window_->hide();
}

void osx_PreferencesWindow::on_main(std::function<void()> work) {
    platform::post_to_main_thread_while(bridge_.queue(), std::weak_ptr<osx_PreferencesWindow*>(self_), std::move(work));
}

}  // namespace kes
