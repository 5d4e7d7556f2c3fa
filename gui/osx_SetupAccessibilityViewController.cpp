#include "gui/osx_SetupAccessibilityViewController.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "app/osx_ui.h"
#include "gui/KestrelController.h"
#include "gui/osx_SetupHeaderViewController.h"
#include "gui/setup_layouts.h"
#include "platform/bundle.h"
#include "platform/qt/window_front.h"

#include <QLabel>
#include <QPushButton>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTimer>
#include <QWidget>

namespace kes {

osx_SetupAccessibilityViewController::osx_SetupAccessibilityViewController(setup_context context,
                                                                           const std::string& resource_dir)
    : context_(context), animation_path_(platform::bundle_resource_path(animation_image, "svg", resource_dir)) {
    setup_accessibility_layout made = build_setup_accessibility_layout();
    wayland_ = context_.controller.sessionKind() == platform::session_kind::wayland;
    if (wayland_) show_wayland_session_texts(made);
    view_ = made.view.release();
    macOSVersionContainerView = made.macOSVersionContainerView;
    headerContainerView = made.headerContainerView;
    gifImageView = made.gifImageView;
    permissionHintLabel = made.permissionHintLabel;
    openSystemPreferencesButton = made.openSystemPreferencesButton;
    QObject::connect(openSystemPreferencesButton, &QPushButton::clicked, view_, [this] {
        if (!wayland_) {
            openSystemPreferences();
        } else if (setupWC) {
            setupWC->showNextViewController();
        }
    });

    // `awakeFromNib`
    headerVC_ =
        std::make_unique<osx_SetupHeaderViewController>(osx_SetupHeaderViewController::permissions, resource_dir);
    headerVC_->placeIn(*headerContainerView);
}

osx_SetupAccessibilityViewController::~osx_SetupAccessibilityViewController() {
    stop_polling();
    headerVC_.reset();
    delete view_.data();
}

QSize osx_SetupAccessibilityViewController::pageSize() const { return setup_accessibility_layout::size; }

void osx_SetupAccessibilityViewController::willBeDisplayedBy(osx_SetupWindowController& wizard) {
    setupWC = &wizard;
    stop_polling();
    // No permission can come in a Wayland session: nothing to wait for.
    if (wayland_) return;
    accessibilityCheckTimer = new QTimer(view_);
    accessibilityCheckTimer->setObjectName(QStringLiteral("accessibilityCheckTimer"));
    accessibilityCheckTimer->setInterval(poll_interval_ms);
    QObject::connect(accessibilityCheckTimer, &QTimer::timeout, view_, [this] { refreshAccessibilityStatus(); });
    accessibilityCheckTimer->start();
    // The picture moves while the page shows.
    if (!animation_path_.empty()) gifImageView->load(QString::fromStdString(animation_path_));
}

void osx_SetupAccessibilityViewController::willBeHiddenBy(osx_SetupWindowController&) {
    setupWC = nullptr;
    stop_polling();
    // Nobody sees the picture any more: it stops moving.
    if (QSvgRenderer* picture = gifImageView->renderer()) picture->setFramesPerSecond(0);
}

void osx_SetupAccessibilityViewController::stop_polling() {
    if (!accessibilityCheckTimer) return;
    accessibilityCheckTimer->stop();
    // It may be the timer whose tick is running now.
    accessibilityCheckTimer->deleteLater();
    accessibilityCheckTimer = nullptr;
}

void osx_SetupAccessibilityViewController::refreshAccessibilityStatus() {
    if (!setupWC || !context_.controller.isProcessTrusted()) return;
    log(L"[osx_SetupAccessibilityViewController:refreshAccessibilityStatus] Kestrel can read the window in front.",
        log_level::ui);
    QWidget* window = view_->window();
    if (window != view_ && window->isVisible()) platform::bring_to_front(*window, platform::window_level::normal);
    setupWC->showNextViewController();
}

void osx_SetupAccessibilityViewController::openSystemPreferences() { openUsingXAppleURL(); }

void osx_SetupAccessibilityViewController::openUsingXAppleURL() {
    const auto& opener = context_.bridge.desktop().opener;
    const platform::open_result opened =
        opener ? opener->open_web_page(settings_address) : platform::open_result::failure("no way to open pages");
    if (opened.opened()) return;
    // This desktop has no settings page for it: the page says what does it.
    log(L"[osx_SetupAccessibilityViewController:openUsingXAppleURL] The desktop cannot open its settings: " +
            util::utf8_to_wstring_lossy(opened.reason),
        log_level::ui);
    permissionHintLabel->setText(QStringLiteral(
        "Your desktop has no setting for this: any application of your X11 session may read its windows. "
        "Kestrel goes on as soon as it can."));
    permissionHintLabel->show();
}

}  // namespace kes
