#pragma once
// The preference panes of the newer desktops: a list of the three panes
// (General, Account, Network) beside the chosen one, always 550 x 300. Every
// view reads and writes the one PreferencesStore and is brought up to date
// whenever a property of it changes; the buttons call the store, or the
// window controller through the store's weak reference. On a dark palette
// the white logo and inverted pane icons are shown.
//
// Main thread. The store and the image store outlive the views.

#include "gui/PreferencesOption.h"
#include "platform/notification_center.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QPixmap;
class QPushButton;
class QStackedWidget;

namespace kes {

class ImageStore;
class PreferencesStore;

// What the views work with (the environment the panes share).
struct panes_environment {
    PreferencesStore& store;
    ImageStore& images;
    // Opens a web page in the user's browser.
    std::function<void(const std::wstring& address)> open_page;
};

// The pane content's fixed size and the width of each pane.
inline constexpr int panes_width = 550;
inline constexpr int panes_height = 300;
inline constexpr int pane_width = 398;

// Widgets that follow the store, and the palette's lightness.
class store_view : public QWidget {
public:
    explicit store_view(const panes_environment& environment, QWidget* parent = nullptr);

    // Brings the view up to date with the store and the palette.
    virtual void refresh() = 0;

protected:
    bool dark() const;
    void changeEvent(QEvent* event) override;

    const panes_environment& environment_;
};

class GeneralPreferencesView final : public store_view {
public:
    explicit GeneralPreferencesView(const panes_environment& environment, QWidget* parent = nullptr);
    void refresh() override;

    QLabel* logo = nullptr;
    QPushButton* globalSettingsButton = nullptr;
    QLabel* versionText = nullptr;
    QPushButton* helpButton = nullptr;
    QLabel* statusMessage = nullptr;
};

class AccountPreferencesLoginView final : public store_view {
public:
    explicit AccountPreferencesLoginView(const panes_environment& environment, QWidget* parent = nullptr);
    void refresh() override;

    QLabel* logo = nullptr;
    QLineEdit* emailField = nullptr;
    QLineEdit* passwordField = nullptr;
    QPushButton* signInButton = nullptr;
    QLabel* statusMessage = nullptr;
};

class AccountPreferencesView final : public store_view {
public:
    explicit AccountPreferencesView(const panes_environment& environment, QWidget* parent = nullptr);
    void refresh() override;

    QWidget* signedInRow = nullptr;
    QLabel* accountEmail = nullptr;
    AccountPreferencesLoginView* loginView = nullptr;
};

class NetworkPreferencesProxyView final : public store_view {
public:
    explicit NetworkPreferencesProxyView(const panes_environment& environment, QWidget* parent = nullptr);
    void refresh() override;

    QLineEdit* proxyServer = nullptr;
    QLineEdit* proxyPort = nullptr;
    QLineEdit* proxyUser = nullptr;
    QLineEdit* proxyPassword = nullptr;
    QPushButton* saveProxySettingsButton = nullptr;
};

class NetworkPreferencesView final : public store_view {
public:
    explicit NetworkPreferencesView(const panes_environment& environment, QWidget* parent = nullptr);
    void refresh() override;

    QWidget* summaryRow = nullptr;
    QLabel* proxySummary = nullptr;
    QPushButton* changeSettingsButton = nullptr;
    NetworkPreferencesProxyView* proxyView = nullptr;
};

// The icon of a pane's row, colour-inverted on a dark palette.
QPixmap row_icon(const PreferencesOption& option, ImageStore& images, bool inverted);

// "none specified" without a server, else "server:port" (an empty port
// leaves the colon).
std::wstring proxy_summary(const std::wstring& server, const std::wstring& port);

// The list of panes beside the chosen one. Before the user chooses, the
// Account pane shows while not signed in and the General pane once signed in.
class PreferencesNavigation final : public store_view {
public:
    explicit PreferencesNavigation(const panes_environment& environment, QWidget* parent = nullptr);
    void refresh() override;

    // The pane shown now.
    PreferencesOption shownOption() const;
    void select(const PreferencesOption& option);

    QListWidget* list = nullptr;
    QStackedWidget* detailView = nullptr;
    GeneralPreferencesView* general = nullptr;
    AccountPreferencesView* account = nullptr;
    NetworkPreferencesView* network = nullptr;

private:
    std::optional<PreferencesOption> selected_;
};

// The root view: the navigation at its fixed size of 550 x 300.
class SwiftPreferencesWindow final : public QWidget {
public:
    explicit SwiftPreferencesWindow(const panes_environment& environment, QWidget* parent = nullptr);

    PreferencesNavigation* navigation = nullptr;

private:
    platform::notification_center::token observation_;
};

}  // namespace kes
