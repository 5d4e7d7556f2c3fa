#include "gui/osx_SetupHeaderViewController.h"

#include "gui/bundle_images.h"
#include "gui/setup_layouts.h"

#include <QLabel>
#include <QLayout>
#include <QPalette>
#include <QPixmap>
#include <QWidget>

namespace kes {
namespace {

constexpr int step_image_size = 32;

QColor text_colour(const QWidget& widget, bool current) {
    const QPalette& palette = widget.palette();
    return current ? palette.color(QPalette::Active, QPalette::WindowText)
                   : palette.color(QPalette::Disabled, QPalette::WindowText);
}

void set_text_colour(QLabel& label, const QColor& colour) {
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, colour);
    label.setPalette(palette);
}

}  // namespace

osx_SetupHeaderViewController::osx_SetupHeaderViewController(int state, std::string resource_dir)
    : headerState(state), resource_dir_(std::move(resource_dir)) {
    setup_header_layout made = build_setup_header_layout();
    view_ = made.view.release();
    loginImageView = made.loginImageView;
    loginLabel = made.loginLabel;
    accessibilityImageView = made.accessibilityImageView;
    accessibilityLabel = made.accessibilityLabel;
    doneImageView = made.doneImageView;
    doneLabel = made.doneLabel;
    awakeFromNib();
}

osx_SetupHeaderViewController::~osx_SetupHeaderViewController() { delete view_.data(); }

void osx_SetupHeaderViewController::placeIn(QWidget& container) {
    view_->setParent(&container);
    if (QLayout* fill = container.layout()) fill->addWidget(view_);
    view_->show();
}

void osx_SetupHeaderViewController::awakeFromNib() {
    const QWidget& header = *view_;
    const bool on_sign_in = headerState == sign_in;
    const bool on_permissions = headerState == permissions;
    const bool on_done = headerState == done;

    const struct {
        QLabel* image;
        QLabel* label;
        const char* image_name;
        bool current;
    } steps[] = {{loginImageView, loginLabel, "setup_step_login", on_sign_in},
                 {accessibilityImageView, accessibilityLabel, "setup_step_accessibility", on_permissions}};
    for (const auto& step : steps) {
        const QColor colour = text_colour(header, step.current);
        set_text_colour(*step.label, colour);
        // A template image takes its step's text colour.
        const bundle_image picture = load_named_image(step.image_name, resource_dir_, step_image_size);
        step.image->setPixmap(QPixmap::fromImage(template_image(picture, colour)));
    }
    set_text_colour(*doneLabel, text_colour(header, on_done));
    done_image_ = on_done ? done_image_active : done_image_inactive;
    const bundle_image logo = load_named_image(done_image_, resource_dir_, step_image_size);
    doneImageView->setPixmap(QPixmap::fromImage(logo.image));
}

}  // namespace kes
