#include "gui/osx_SetupDoneViewController.h"

#include "core/ui/web_links.h"
#include "app/osx_ui.h"
#include "gui/osx_SetupHeaderViewController.h"
#include "gui/setup_layouts.h"

#include <QPushButton>
#include <QWidget>

namespace kes {

osx_SetupDoneViewController::osx_SetupDoneViewController(setup_context context, const std::string& resource_dir)
    : context_(context) {
    setup_done_layout made = build_setup_done_layout();
    view_ = made.view.release();
    headerContainerView = made.headerContainerView;
    closeButton = made.closeButton;
    QObject::connect(closeButton, &QPushButton::clicked, view_, [this] { closeWindow(); });

    // `awakeFromNib`
    headerVC_ = std::make_unique<osx_SetupHeaderViewController>(osx_SetupHeaderViewController::done, resource_dir);
    headerVC_->placeIn(*headerContainerView);
}

osx_SetupDoneViewController::~osx_SetupDoneViewController() {
    headerVC_.reset();
    delete view_.data();
}

QSize osx_SetupDoneViewController::pageSize() const { return setup_done_layout::size; }

void osx_SetupDoneViewController::closeWindow() {
    // The wizard may be gone with the page's window once this returns.
    const int action = urlAction;
    ui& target = context_.bridge;
    if (setupWC) setupWC->showNextViewController();
    if (action == signed_in_here) {
        open_setup_done_page(target);
    } else if (action == signed_in_before) {
        open_dashboard_page(target);
    }
}

}  // namespace kes
