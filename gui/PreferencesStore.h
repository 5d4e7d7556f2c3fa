#pragma once
// The state of the preference panes, shared by every pane: what the status
// line says, where the sign-in stands, what the login and proxy forms hold.
// Every published property tells the observers (the panes) when it changes;
// the window controller writes the results of sign-in and proxy saving into
// it, the panes write what the user types.
//
// It owns no controller: it reaches the window controller through a weak
// reference, and does nothing once that controller has gone.
// Main thread only.

#include "platform/notification_center.h"

#include <QPalette>

#include <functional>
#include <memory>
#include <string>

namespace kes {

class osx_PreferencesWindow;

class PreferencesStore {
public:
    // A property whose every change is told to the store's observers.
    template <typename T>
    class published {
    public:
        const T& get() const { return value_; }
        void set(T value) {
            if (value == value_) return;
            value_ = std::move(value);
            owner_.publish();
        }

    private:
        friend class PreferencesStore;
        published(PreferencesStore& owner, T initial) : owner_(owner), value_(std::move(initial)) {}
        PreferencesStore& owner_;
        T value_;
    };

    // `version` is the bundle's short version ("CFBundleShortVersionString").
    explicit PreferencesStore(const std::string& version);
    PreferencesStore(const PreferencesStore&) = delete;
    PreferencesStore& operator=(const PreferencesStore&) = delete;

    published<std::wstring> statusMessage{*this, L"Kestrel is starting up..."};
    // The status line is drawn in the palette's control text colour.
    const QPalette::ColorRole statusColor = QPalette::WindowText;
    published<bool> signingIn{*this, false};
    published<bool> signedIn{*this, false};
    published<std::wstring> email{*this, L""};
    published<std::wstring> password{*this, L""};
    published<std::wstring> code{*this, L""};
    published<bool> proxyFormVisible{*this, false};
    published<std::wstring> proxyServer{*this, L""};
    published<std::wstring> proxyPort{*this, L""};
    published<std::wstring> proxyUser{*this, L""};
    published<std::wstring> proxyPassword{*this, L""};
    const std::wstring versionString;
    std::weak_ptr<osx_PreferencesWindow*> windowController;

    // Signs in with `email` and `password` through the window controller;
    // signing in from then on. Nothing when the controller has gone or
    // another sign-in runs.
    void signIn();
    // Saves the four proxy values through the window controller and hides the
    // proxy form. Nothing when the controller has gone.
    void saveProxySettings();

    // `on_change` runs after every change of a published property, while the
    // token lives.
    [[nodiscard]] platform::notification_center::token observe(std::function<void()> on_change);

private:
    void publish();
    osx_PreferencesWindow* controller() const;

    platform::notification_center observers_;
};

}  // namespace kes
