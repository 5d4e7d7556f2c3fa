#pragma once
// The preferences window of the newer desktops: the preference panes
// (General, Account, Network) over the shared PreferencesStore. It keeps the
// sign-in, proxy saving, links and help of the classic window controller it
// derives from, and sends the results into the store instead of into text
// fields: status texts, the end of a sign-in, its success, and the
// configured proxy values.
//
// Main thread, except `setStatusMessage`, which any thread may call (the
// text reaches the store on the main thread).

#include "gui/ImageStore.h"
#include "gui/PreferencesStore.h"
#include "gui/osx_PreferencesWindow.h"
#include "gui/preference_panes.h"

#include <memory>
#include <string>

namespace kes {

class PreferencesWindowController final : public osx_PreferencesWindow {
public:
    // The window's layout and the controller's name in it.
    static constexpr const char* storyboard_name = "PreferencesWindow";
    static constexpr const char* identifier = "preferencesWindowController";

    // The pane images come from `resource_dir`.
    PreferencesWindowController(KestrelController& delegate, osx_ui& bridge, const std::string& resource_dir);
    ~PreferencesWindowController() override;

    void showPreferencesWindow() override;
    // Into the store; a text containing "Failed!" ends the signing-in state.
    // The mode is not shown.
    void setStatusMessage(const std::wstring& text, int mode) override;
    void updateWithPostActivateState() override;
    void updateProxySettingsUiWithServer(const std::wstring& server, const std::wstring& port,
                                         const std::wstring& username, const std::wstring& password) override;

    PreferencesStore& preferencesStore() { return *store_; }
    // The panes (null until the window is made).
    SwiftPreferencesWindow* rootView() const { return root_; }

protected:
    std::unique_ptr<QWidget> loadWindow() override;
    // Whatever the status text said: the sign-in is over.
    void signInDidEnd(bool signed_in) override;

private:
    const std::unique_ptr<PreferencesStore> store_;
    ImageStore images_;
    panes_environment environment_;
    SwiftPreferencesWindow* root_ = nullptr;
};

}  // namespace kes
