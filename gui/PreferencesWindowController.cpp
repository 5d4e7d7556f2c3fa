#include "gui/PreferencesWindowController.h"

#include "core/foundation/text.h"
#include "core/ui/web_links.h"
#include "app/osx_ui.h"
#include "gui/KestrelController.h"
#include "platform/info_plist.h"
#include "platform/qt/window_front.h"

#include <QVBoxLayout>
#include <QWidget>

namespace kes {

PreferencesWindowController::PreferencesWindowController(KestrelController& delegate, osx_ui& bridge,
                                                         const std::string& resource_dir)
    : osx_PreferencesWindow(delegate, bridge),
      store_(std::make_unique<PreferencesStore>(
          platform::info_plist_string(delegate.getPlistPath(), "CFBundleShortVersionString"))),
      images_(resource_dir),
      environment_{*store_, images_, [&bridge](const std::wstring& address) { (void)open_url(address, bridge); }} {}

PreferencesWindowController::~PreferencesWindowController() {
    // The panes show the store and the images: they end first.
    unloadWindow();
}

std::unique_ptr<QWidget> PreferencesWindowController::loadWindow() {
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window);
    window->setObjectName(QString::fromLatin1(storyboard_name));
    window->setWindowTitle(QStringLiteral("Kestrel Preferences"));
    root_ = new SwiftPreferencesWindow(environment_, window.get());
    auto* content = new QVBoxLayout(window.get());
    content->setContentsMargins(0, 0, 0, 0);
    content->addWidget(root_);
    window->setFixedSize(panes_width, panes_height);
    return window;
}

void PreferencesWindowController::showPreferencesWindow() {
    on_main([this] {
        QWidget& shown = window();
        refreshProxySettings();
        PreferencesStore& store = *store_;
        store.signedIn.set(checkIfIsActivated());
        store.windowController = weak_self();
        if (store.signedIn.get()) {
            shown.setWindowTitle(QStringLiteral("Kestrel Preferences"));
        } else {
            shown.setWindowTitle(QStringLiteral("Kestrel First-time Setup"));
            store.statusMessage.set(L"Waiting for you to activate...");
        }
        platform::present(shown, platform::window_level::floating);
    });
}

void PreferencesWindowController::setStatusMessage(const std::wstring& text, int) {
    on_main([this, text] {
        if (text.find(L"Failed!") != std::wstring::npos) store_->signingIn.set(false);
        store_->statusMessage.set(text);
    });
}

void PreferencesWindowController::updateWithPostActivateState() {
    on_main([this] {
        store_->signingIn.set(false);
        store_->signedIn.set(true);
    });
}

void PreferencesWindowController::updateProxySettingsUiWithServer(const std::wstring& server, const std::wstring& port,
                                                                  const std::wstring& username,
                                                                  const std::wstring& password) {
    store_->proxyServer.set(server);
    store_->proxyPort.set(port);
    store_->proxyUser.set(username);
    store_->proxyPassword.set(password);
}

void PreferencesWindowController::signInDidEnd(bool signed_in) {
    osx_PreferencesWindow::signInDidEnd(signed_in);
    store_->signingIn.set(false);
}

}  // namespace kes
