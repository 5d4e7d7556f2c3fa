#include "gui/preference_panes.h"

#include "kes/build_config.h"
#include "gui/ImageStore.h"
#include "gui/named_widget.h"
#include "gui/osx_PreferencesWindow.h"
#include "gui/PreferencesStore.h"
#include "gui/proxy_fields.h"

#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace kes {
namespace {

constexpr int navigation_width = panes_width - pane_width;
constexpr int field_width = 180;

QLabel* subheadline(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    QFont smaller = label->font();
    smaller.setPointSizeF(smaller.pointSizeF() * 0.92);
    label->setFont(smaller);
    return label;
}

// A field that writes through to the store on every keystroke.
QLineEdit* bound_field(QWidget* parent, const char* name, const char* placeholder,
                       PreferencesStore::published<std::wstring>& property) {
    auto* field = named(new QLineEdit(parent), name);
    field->setPlaceholderText(QString::fromLatin1(placeholder));
    field->setFixedWidth(field_width);
    QObject::connect(field, &QLineEdit::textEdited, field,
                     [field, &property] { property.set(field_text(*field)); });
    return field;
}

// Shows the store's text without disturbing a user who is typing it.
void follow(QLineEdit* field, const std::wstring& value) {
    const QString shown = shown_text(value);
    if (field->text() != shown) field->setText(shown);
}

void show_status(QLabel* label, const PreferencesStore& store) {
    label->setText(shown_text(store.statusMessage.get()));
    label->setForegroundRole(store.statusColor);
}

void show_logo(QLabel* label, ImageStore& images, bool dark) {
    label->setPixmap(logoImage(images, dark));
    label->setAccessibleName(QString::fromLatin1(dark ? "kestrel_logo_white" : "kestrel_logo"));
}

QLabel* status_line(QWidget* parent) {
    auto* label = named(new QLabel(parent), "statusMessage");
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QLabel* logo_label(QWidget* parent) {
    auto* label = named(new QLabel(parent), "logo");
    label->setAlignment(Qt::AlignCenter);
    return label;
}

}  // namespace

QPixmap row_icon(const PreferencesOption& option, ImageStore& images, bool inverted) {
    QPixmap icon = option.image(images);
    if (!inverted || icon.isNull()) return icon;
    // Inverted on straight (not premultiplied) colour, so the transparent
    // surround stays transparent.
    QImage drawn = icon.toImage().convertToFormat(QImage::Format_ARGB32);
    drawn.invertPixels(QImage::InvertRgb);
    QPixmap shown = QPixmap::fromImage(drawn);
    shown.setDevicePixelRatio(icon.devicePixelRatio());
    return shown;
}

// ---- store_view

store_view::store_view(const panes_environment& environment, QWidget* parent)
    : QWidget(parent), environment_(environment) {}

bool store_view::dark() const { return palette().color(QPalette::Window).lightness() < 128; }

void store_view::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) refresh();
}

std::wstring proxy_summary(const std::wstring& server, const std::wstring& port) {
    return server.empty() ? L"none specified" : server + L":" + port;
}

// ---- General

GeneralPreferencesView::GeneralPreferencesView(const panes_environment& environment, QWidget* parent)
    : store_view(environment, parent) {
    setObjectName(QStringLiteral("GeneralPreferencesView"));
    setFixedWidth(pane_width);
    logo = logo_label(this);
    globalSettingsButton = named(new QPushButton(QStringLiteral("Global Settings"), this), "globalSettingsButton");
    versionText = named(new QLabel(this), "versionText");
    helpButton = named(new QPushButton(QStringLiteral("?"), this), "helpButton");
    helpButton->setToolTip(QStringLiteral("Help"));
    helpButton->setFixedWidth(helpButton->sizeHint().height() + 4);
    statusMessage = status_line(this);

    QObject::connect(globalSettingsButton, &QPushButton::clicked, this, [this] {
        environment_.open_page(L"https://" + std::wstring(build::default_web_host) + L"/settings");
    });
    QObject::connect(helpButton, &QPushButton::clicked, this, [this] {
        if (const auto controller = environment_.store.windowController.lock()) (*controller)->showHelpWindow();
    });

    auto* version_row = new QHBoxLayout;
    version_row->addStretch(1);
    version_row->addWidget(versionText);
    version_row->addWidget(helpButton);
    version_row->addStretch(1);
    auto* column = new QVBoxLayout(this);
    column->addWidget(logo);
    column->addStretch(1);
    column->addWidget(globalSettingsButton, 0, Qt::AlignHCenter);
    column->addLayout(version_row);
    column->addStretch(1);
    column->addWidget(statusMessage);
    refresh();
}

void GeneralPreferencesView::refresh() {
    show_logo(logo, environment_.images, dark());
    versionText->setText(shown_text(environment_.store.versionString));
    show_status(statusMessage, environment_.store);
}

// ---- Account

