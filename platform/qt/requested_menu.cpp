#include "platform/qt/requested_menu.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QTimer>
#include <QWindow>

namespace platform {

class requested_menu::watcher final : public QObject {
public:
    explicit watcher(QMenu& menu) : menu_(menu) {
        QObject::connect(&menu_, &QMenu::aboutToHide, this, [this] { hiding(); });
        QObject::connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focused) {
            if (opening_ && focused && focused == menu_.windowHandle()) stop_watching();
        });
    }

    void popup(const QPoint& at) {
        at_ = at;
        ++request_;
        // Only while the menu opens: the application's every event passes a filter on it.
        if (!opening_) qApp->installEventFilter(this);
        opening_ = true;
        closed_while_opening_ = false;
        menu_.popup(at);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The toolkit has closed its popups before the filters see the event.
        if (event->type() == QEvent::ApplicationDeactivate && closed_while_opening_) {
            stop_watching();
            QTimer::singleShot(0, this, [this] { menu_.popup(at_); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void hiding() {
        if (!opening_) return;
        // Closed by the deactivation only if that is the event being delivered now.
        closed_while_opening_ = true;
        QTimer::singleShot(0, this, [this, request = request_] {
            if (request == request_) stop_watching();
        });
    }

    void stop_watching() {
        if (opening_) qApp->removeEventFilter(this);
        opening_ = false;
        closed_while_opening_ = false;
    }

    QMenu& menu_;
    QPoint at_;
    unsigned request_ = 0;
    bool opening_ = false;               // opened on request, not yet with the focus
    bool closed_while_opening_ = false;  // within the event that closed it
};

requested_menu::requested_menu(QMenu& menu) : watcher_(std::make_unique<watcher>(menu)) {}

requested_menu::~requested_menu() = default;

void requested_menu::popup(const QPoint& at) { watcher_->popup(at); }

}  // namespace platform
