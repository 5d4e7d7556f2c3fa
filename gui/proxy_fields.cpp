#include "gui/proxy_fields.h"

#include "core/foundation/config.h"
#include "core/foundation/text.h"

#include <QFormLayout>
#include <QLineEdit>

namespace kes {
namespace {

// The example host is a reserved name: it can never be a real proxy.
constexpr const char* server_placeholder = "ex. proxy.example.com";

QLineEdit* make_field(QWidget& owner, const char* name, const char* placeholder) {
    auto* field = new QLineEdit(&owner);
    field->setObjectName(QString::fromLatin1(name));
    field->setPlaceholderText(QString::fromUtf8(placeholder));
    field->setMinimumWidth(180);
    return field;
}

}  // namespace

proxy_settings read_proxy_settings(const config& settings) {
    return {settings.get_proxy_server(), settings.get_proxy_port(), settings.get_proxy_username(),
            settings.get_proxy_password_hash()};
}

void save_proxy_settings(config& settings, const proxy_settings& values) {
    settings.set_proxy_server(values.server);
    settings.set_proxy_port(values.port);
    settings.set_proxy_username(values.username);
    settings.set_proxy_password_hash(values.password);
}

std::wstring field_text(const QLineEdit& field) {
    return util::utf8_to_wstring_lossy(field.text().toUtf8().toStdString());
}

QString shown_text(const std::wstring& text) { return QString::fromStdWString(text); }

void proxy_fields::show(const proxy_settings& values) const {
    server->setText(shown_text(values.server));
    port->setText(shown_text(values.port));
    username->setText(shown_text(values.username));
    password->setText(shown_text(values.password));
}

proxy_settings proxy_fields::typed() const {
    return {field_text(*server), field_text(*port), field_text(*username), field_text(*password)};
}

proxy_fields make_proxy_fields(QWidget& owner, const proxy_field_names& names) {
    proxy_fields fields;
    fields.server = make_field(owner, names.server, server_placeholder);
    fields.port = make_field(owner, names.port, "ex. 8080");
    fields.username = make_field(owner, names.username, "optional username");
    fields.password = make_field(owner, names.password, "optional password");
    // Typed blind: the password is never shown, and cannot be copied out.
    fields.password->setEchoMode(QLineEdit::Password);
    return fields;
}

void add_proxy_rows(QFormLayout& form, const proxy_fields& fields) {
    form.addRow(QStringLiteral("Server:"), fields.server);
    form.addRow(QStringLiteral("Port:"), fields.port);
    form.addRow(QStringLiteral("Username:"), fields.username);
    form.addRow(QStringLiteral("Password:"), fields.password);
}

}  // namespace kes