AccountPreferencesLoginView::AccountPreferencesLoginView(const panes_environment& environment, QWidget* parent)
    : store_view(environment, parent) {
    setObjectName(QStringLiteral("AccountPreferencesLoginView"));
    PreferencesStore& store = environment_.store;
    logo = logo_label(this);
    emailField = bound_field(this, "emailField", "you@example.com", store.email);
    passwordField = bound_field(this, "passwordField", "your password", store.password);
    passwordField->setEchoMode(QLineEdit::Password);
    signInButton = named(new QPushButton(this), "signInButton");
    statusMessage = status_line(this);
    // A press while a sign-in runs does nothing; Return in a field neither.
    QObject::connect(signInButton, &QPushButton::clicked, this, [this] {
        if (!environment_.store.signingIn.get()) environment_.store.signIn();
    });

    auto* form = new QGridLayout;
    form->addWidget(subheadline("Email:", this), 0, 0, Qt::AlignRight);
    form->addWidget(emailField, 0, 1);
    form->addWidget(subheadline("Password:", this), 1, 0, Qt::AlignRight);
    form->addWidget(passwordField, 1, 1);
    auto* centred = new QHBoxLayout;
    centred->addStretch(1);
    centred->addLayout(form);
    centred->addStretch(1);
    auto* column = new QVBoxLayout(this);
    column->addWidget(logo);
    column->addStretch(1);
    column->addLayout(centred);
    column->addSpacing(8);
    column->addWidget(signInButton, 0, Qt::AlignHCenter);
    column->addStretch(1);
    column->addWidget(statusMessage);
    refresh();
}

void AccountPreferencesLoginView::refresh() {
    const PreferencesStore& store = environment_.store;
    show_logo(logo, environment_.images, dark());
    follow(emailField, store.email.get());
    follow(passwordField, store.password.get());
    signInButton->setText(store.signingIn.get() ? QStringLiteral("Logging in...") : QStringLiteral("Login to Kestrel"));
    show_status(statusMessage, store);
}

