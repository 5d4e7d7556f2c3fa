#pragma once
// A row of segments, at most one selected, like a segmented button bar: each
// segment has a label and may be disabled; a click selects the segment and
// runs the control's action. Selecting from code runs no action.

#include <QWidget>

#include <functional>
#include <vector>

class QPushButton;

namespace kes {

class segmented_control : public QWidget {
public:
    explicit segmented_control(int segments, QWidget* parent = nullptr);

    int segment_count() const { return static_cast<int>(segments_.size()); }
    void set_label(int segment, const QString& label);
    QString label(int segment) const;
    void set_segment_enabled(int segment, bool enabled);
    bool is_segment_enabled(int segment) const;

    // -1 when none is selected.
    int selected_segment() const;
    void set_selected(int segment, bool selected);
    void deselect_all();

    void set_action(std::function<void()> action) { action_ = std::move(action); }

    // For tests: the segment's button, named "<objectName>_segment_<i>".
    QPushButton* segment_button(int segment) const { return segments_.at(static_cast<std::size_t>(segment)); }

    // Names the control and its segment buttons.
    void set_name(const QString& name);

private:
    void clicked(int segment);

    std::vector<QPushButton*> segments_;
    std::function<void()> action_;
};

}  // namespace kes
