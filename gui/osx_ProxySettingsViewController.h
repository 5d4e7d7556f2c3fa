#pragma once
// The small proxy form that the setup wizard embeds beside its sign-in form:
// server, port, user name and password (typed with its echo off), filled
// from the configuration when made, and saved back with its button. Saving
// shows no status text; nothing is checked.
//
// Main thread only. The view is this object's until a container adopts it
// (e.g. the wizard's proxy box); whichever of the two ends first takes the
// view with it.

#include <QPointer>

class QLineEdit;
class QPushButton;
class QWidget;

namespace kes {

class config;

class osx_ProxySettingsViewController {
public:
    static constexpr const char* layout_name = "osx_ProxySettingsViewController";

    // Builds the view and fills it (`awakeFromNib`).
    explicit osx_ProxySettingsViewController(config& settings);
    osx_ProxySettingsViewController();  // the process-wide configuration
    ~osx_ProxySettingsViewController();
    osx_ProxySettingsViewController(const osx_ProxySettingsViewController&) = delete;
    osx_ProxySettingsViewController& operator=(const osx_ProxySettingsViewController&) = delete;

    // Fills the four fields from the configuration.
    void awakeFromNib();
    // Action of the save button: the four texts into the configuration
    // (server, port, user name, password; each setter saves the file).
    void saveProxySettings();

    QWidget& view() { return *view_; }

    QLineEdit* proxyServerField = nullptr;
    QLineEdit* proxyPortField = nullptr;
    QLineEdit* proxyUsernameField = nullptr;
    QLineEdit* proxyPasswordField = nullptr;
    QPushButton* saveProxySettingsButton = nullptr;

private:
    config& settings_;
    QPointer<QWidget> view_;
};

}  // namespace kes
