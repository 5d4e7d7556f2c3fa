#include "gui/PreferencesStore.h"

#include "core/foundation/text.h"
#include "gui/osx_PreferencesWindow.h"

namespace kes {
namespace {

constexpr const char* changed = "PreferencesStoreDidChange";

}  // namespace

PreferencesStore::PreferencesStore(const std::string& version)
    : versionString(L"Version " + util::utf8_to_wstring_lossy(version)) {}

osx_PreferencesWindow* PreferencesStore::controller() const {
    const auto alive = windowController.lock();
    return alive ? *alive : nullptr;
}

void PreferencesStore::signIn() {
    osx_PreferencesWindow* window = controller();
    if (!window) return;
    // Only a sign-in that started here is shown as running here: one started
    // elsewhere tells its end to its own window.
    if (window->activateWithEmail(email.get(), password.get())) signingIn.set(true);
}

void PreferencesStore::saveProxySettings() {
    osx_PreferencesWindow* window = controller();
    if (!window) return;
    window->saveProxySettingsWithServer(proxyServer.get(), proxyPort.get(), proxyUser.get(), proxyPassword.get());
    proxyFormVisible.set(false);
}

platform::notification_center::token PreferencesStore::observe(std::function<void()> on_change) {
    return observers_.add_observer(changed, [on_change = std::move(on_change)](const platform::user_info&) {
        on_change();
    });
}

void PreferencesStore::publish() { observers_.post(changed); }

}  // namespace kes
