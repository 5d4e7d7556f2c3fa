#pragma once
// A window built the first time it is needed and released a moment after the
// user closes it, so a window nobody has open costs no memory. What has to
// outlive a closing lives here instead of in the widgets: the texts the agent
// put into it (put back whenever it is built again) and where the user left
// it. A window that opens again before the release keeps its widgets.
//
// `Layout` is one of the builders' structs; `window` names its top-level
// window member. Main thread only.

#include "platform/qt/window_front.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace kes {

template <class Layout>
class on_demand_window {
public:
    using window_member = std::unique_ptr<QWidget> Layout::*;
    using build_function = std::function<Layout()>;
    // Wires and fills a window just built.
    using built_function = std::function<void(Layout&)>;
    // The window was shown (true) or hidden (false).
    using visibility_function = std::function<void(bool shown)>;

    on_demand_window(window_member window, build_function build, built_function built = {},
                     visibility_function seen = {})
        : window_(window), build_(std::move(build)), built_(std::move(built)), seen_(std::move(seen)),
          watcher_(std::make_unique<watcher>(*this)) {}
    on_demand_window(const on_demand_window&) = delete;
    on_demand_window& operator=(const on_demand_window&) = delete;

    // The window's controls; null while it is released.
    Layout* get() const { return layout_.get(); }
    QWidget* window() const { return layout_ ? (layout_.get()->*window_).get() : nullptr; }
    bool isVisible() const { return window() && window()->isVisible(); }

    // The window's controls, built first when released.
    Layout& ensure() {
        if (layout_) return *layout_;
        layout_ = std::make_unique<Layout>(build_());
        QWidget& made = *(layout_.get()->*window_);
        if (place_) {
            made.resize(place_->size());
            made.move(place_->topLeft());  // the frame's corner, as the user left it
            made.setProperty("kes_placed", true);  // present() keeps the user's place
        }
        for (const auto& [field, text] : label_texts_) (layout_.get()->*field)->setText(text);
        for (const auto& [field, text] : line_texts_) (layout_.get()->*field)->setText(text);
        made.installEventFilter(watcher_.get());
        if (built_) built_(*layout_);
        return *layout_;
    }

    // The text of a label or line of the window, now when it is built and
    // again whenever it is built anew; answers the control, null while the
    // window is released.
    QLabel* set_text(QLabel* Layout::*field, const QString& text) { return keep(label_texts_, field, text); }
    QLineEdit* set_text(QLineEdit* Layout::*field, const QString& text) { return keep(line_texts_, field, text); }

private:
    class watcher final : public QObject {
    public:
        explicit watcher(on_demand_window& owner) : owner_(owner) {}

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override {
            const bool shown = event->type() == QEvent::Show;
            if (shown || event->type() == QEvent::Hide) {
                if (owner_.seen_) owner_.seen_(shown);
                // Later, never inside the handler of one of its own buttons.
                if (!shown) QTimer::singleShot(0, this, [this] { owner_.release_if_closed(); });
            }
            return QObject::eventFilter(watched, event);
        }

    private:
        on_demand_window& owner_;
    };

    template <class Field>
    Field* keep(std::vector<std::pair<Field* Layout::*, QString>>& kept, Field* Layout::*field, const QString& text) {
        const auto at = std::find_if(kept.begin(), kept.end(), [field](const auto& entry) { return entry.first == field; });
        if (at == kept.end()) {
            kept.emplace_back(field, text);
        } else {
            at->second = text;
        }
        if (!layout_) return nullptr;
        Field* shown = layout_.get()->*field;
        shown->setText(text);
        return shown;
    }

    void release_if_closed() {
        QWidget* shown = window();
        if (!shown || shown->isVisible()) return;
        if (shown->property("kes_placed").toBool()) place_ = QRect(shown->pos(), shown->size());
        layout_.reset();
    }

    window_member window_;
    build_function build_;
    built_function built_;
    visibility_function seen_;
    std::vector<std::pair<QLabel* Layout::*, QString>> label_texts_;
    std::vector<std::pair<QLineEdit* Layout::*, QString>> line_texts_;
    std::optional<QRect> place_;
    // Its timers end with it, so no release runs after this object.
    std::unique_ptr<watcher> watcher_;
    std::unique_ptr<Layout> layout_;
};

}  // namespace kes
