#include "gui/osx_ProxySettingsViewController.h"

#include "core/foundation/config.h"
#include "gui/proxy_fields.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace kes {

osx_ProxySettingsViewController::osx_ProxySettingsViewController() : osx_ProxySettingsViewController(config::instance()) {}

osx_ProxySettingsViewController::osx_ProxySettingsViewController(config& settings)
    : settings_(settings), view_(new QWidget) {
    view_->setObjectName(QString::fromLatin1(layout_name));
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight);
    const proxy_fields fields = make_proxy_fields(
        *view_, {"proxyServerField", "proxyPortField", "proxyUsernameField", "proxyPasswordField"});
    add_proxy_rows(*form, fields);
    proxyServerField = fields.server;
    proxyPortField = fields.port;
    proxyUsernameField = fields.username;
    proxyPasswordField = fields.password;
    saveProxySettingsButton = new QPushButton(QStringLiteral("Save Proxy Settings"), view_);
    saveProxySettingsButton->setObjectName(QStringLiteral("saveProxySettingsButton"));
    QObject::connect(saveProxySettingsButton, &QPushButton::clicked, view_, [this] { saveProxySettings(); });

    auto* column = new QVBoxLayout(view_);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(form);
    column->addWidget(saveProxySettingsButton, 0, Qt::AlignRight);
    awakeFromNib();
}

osx_ProxySettingsViewController::~osx_ProxySettingsViewController() { delete view_.data(); }

void osx_ProxySettingsViewController::awakeFromNib() {
    proxy_fields{proxyServerField, proxyPortField, proxyUsernameField, proxyPasswordField}.show(
        read_proxy_settings(settings_));
}

void osx_ProxySettingsViewController::saveProxySettings() {
    save_proxy_settings(settings_,
                        proxy_fields{proxyServerField, proxyPortField, proxyUsernameField, proxyPasswordField}.typed());
}

}  // namespace kes
