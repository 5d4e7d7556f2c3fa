#include "gui/segmented_control.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace kes {

segmented_control::segmented_control(int segments, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < segments; ++i) {
        auto* button = new QPushButton(this);
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(button, &QPushButton::clicked, this, [this, i] { clicked(i); });
        row->addWidget(button);
        segments_.push_back(button);
    }
}

void segmented_control::set_name(const QString& name) {
    setObjectName(name);
    for (int i = 0; i < segment_count(); ++i) segment_button(i)->setObjectName(name + QStringLiteral("_segment_%1").arg(i));
}

void segmented_control::set_label(int segment, const QString& label) { segment_button(segment)->setText(label); }

QString segmented_control::label(int segment) const { return segment_button(segment)->text(); }

void segmented_control::set_segment_enabled(int segment, bool enabled) { segment_button(segment)->setEnabled(enabled); }

bool segmented_control::is_segment_enabled(int segment) const { return segment_button(segment)->isEnabled(); }

int segmented_control::selected_segment() const {
    for (int i = 0; i < segment_count(); ++i) {
        if (segment_button(i)->isChecked()) return i;
    }
    return -1;
}

void segmented_control::set_selected(int segment, bool selected) {
    if (selected) deselect_all();
    segment_button(segment)->setChecked(selected);
}

void segmented_control::deselect_all() {
    for (QPushButton* button : segments_) button->setChecked(false);
}

void segmented_control::clicked(int segment) {
    set_selected(segment, true);
    if (action_) action_();
}

}  // namespace kes
