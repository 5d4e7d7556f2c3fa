#include "gui/osx_SetupLoginViewController.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "app/osx_ui.h"
#include "gui/KestrelController.h"
#include "gui/osx_ProxySettingsViewController.h"
#include "gui/osx_SetupHeaderViewController.h"
#include "gui/setup_layouts.h"
#include "platform/main_queue.h"
#include "platform/qt/window_front.h"

#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

namespace kes {

osx_SetupLoginViewController::osx_SetupLoginViewController(setup_context context, const std::string& resource_dir)
    : context_(context), self_(std::make_shared<osx_SetupLoginViewController*>(this)) {
    setup_login_layout made = build_setup_login_layout();
    view_ = made.view.release();
    spinner = made.spinner;
    activateButton = made.activateButton;
    emailField = made.emailField;
    passwordField = made.passwordField;
    proxyToggleButton = made.proxyToggleButton;
    proxyBox = made.proxyBox;
    headerContainerView = made.headerContainerView;
    statusLabel = made.statusLabel;

    QObject::connect(activateButton, &QPushButton::clicked, view_, [this] { activate(); });
    QObject::connect(emailField, &QLineEdit::returnPressed, view_, [this] { activate(); });
    QObject::connect(passwordField, &QLineEdit::returnPressed, view_, [this] { activate(); });
    QObject::connect(proxyToggleButton, &QPushButton::clicked, view_, [this] { toggleProxySettings(); });

    // `awakeFromNib`
    headerVC_ = std::make_unique<osx_SetupHeaderViewController>(osx_SetupHeaderViewController::sign_in, resource_dir);
    headerVC_->placeIn(*headerContainerView);
    status_observer_ = context_.bridge.notifications().add_observer(
        activation_status_notification,
        [this](const platform::user_info& info) { didReceiveStatusMessageNotification(info); });
}

osx_SetupLoginViewController::~osx_SetupLoginViewController() {
    status_observer_.reset();
    proxySettingsVC_.reset();
    headerVC_.reset();
    delete view_.data();
}

QSize osx_SetupLoginViewController::pageSize() const { return {setup_login_layout::width, page_height_}; }

void osx_SetupLoginViewController::willBeDisplayedBy(osx_SetupWindowController& wizard) {
    setupWC = &wizard;
    if (!status_observer_.active()) {
        status_observer_ = context_.bridge.notifications().add_observer(
            activation_status_notification,
            [this](const platform::user_info& info) { didReceiveStatusMessageNotification(info); });
    }
    emailField->setFocus();
    setProxySettingsVisible(false);
    // A fresh form, filled from the configuration as it is now.
    proxySettingsVC_ = std::make_unique<osx_ProxySettingsViewController>();
    QWidget& proxy_view = proxySettingsVC_->view();
    proxy_view.setParent(proxyBox);
    proxyBox->layout()->addWidget(&proxy_view);
    proxy_view.show();
}

void osx_SetupLoginViewController::willBeHiddenBy(osx_SetupWindowController&) {
    setupWC = nullptr;
    status_observer_.reset();
}

void osx_SetupLoginViewController::didReceiveStatusMessageNotification(const platform::user_info& info) {
    const auto text = info.find(activation_status_key);
    statusLabel->setText(text == info.end() ? QString() : QString::fromStdString(text->second));
}

void osx_SetupLoginViewController::activate() {
    if (context_.bridge.is_signing_in()) {
        log(L"[osx_SetupLoginViewController:activate] A sign-in is running; the click is ignored.", log_level::ui);
        return;
    }
    context_.controller.setUsername(emailField->text().toStdWString());
    context_.controller.setPassword(passwordField->text().toStdWString());
    (void)performActivate();
}

bool osx_SetupLoginViewController::performActivate() {
    std::weak_ptr<osx_SetupLoginViewController*> alive = self_;
    platform::main_queue* queue = &context_.bridge.queue();
    const bool started = context_.bridge.start_sign_in([alive, queue](ui::sign_in_result result) {
        // On the sign-in thread: nothing here may wait for the main thread.
        queue->async([alive, result] {
            if (const auto page = alive.lock()) (*page)->didFinishActivating(result);
        });
    });
    if (!started) {
        log(L"[osx_SetupLoginViewController:performActivate] No sign-in was started: one runs already.",
            log_level::ui);
        return false;
    }
    spinner->show();
    activateButton->hide();
    log(L"[KestrelController]activate: " + util::address_text(this), log_level::info);
    return true;
}

void osx_SetupLoginViewController::didFinishActivating(ui::sign_in_result) {
    spinner->hide();
    activateButton->show();
    // What was typed served this sign-in only.
    passwordField->clear();
    if (!context_.bridge.is_signing_in()) context_.controller.setPassword(L"");
    QWidget* window = view_->window();
    if (window != view_ && window->isVisible()) platform::bring_to_front(*window, platform::window_level::normal);
    if (setupWC && context_.controller.isActivated()) setupWC->showNextViewController();
}

void osx_SetupLoginViewController::toggleProxySettings() { setProxySettingsVisible(!proxySettingsVisible); }

void osx_SetupLoginViewController::setProxySettingsVisible(bool visible) {
    proxySettingsVisible = visible;
    proxyToggleButton->setText(QString::fromUtf8(visible ? proxy_title_shown : proxy_title_hidden));
    proxyBox->setVisible(visible);
    resizeWindowBasedOnHeight(visible ? height_with_proxy : height_without_proxy, true);
}

void osx_SetupLoginViewController::resizeWindowBasedOnHeight(int height, bool animated) {
    page_height_ = height;
    if (!setupWC) return;
    const QRect frame = setupWC->windowFrame();
    setupWC->setWindowFrame(QRect(frame.x(), frame.y(), frame.width(), height), animated);
}

}  // namespace kes
