#include "gui/preferences_layout.h"

#include "gui/named_widget.h"
#include "gui/proxy_fields.h"

#include <QFont>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <QWidget>

namespace kes {
namespace {

QPushButton* button(QWidget* parent, const char* name, const QString& title) {
    return named(new QPushButton(title, parent), name);
}

void build_heading(preferences_window_layout& out, QWidget* parent) {
    out.headingView = named(new QWidget(parent), "headingView");
    out.headingText = named(new QLabel(out.headingView), "headingText");
    QFont bold = out.headingText->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    out.headingText->setFont(bold);
    out.headingText->setWordWrap(true);
    out.subDescriptionText = named(new QLabel(out.headingView), "subDescriptionText");
    out.subDescriptionText->setWordWrap(true);
    auto* column = new QVBoxLayout(out.headingView);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(out.headingText);
    column->addWidget(out.subDescriptionText);
}

void build_authentication_view(preferences_window_layout& out, QWidget* parent) {
    out.authenticationView = named(new QWidget(parent), "authenticationView");
    out.emailField = named(new QLineEdit(out.authenticationView), "emailField");
    out.emailField->setPlaceholderText(QStringLiteral("you@example.com"));
    out.passwordField = named(new QLineEdit(out.authenticationView), "passwordField");
    out.passwordField->setEchoMode(QLineEdit::Password);
    out.passwordField->setPlaceholderText(QStringLiteral("your password"));
    out.lostPasswordLink = named(new QLabel(QStringLiteral("<a href=\"lost\">Forgot your password?</a>"),
                                            out.authenticationView),
                                 "lostPasswordLink");
    auto* form = new QGridLayout(out.authenticationView);
    form->setContentsMargins(0, 0, 0, 0);
    form->setVerticalSpacing(4);
    form->addWidget(new QLabel(QStringLiteral("Email:"), out.authenticationView), 0, 0, Qt::AlignRight);
    form->addWidget(out.emailField, 0, 1);
    form->addWidget(new QLabel(QStringLiteral("Password:"), out.authenticationView), 1, 0, Qt::AlignRight);
    form->addWidget(out.passwordField, 1, 1);
    form->addWidget(out.lostPasswordLink, 1, 2);
    form->setColumnStretch(1, 1);
}

void build_settings_view(preferences_window_layout& out, QWidget* parent) {
    out.settingsView = named(new QWidget(parent), "settingsView");
    out.dashboardButton = button(out.settingsView, "dashboardButton", QStringLiteral("Go to Dashboard"));
    out.settingsButton = button(out.settingsView, "settingsButton", QStringLiteral("Settings"));
    out.releaseNotesButton = button(out.settingsView, "releaseNotesButton", QStringLiteral("Release Notes"));
    out.troubleshootingButton = button(out.settingsView, "troubleshootingButton", QStringLiteral("Troubleshooting"));
    out.helpButton = button(out.settingsView, "helpButton", QStringLiteral("?"));
    out.helpButton->setToolTip(QStringLiteral("Help"));
    out.helpButton->setFixedWidth(out.helpButton->sizeHint().height() + 4);
    auto* row = new QHBoxLayout(out.settingsView);
    row->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* link : {out.dashboardButton, out.settingsButton, out.releaseNotesButton,
                              out.troubleshootingButton}) {
        row->addWidget(link);
    }
    row->addStretch(1);
    row->addWidget(out.helpButton);
}

void build_proxy_box(preferences_window_layout& out, QWidget* parent) {
    out.proxyBox = named(new QGroupBox(parent), "proxyBox");
    const proxy_fields fields =
        make_proxy_fields(*out.proxyBox, {"proxyServer", "proxyPort", "proxyUsername", "proxyPassword"});
    out.proxyServer = fields.server;
    out.proxyPort = fields.port;
    out.proxyUsername = fields.username;
    out.proxyPassword = fields.password;
    for (QLineEdit* field : {fields.server, fields.port, fields.username, fields.password}) {
        field->setMinimumWidth(150);
    }
    out.saveProxySettingsButton = button(out.proxyBox, "saveProxySettingsButton", QStringLiteral("Save"));
    // Two pairs a row, to fit the panel's height.
    auto* grid = new QGridLayout(out.proxyBox);
    grid->setVerticalSpacing(4);
    const auto label = [&](const char* text) { return new QLabel(QString::fromLatin1(text), out.proxyBox); };
    grid->addWidget(label("Server:"), 0, 0, Qt::AlignRight);
    grid->addWidget(out.proxyServer, 0, 1);
    grid->addWidget(label("Port:"), 0, 2, Qt::AlignRight);
    grid->addWidget(out.proxyPort, 0, 3);
    grid->addWidget(label("Username:"), 1, 0, Qt::AlignRight);
    grid->addWidget(out.proxyUsername, 1, 1);
    grid->addWidget(label("Password:"), 1, 2, Qt::AlignRight);
    grid->addWidget(out.proxyPassword, 1, 3);
    grid->addWidget(out.saveProxySettingsButton, 2, 3, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
}

}  // namespace

preferences_window_layout build_preferences_window() {
    preferences_window_layout out;
    out.window = std::make_unique<QWidget>(nullptr, Qt::Window);
    QWidget* window = out.window.get();
    window->setObjectName(QString::fromLatin1(preferences_window_layout::layout_name));
    window->setWindowTitle(QStringLiteral("Kestrel Preferences"));

    build_heading(out, window);

    out.actionContainerView = named(new QWidget(window), "actionContainerView");
    auto* views = new QStackedLayout(out.actionContainerView);
    build_authentication_view(out, out.actionContainerView);
    build_settings_view(out, out.actionContainerView);
    views->addWidget(out.authenticationView);
    views->addWidget(out.settingsView);

    out.verifyStatusMessage = named(new QLabel(window), "verifyStatusMessage");
    out.verifyStatusMessage->setWordWrap(true);
    out.verifyStatusMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    out.spinner = named(new QProgressBar(window), "spinner");
    out.spinner->setRange(0, 0);  // busy, no progress to tell
    out.spinner->setTextVisible(false);
    out.spinner->setFixedSize(80, 10);
    out.spinner->hide();
    auto* status_row = new QHBoxLayout;
    status_row->addWidget(out.verifyStatusMessage, 1);
    status_row->addWidget(out.spinner, 0, Qt::AlignVCenter);

    out.proxyToggleButton = button(window, "proxyToggleButton", QString::fromUtf8("\u25BA Proxy (Advanced)"));
    out.proxyToggleButton->setFlat(true);
    out.proxyToggleButton->setCursor(Qt::PointingHandCursor);
    build_proxy_box(out, window);
    out.proxyBox->hide();

    out.versionLabel = named(new QLabel(window), "versionLabel");
    out.versionLabel->setEnabled(false);  // drawn as secondary text
    out.closeButton = button(window, "closeButton", QStringLiteral("Close"));
    out.activateButton = button(window, "activateButton", QStringLiteral("Activate"));
    out.activateButton->setDefault(true);
    auto* bottom_row = new QHBoxLayout;
    bottom_row->addWidget(out.versionLabel);
    bottom_row->addStretch(1);
    bottom_row->addWidget(out.closeButton);
    bottom_row->addWidget(out.activateButton);

    auto* column = new QVBoxLayout(window);
    column->setContentsMargins(16, 12, 16, 12);
    column->setSpacing(6);
    column->addWidget(out.headingView);
    column->addWidget(out.actionContainerView);
    column->addLayout(status_row);
    column->addWidget(out.proxyToggleButton, 0, Qt::AlignLeft);
    column->addWidget(out.proxyBox);
    column->addStretch(1);
    column->addLayout(bottom_row);
    window->setFixedSize(preferences_window_layout::width, preferences_window_layout::closed_height);
    return out;
}

}  // namespace kes
