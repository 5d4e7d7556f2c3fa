// The wizard's proxy form offscreen: it opens on the configured values, its
// button saves what was typed into kestreld.json (python reads it, mode
// 0600) without a status text, the password is typed blind and never
// reaches the debug log, and the view may end before or after its container.
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "gui/osx_ProxySettingsViewController.h"
#include "tests/gui/saved_settings.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace kes::testing {
namespace {

class ProxySettingsViewTest : public ::testing::Test {
protected:
    ProxySettingsViewTest() {
        settings.set_defaults();
        settings.set_debug_log_level(0xFFFF);
    }
    ~ProxySettingsViewTest() override { settings.set_debug_log_level(1); }

    config& settings = config::instance();
};

TEST_F(ProxySettingsViewTest, OpensOnTheConfiguredValuesAndSavesWhatWasTypedWithoutAStatusText) {
    settings.set_proxy_server(L"cache.corp.test");
    settings.set_proxy_port(L"3128");
    settings.set_proxy_username(L"ana");
    settings.set_proxy_password_hash(L"Old-Secret-1");
    settings.set_status_message(L"Kestrel is running.", 0);

    osx_ProxySettingsViewController form(settings);
    EXPECT_EQ(form.view().objectName(), QStringLiteral("osx_ProxySettingsViewController"));
    for (const char* name : {"proxyServerField", "proxyPortField", "proxyUsernameField", "proxyPasswordField",
                             "saveProxySettingsButton"}) {
        EXPECT_NE(form.view().findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    }
    EXPECT_EQ(form.proxyServerField->text(), QStringLiteral("cache.corp.test"));
    EXPECT_EQ(form.proxyPortField->text(), QStringLiteral("3128"));
    EXPECT_EQ(form.proxyUsernameField->text(), QStringLiteral("ana"));
    EXPECT_EQ(form.proxyPasswordField->text(), QStringLiteral("Old-Secret-1"));
    EXPECT_EQ(form.proxyPasswordField->echoMode(), QLineEdit::Password);
    EXPECT_NE(form.proxyPasswordField->displayText(), form.proxyPasswordField->text());

    // Typed as a user types: a server with a non-ASCII name, a port that is no
    // number (stored as typed), a password with a quote and a colon.
    for (QLineEdit* field : {form.proxyServerField, form.proxyPortField, form.proxyUsernameField,
                             form.proxyPasswordField}) {
        field->clear();
    }
    QTest::keyClicks(form.proxyServerField, QStringLiteral("proxy.m"));
    form.proxyServerField->insert(QString::fromUtf8("\xC3\xBC"));  // typed through an input method
    QTest::keyClicks(form.proxyServerField, QStringLiteral("nchen.test"));
    QTest::keyClicks(form.proxyPortField, QStringLiteral("80 80"));
    QTest::keyClicks(form.proxyUsernameField, QStringLiteral("kesproxy"));
    QTest::keyClicks(form.proxyPasswordField, QStringLiteral("Pr\"oxy:Secret-2093"));
    QTest::mouseClick(form.saveProxySettingsButton, Qt::LeftButton);

    EXPECT_EQ(saved_proxy_settings(), "proxy.m\xC3\xBCnchen.test\n80 80\nkesproxy\nPr\"oxy:Secret-2093\n");
    EXPECT_EQ(file_mode(settings_file()), 0600);
    EXPECT_EQ(settings.get_proxy_port(), L"80 80");
    EXPECT_EQ(settings.get_status_message(), L"Kestrel is running.");
    EXPECT_FALSE(debug_log_holds("Pr\"oxy:Secret-2093"));
    EXPECT_FALSE(debug_log_holds("Old-Secret-1"));

    // Emptied fields are stored empty: no proxy any more.
    for (QLineEdit* field : {form.proxyServerField, form.proxyPortField, form.proxyUsernameField,
                             form.proxyPasswordField}) {
        field->clear();
    }
    form.saveProxySettings();
    EXPECT_EQ(saved_proxy_settings(), "\n\n\n\n");

    // A second form opens on what the first saved.
    settings.set_proxy_server(L"next.test");
    osx_ProxySettingsViewController later(settings);
    EXPECT_EQ(later.proxyServerField->text(), QStringLiteral("next.test"));
    EXPECT_EQ(later.proxyPortField->text(), QString());
}

TEST_F(ProxySettingsViewTest, TheViewMayEndWithItsContainerOrBeforeIt) {
    // The container ends first: the view goes with it, the form after it.
    auto form = std::make_unique<osx_ProxySettingsViewController>(settings);
    QPointer<QWidget> view = &form->view();
    {
        QWidget box;
        (new QVBoxLayout(&box))->addWidget(view);
        EXPECT_EQ(view->parentWidget(), &box);
    }
    EXPECT_TRUE(view.isNull());
    form.reset();

    // The form ends first: it takes its view out of the container.
    QWidget box;
    auto* column = new QVBoxLayout(&box);
    auto second = std::make_unique<osx_ProxySettingsViewController>(settings);
    QPointer<QWidget> adopted = &second->view();
    column->addWidget(adopted);
    second.reset();
    EXPECT_TRUE(adopted.isNull());
    EXPECT_EQ(box.findChild<QLineEdit*>(), nullptr);
}

}  // namespace
}  // namespace kes::testing
