#pragma once
// The proxy settings as the windows show and save them: the server, its port,
// a user name and a password, in the configuration store. Every window that
// edits them (the preferences window's panel, the setup wizard's form, the
// Network pane) lays out the same four fields and saves them the same way:
// nothing is checked, an empty or non-numeric port is stored as typed.

#include <QString>

#include <string>

class QFormLayout;
class QLineEdit;
class QWidget;

namespace kes {

class config;

struct proxy_settings {
    std::wstring server;
    std::wstring port;
    std::wstring username;
    std::wstring password;
};

// What the configuration holds now.
proxy_settings read_proxy_settings(const config& settings);

// Server, port, user name, then password, in that order; each setter saves
// the settings file (mode 0600). The password is never logged.
void save_proxy_settings(config& settings, const proxy_settings& values);

// The text of a field as the configuration keeps it (through UTF-8, so a
// broken surrogate never reaches the settings file).
std::wstring field_text(const QLineEdit& field);
QString shown_text(const std::wstring& text);

// The four fields of a window, the password typed with its echo off. `names`
// are their objectNames (the outlets of the window).
struct proxy_field_names {
    const char* server;
    const char* port;
    const char* username;
    const char* password;
};
struct proxy_fields {
    QLineEdit* server = nullptr;
    QLineEdit* port = nullptr;
    QLineEdit* username = nullptr;
    QLineEdit* password = nullptr;

    void show(const proxy_settings& values) const;
    proxy_settings typed() const;
};
proxy_fields make_proxy_fields(QWidget& owner, const proxy_field_names& names);
// The four as labelled rows, one under the other.
void add_proxy_rows(QFormLayout& form, const proxy_fields& fields);

}  // namespace kes