AccountPreferencesView::AccountPreferencesView(const panes_environment& environment, QWidget* parent)
    : store_view(environment, parent) {
    setObjectName(QStringLiteral("AccountPreferencesView"));
    setFixedWidth(pane_width);
    signedInRow = named(new QWidget(this), "signedInRow");
    accountEmail = named(new QLabel(signedInRow), "accountEmail");
    accountEmail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* row = new QHBoxLayout(signedInRow);
    row->addStretch(1);
    row->addWidget(subheadline("Account:", signedInRow));
    row->addWidget(accountEmail);
    row->addStretch(1);
    loginView = new AccountPreferencesLoginView(environment, this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(signedInRow, 1);
    column->addWidget(loginView, 1);
    refresh();
}

void AccountPreferencesView::refresh() {
    const PreferencesStore& store = environment_.store;
    const bool signed_in = store.signedIn.get();
    signedInRow->setVisible(signed_in);
    loginView->setVisible(!signed_in);
    accountEmail->setText(store.email.get().empty() ? QStringLiteral("Signed in") : shown_text(store.email.get()));
    loginView->refresh();
}

// ---- Network

NetworkPreferencesProxyView::NetworkPreferencesProxyView(const panes_environment& environment, QWidget* parent)
    : store_view(environment, parent) {
    setObjectName(QStringLiteral("NetworkPreferencesProxyView"));
    PreferencesStore& store = environment_.store;
    proxyServer = bound_field(this, "proxyServer", "ex. proxy.example.com", store.proxyServer);
    proxyPort = bound_field(this, "proxyPort", "ex. 8080", store.proxyPort);
    proxyUser = bound_field(this, "proxyUser", "optional username", store.proxyUser);
    proxyPassword = bound_field(this, "proxyPassword", "optional password", store.proxyPassword);
    proxyPassword->setEchoMode(QLineEdit::Password);
    saveProxySettingsButton =
        named(new QPushButton(QStringLiteral("Save Proxy Settings"), this), "saveProxySettingsButton");
    QObject::connect(saveProxySettingsButton, &QPushButton::clicked, this,
                     [this] { environment_.store.saveProxySettings(); });

    auto* form = new QGridLayout;
    form->setVerticalSpacing(6);
    const char* labels[] = {"Server:", "Port:", "Username:", "Password:"};
    QLineEdit* fields[] = {proxyServer, proxyPort, proxyUser, proxyPassword};
    for (int i = 0; i < 4; ++i) {
        form->addWidget(subheadline(labels[i], this), i, 0, Qt::AlignRight);
        form->addWidget(fields[i], i, 1);
    }
    auto* centred = new QHBoxLayout;
    centred->addStretch(1);
    centred->addLayout(form);
    centred->addStretch(1);
    auto* column = new QVBoxLayout(this);
    column->addStretch(1);
    column->addLayout(centred);
    column->addSpacing(8);
    column->addWidget(saveProxySettingsButton, 0, Qt::AlignHCenter);
    column->addStretch(1);
    refresh();
}

void NetworkPreferencesProxyView::refresh() {
    const PreferencesStore& store = environment_.store;
    follow(proxyServer, store.proxyServer.get());
    follow(proxyPort, store.proxyPort.get());
    follow(proxyUser, store.proxyUser.get());
    follow(proxyPassword, store.proxyPassword.get());
}

NetworkPreferencesView::NetworkPreferencesView(const panes_environment& environment, QWidget* parent)
    : store_view(environment, parent) {
    setObjectName(QStringLiteral("NetworkPreferencesView"));
    setFixedWidth(pane_width);
    summaryRow = named(new QWidget(this), "summaryRow");
    proxySummary = named(new QLabel(summaryRow), "proxySummary");
    changeSettingsButton = named(new QPushButton(QStringLiteral("Change Settings"), summaryRow), "changeSettingsButton");
    QObject::connect(changeSettingsButton, &QPushButton::clicked, this, [this] {
        PreferencesStore& store = environment_.store;
        store.proxyFormVisible.set(!store.proxyFormVisible.get());
    });
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(subheadline("Proxy Server:", summaryRow));
    row->addWidget(proxySummary);
    row->addStretch(1);
    auto* summary = new QVBoxLayout(summaryRow);
    summary->addStretch(1);
    summary->addLayout(row);
    summary->addWidget(changeSettingsButton, 0, Qt::AlignHCenter);
    summary->addStretch(1);
    proxyView = new NetworkPreferencesProxyView(environment, this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(summaryRow, 1);
    column->addWidget(proxyView, 1);
    refresh();
}

void NetworkPreferencesView::refresh() {
    const PreferencesStore& store = environment_.store;
    const bool form = store.proxyFormVisible.get();
    summaryRow->setVisible(!form);
    proxyView->setVisible(form);
    proxySummary->setText(shown_text(proxy_summary(store.proxyServer.get(), store.proxyPort.get())));
    proxyView->refresh();
}

// ---- navigation

PreferencesNavigation::PreferencesNavigation(const panes_environment& environment, QWidget* parent)
    : store_view(environment, parent) {
    setObjectName(QStringLiteral("PreferencesNavigation"));
    list = named(new QListWidget(this), "PreferencesRows");
    list->setFixedWidth(navigation_width);
    list->setIconSize(QSize(20, 20));
    list->setFrameShape(QFrame::NoFrame);
    for (const PreferencesOption& option : PreferencesOption::all()) {
        auto* row = new QListWidgetItem(QString::fromStdString(option.raw_title()), list);
        row->setData(Qt::UserRole, option.id);
        row->setSizeHint(QSize(navigation_width, 30));
    }
    detailView = named(new QStackedWidget(this), "DetailView");
    general = new GeneralPreferencesView(environment, detailView);
    account = new AccountPreferencesView(environment, detailView);
    network = new NetworkPreferencesView(environment, detailView);
    detailView->addWidget(general);
    detailView->addWidget(account);
    detailView->addWidget(network);
    // A choice of the user's, by click (also of the row marked already) or by key.
    const auto chosen = [this](QListWidgetItem* row) {
        if (row) select(PreferencesOption::all().at(static_cast<std::size_t>(row->data(Qt::UserRole).toInt())));
    };
    QObject::connect(list, &QListWidget::itemClicked, this, chosen);
    QObject::connect(list, &QListWidget::currentItemChanged, this, chosen);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(list);
    row->addWidget(detailView);
    refresh();
}

PreferencesOption PreferencesNavigation::shownOption() const {
    if (selected_) return *selected_;
    const auto& options = PreferencesOption::all();
    return environment_.store.signedIn.get() ? options[0] : options[1];
}

void PreferencesNavigation::select(const PreferencesOption& option) {
    selected_ = option;
    refresh();
}

void PreferencesNavigation::refresh() {
    const bool inverted = dark();
    for (int i = 0; i < list->count(); ++i) {
        const PreferencesOption& option = PreferencesOption::all()[static_cast<std::size_t>(i)];
        list->item(i)->setIcon(QIcon(row_icon(option, environment_.images, inverted)));
    }
    const PreferencesOption shown = shownOption();
    QWidget* pages[] = {general, account, network};
    detailView->setCurrentWidget(pages[static_cast<int>(shown.title)]);
    {
        // The row of the pane shown is marked; only the user's own choice counts as one.
        const QSignalBlocker quiet(list);
        list->setCurrentRow(shown.id);
    }
    general->refresh();
    account->refresh();
    network->refresh();
}

// ---- root

SwiftPreferencesWindow::SwiftPreferencesWindow(const panes_environment& environment, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("SwiftPreferencesWindow"));
    setFixedSize(panes_width, panes_height);
    navigation = new PreferencesNavigation(environment, this);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(navigation);
    observation_ = environment.store.observe([this] { navigation->refresh(); });
}

}  // namespace kes
