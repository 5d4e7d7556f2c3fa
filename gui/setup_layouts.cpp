#include "gui/setup_layouts.h"

#include "gui/layout_parts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QSvgWidget>
#include <QVBoxLayout>
#include <QWidget>

namespace kes {

const char* automation_explanation_text(platform::session_kind session) {
    if (session == platform::session_kind::wayland) {
        // The page before told the user that native Wayland windows stay
        // unread: this one must not promise the whole session.
        return "Important: In this Wayland session Kestrel reads only the applications that run on X11 through "
               "Xwayland: for those it records the application in front and the title of its window, and for "
               "browsers of the Firefox family with Kestrel's extension the page you are on. The windows of native "
               "Wayland applications cannot be read. Nothing on this desktop asks you to allow it: there is no "
               "permission to give.";
    }
    return "Important: Kestrel records the application in front and the title of its window, which it reads from "
           "your X11 session, and for browsers of the Firefox family with Kestrel's extension the page you are on. "
           "Nothing on this desktop asks you to allow it: there is no permission to give.";
}

namespace {

std::unique_ptr<QWidget> page_view(const char* name, QSize size) {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(QString::fromLatin1(name));
    view->resize(size);
    return view;
}

// The strip at the top of a page that holds its header.
QWidget* header_container(QWidget* page) {
    auto* container = named(new QWidget(page), "headerContainerView");
    auto* fill = new QVBoxLayout(container);
    fill->setContentsMargins(0, 0, 0, 0);
    return container;
}

// A page's column: the header strip on top, then the page's own body with
// its margins, which the caller fills. The header goes in first.
QVBoxLayout* page_body(QWidget* page, QWidget* header, int spacing) {
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(header);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(40, 14, 40, 16);
    body->setSpacing(spacing);
    column->addLayout(body, 1);
    return body;
}

// The line between two steps, through the pictures' middle.
QWidget* step_joint(QWidget* header) {
    auto* line = new QWidget(header);
    line->setFixedHeight(2);
    line->setMinimumWidth(40);
    line->setStyleSheet(QStringLiteral("background: palette(mid);"));
    return line;
}

}  // namespace

popover_setup_layout build_popover_setup_layout() {
    popover_setup_layout made;
    made.view = std::make_unique<QWidget>();
    made.view->setObjectName(QString::fromLatin1(popover_setup_layout::layout_name));
    QWidget* view = made.view.get();
    auto* title = title_label(view, "popoverTitleLabel", QStringLiteral("Welcome to Kestrel!"));
    made.welcomeLabel = text_label(view, "welcomeLabel",
                                   QStringLiteral("Kestrel is already recording how you spend your time at the "
                                                  "computer. Sign in to send it to your account: what was recorded "
                                                  "so far goes with it. It takes a minute."));
    made.setupButton = push_button(view, "setupButton", QStringLiteral("Set Up Kestrel..."));
    made.setupButton->setDefault(true);
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(14, 12, 14, 12);
    column->addWidget(title);
    column->addWidget(made.welcomeLabel);
    column->addSpacing(4);
    column->addWidget(made.setupButton, 0, Qt::AlignRight);
    view->setFixedWidth(300);
    return made;
}

popover_welcome_layout build_popover_welcome_layout() {
    popover_welcome_layout made;
    made.view = std::make_unique<QWidget>();
    made.view->setObjectName(QString::fromLatin1(popover_welcome_layout::layout_name));
    made.welcomeLabel = text_label(made.view.get(), "welcomeLabel",
                                   QStringLiteral("Kestrel is running. Your reports are on the dashboard."));
    auto* column = new QVBoxLayout(made.view.get());
    column->addWidget(made.welcomeLabel);
    made.view->setFixedWidth(300);
    return made;
}

setup_window_layout build_setup_window_layout(std::unique_ptr<QWidget> window) {
    setup_window_layout made;
    made.window = std::move(window);
    made.window->setObjectName(QString::fromLatin1(setup_window_layout::layout_name));
    made.window->setWindowTitle(QStringLiteral("Kestrel Setup"));
    made.window->setAttribute(Qt::WA_DeleteOnClose, false);
    made.containerView = named(new QWidget(made.window.get()), "containerView");
    auto* fill = new QVBoxLayout(made.window.get());
    fill->setContentsMargins(0, 0, 0, 0);
    // The wizard sizes its window itself, page by page: the pages' own
    // minimum sizes must not fight the animation.
    fill->setSizeConstraint(QLayout::SetNoConstraint);
    fill->addWidget(made.containerView);
    auto* page = new QVBoxLayout(made.containerView);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSizeConstraint(QLayout::SetNoConstraint);
    return made;
}

setup_header_layout build_setup_header_layout() {
    setup_header_layout made;
    made.view = std::make_unique<QWidget>();
    made.view->setObjectName(QString::fromLatin1(setup_header_layout::layout_name));
    QWidget* header = made.view.get();
    const auto picture = [header](const char* name) {
        auto* image = named(new QLabel(header), name);
        image->setFixedSize(36, 36);
        image->setAlignment(Qt::AlignCenter);
        return image;
    };
    const auto caption = [header](const char* name, const QString& text) {
        QLabel* label = text_label(header, name, text);
        label->setWordWrap(false);
        label->setAlignment(Qt::AlignHCenter);
        return label;
    };
    made.loginImageView = picture("loginImageView");
    made.accessibilityImageView = picture("accessibilityImageView");
    made.doneImageView = picture("doneImageView");
    made.loginLabel = caption("loginLabel", QStringLiteral("Sign In"));
    made.accessibilityLabel = caption("accessibilityLabel", QStringLiteral("Permissions"));
    made.doneLabel = caption("doneLabel", QStringLiteral("Done"));

    // Pictures in the first row, joined by lines; their names beneath.
    auto* grid = new QGridLayout(header);
    grid->setContentsMargins(28, 16, 28, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    QLabel* const pictures[] = {made.loginImageView, made.accessibilityImageView, made.doneImageView};
    QLabel* const captions[] = {made.loginLabel, made.accessibilityLabel, made.doneLabel};
    for (int step = 0; step < 3; ++step) {
        grid->addWidget(pictures[step], 0, 2 * step, Qt::AlignHCenter);
        grid->addWidget(captions[step], 1, 2 * step, Qt::AlignHCenter);
        grid->setColumnMinimumWidth(2 * step, 96);
        if (step < 2) {
            grid->addWidget(step_joint(header), 0, 2 * step + 1, Qt::AlignVCenter);
            grid->setColumnStretch(2 * step + 1, 1);
        }
    }
    return made;
}

setup_login_layout build_setup_login_layout() {
    setup_login_layout made;
    made.view = page_view(setup_login_layout::layout_name,
                          QSize(setup_login_layout::width, setup_login_layout::height_without_proxy));
    QWidget* page = made.view.get();
    made.headerContainerView = header_container(page);

    auto* title = title_label(page, "loginTitleLabel", QStringLiteral("Sign in to Kestrel"));
    auto* intro = text_label(page, "loginIntroLabel",
                             QStringLiteral("Use the e-mail address and password you signed up with on the "
                                            "Kestrel website."));
    made.emailField = named(new QLineEdit(page), "emailField");
    made.emailField->setPlaceholderText(QStringLiteral("E-mail address"));
    made.passwordField = named(new QLineEdit(page), "passwordField");
    made.passwordField->setPlaceholderText(QStringLiteral("Password"));
    made.passwordField->setEchoMode(QLineEdit::Password);
    made.statusLabel = text_label(page, "statusLabel");
    made.statusLabel->setMinimumHeight(made.statusLabel->fontMetrics().lineSpacing() * 2);
    made.statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    made.spinner = named(new QProgressBar(page), "spinner");
    made.spinner->setRange(0, 0);  // busy, with no end to show
    made.spinner->setTextVisible(false);
    made.spinner->setFixedSize(120, 10);
    made.spinner->hide();
    made.activateButton = push_button(page, "activateButton", QStringLiteral("Sign In"));
    made.activateButton->setDefault(true);
    auto* actions = new QHBoxLayout;
    actions->addStretch(1);
    actions->addWidget(made.spinner, 0, Qt::AlignVCenter);
    actions->addWidget(made.activateButton);

    made.proxyToggleButton = push_button(page, "proxyToggleButton", QStringLiteral("► Proxy settings (advanced)"));
    made.proxyToggleButton->setFlat(true);
    made.proxyToggleButton->setStyleSheet(QStringLiteral("text-align: left; padding: 2px 0px;"));
    made.proxyBox = named(new QGroupBox(page), "proxyBox");
    auto* proxy = new QVBoxLayout(made.proxyBox);
    proxy->setContentsMargins(8, 4, 8, 4);
    made.proxyBox->hide();

    QVBoxLayout* body = page_body(page, made.headerContainerView, 8);
    body->addWidget(title);
    body->addWidget(intro);
    body->addSpacing(6);
    body->addWidget(made.emailField);
    body->addWidget(made.passwordField);
    body->addWidget(made.statusLabel);
    body->addLayout(actions);
    body->addStretch(1);
    body->addWidget(made.proxyToggleButton, 0, Qt::AlignLeft);
    body->addWidget(made.proxyBox);
    return made;
}

setup_accessibility_layout build_setup_accessibility_layout() {
    setup_accessibility_layout made;
    made.view = page_view(setup_accessibility_layout::layout_name, setup_accessibility_layout::size);
    QWidget* page = made.view.get();
    made.headerContainerView = header_container(page);

    made.titleLabel = title_label(page, "accessibilityTitleLabel", QStringLiteral("Let Kestrel see the window in front"));
    made.introLabel = text_label(page, "accessibilityIntroLabel",
                             QStringLiteral("Kestrel records which application is in front and the title of its "
                                            "window. For that it needs to read the windows of your desktop."));
    made.gifImageView = named(new QSvgWidget(page), "gifImageView");
    made.gifImageView->setFixedSize(240, 120);

    made.macOSVersionContainerView = named(new QWidget(page), "macOSVersionContainerView");
    made.howLabel = text_label(made.macOSVersionContainerView, "accessibilityHowLabel",
                           QStringLiteral("On this desktop Kestrel reads them from the X server of your session. "
                                          "If Kestrel cannot, log in to a desktop session that runs on X11 and "
                                          "start Kestrel there; this page goes on by itself as soon as Kestrel can "
                                          "see the window in front."));
    auto* fill = new QVBoxLayout(made.macOSVersionContainerView);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(made.howLabel);

    made.permissionHintLabel = text_label(page, "permissionHintLabel");
    made.permissionHintLabel->hide();
    made.openSystemPreferencesButton =
        push_button(page, "openSystemPreferencesButton", QStringLiteral("How Do I Allow This?"));

    QVBoxLayout* body = page_body(page, made.headerContainerView, 10);
    body->addWidget(made.titleLabel);
    body->addWidget(made.introLabel);
    body->addWidget(made.gifImageView, 0, Qt::AlignHCenter);
    body->addWidget(made.macOSVersionContainerView);
    body->addWidget(made.permissionHintLabel);
    body->addStretch(1);
    body->addWidget(made.openSystemPreferencesButton, 0, Qt::AlignRight);
    return made;
}

void show_wayland_session_texts(setup_accessibility_layout& page) {
    page.titleLabel->setText(QStringLiteral("Kestrel cannot see every window here"));
    page.introLabel->setText(QStringLiteral(
        "You are logged in to a Wayland session. Kestrel cannot read the windows of native Wayland applications: "
        "while one of them is in front, Kestrel cannot tell what you work on. Applications that run on X11 "
        "(through Xwayland) are still recorded."));
    page.howLabel->setText(QStringLiteral(
        "For full recording, log out and log in to an X11 session: on the login screen, choose the session marked "
        "\"on Xorg\" or \"(X11)\" (behind the gear or session button), then start Kestrel there."));
    // The picture shows a permission being given; there is none to give here.
    page.gifImageView->hide();
    page.openSystemPreferencesButton->setText(QStringLiteral("Continue"));
    page.openSystemPreferencesButton->setDefault(true);
}

setup_automation_layout build_setup_automation_layout() {
    setup_automation_layout made;
    made.view = page_view(setup_automation_layout::layout_name, setup_automation_layout::size);
    QWidget* page = made.view.get();
    made.headerContainerView = header_container(page);
    made.automationMessagingContainer = named(new QWidget(page), "automationMessagingContainer");
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(made.headerContainerView);
    column->addWidget(made.automationMessagingContainer, 1);
    return made;
}

setup_done_layout build_setup_done_layout() {
    setup_done_layout made;
    made.view = page_view(setup_done_layout::layout_name, setup_done_layout::size);
    QWidget* page = made.view.get();
    made.headerContainerView = header_container(page);
    auto* title = title_label(page, "doneTitleLabel", QStringLiteral("You're all set!"));
    made.doneTextLabel = text_label(page, "doneTextLabel",
                                    QStringLiteral("Kestrel now records how you spend your time. It lives in the "
                                                   "status area of your desktop, or, where your desktop has none, "
                                                   "in your applications: starting Kestrel again opens its menu, "
                                                   "with your reports, pausing, focus sessions and preferences."));
    made.closeButton = push_button(page, "closeButton", QStringLiteral("Finish"));
    made.closeButton->setDefault(true);
    QVBoxLayout* body = page_body(page, made.headerContainerView, 10);
    body->addWidget(title);
    body->addWidget(made.doneTextLabel);
    body->addStretch(1);
    body->addWidget(made.closeButton, 0, Qt::AlignRight);
    return made;
}

automation_messaging_layout build_automation_messaging_layout(platform::session_kind session) {
    automation_messaging_layout made;
    made.view = std::make_unique<QWidget>();
    made.view->setObjectName(QString::fromLatin1(automation_messaging_layout::layout_name));
    QWidget* view = made.view.get();

    made.titleLabel = title_label(view, "titleLabel", QStringLiteral("Kestrel and your browsers"));
    made.titleLabel->setFixedHeight(automation_messaging_layout::title_strip_height);
    made.titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    made.alertImageView = named(new QLabel(view), "alertImageView");
    const int size = view->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    made.alertImageView->setPixmap(view->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(size, size));
    made.alertImageView->setAlignment(Qt::AlignCenter);
    made.alertImageView->setFixedSize(size + 16, size + 16);
    made.importantLabel = named(new QLabel(view), "importantLabel");
    made.importantLabel->setTextFormat(Qt::PlainText);
    made.importantLabel->setText(QString::fromUtf8(automation_explanation_text(session)));
    made.importantLabel->setWordWrap(true);
    made.importantLabel->setMinimumWidth(360);
    made.importantLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    made.acknowledgeButton = push_button(view, "acknowledgeButton", QStringLiteral("OK, Got It"));
    made.acknowledgeButton->setDefault(true);

    auto* texts = new QHBoxLayout;
    texts->setSpacing(14);
    texts->addWidget(made.alertImageView, 0, Qt::AlignTop);
    texts->addWidget(made.importantLabel, 1);
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(40, 0, 40, 16);
    column->addWidget(made.titleLabel);
    column->addLayout(texts);
    column->addStretch(1);
    column->addWidget(made.acknowledgeButton, 0, Qt::AlignRight);
    return made;
}

}  // namespace kes
