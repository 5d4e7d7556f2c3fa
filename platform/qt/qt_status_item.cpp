#include "platform/qt/qt_status_item.h"

#include "platform/qt/requested_menu.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QIcon>
#include <QImageReader>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QVariant>
#include <QWidget>

namespace platform {

namespace {

// The toolkit's name for the window it docks into an XEmbed tray.
constexpr const char* embedded_icon_name = "QSystemTrayIconSys";

class geometry_watcher final : public QObject {
public:
    explicit geometry_watcher(std::function<void()>& changed) : changed_(changed) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            if (changed_) changed_();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()>& changed_;
};

// The tray keeps the item's place only while it has an image: "no image" is
// a transparent one.
QIcon blank_icon() {
    QPixmap blank(22, 22);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

}  // namespace

qt_status_item::qt_status_item()
    : menu_(std::make_unique<QMenu>()),
      requested_menu_(std::make_unique<requested_menu>(*menu_)),
      icon_(std::make_unique<QSystemTrayIcon>()) {
    menu_->setObjectName("status_menu");
    icon_->setObjectName("status_item");
    icon_->setIcon(blank_icon());
    icon_->setContextMenu(menu_.get());
    QObject::connect(menu_.get(), &QMenu::aboutToShow, [this] {
        if (menu_will_open_) menu_will_open_();
    });
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
        // The context button opens the menu by itself; a plain click does so here.
        if (reason == QSystemTrayIcon::Trigger) open_menu();
    });
}

qt_status_item::~qt_status_item() = default;

bool qt_status_item::tray_available() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

bool qt_status_item::set_image(const std::string& image_file) {
    if (image_file.empty()) {
        set_icon(QIcon());
        return true;
    }
    const QString path = QString::fromStdString(image_file);
    if (!QImageReader(path).canRead()) {
        set_icon(QIcon());
        return false;
    }
    set_icon(QIcon(path));
    return true;
}

void qt_status_item::set_icon(const QIcon& icon) { icon_->setIcon(icon.isNull() ? blank_icon() : icon); }

void qt_status_item::set_tooltip(const std::string& text) {
    const QString tip = QString::fromStdString(text);
    if (tip != icon_->toolTip()) icon_->setToolTip(tip);
}

void qt_status_item::set_visible(bool visible) {
    if (visible == icon_->isVisible()) return;
    // Showing docks a new embedded window (hiding ends the old one).
    icon_->setVisible(visible);
    if (visible) watch_embedded_window();
}

void qt_status_item::watch_embedded_window() {
    // The item's own window is the one no earlier watcher knows.
    embedded_watcher_ = std::make_unique<geometry_watcher>(place_changed_);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() != QLatin1String(embedded_icon_name)) continue;
        if (window->property("kes_watched").toBool()) continue;
        window->setProperty("kes_watched", true);
        window->installEventFilter(embedded_watcher_.get());
    }
}

void qt_status_item::set_place_changed(std::function<void()> handler) { place_changed_ = std::move(handler); }

bool qt_status_item::visible() const { return icon_->isVisible(); }

screen_place qt_status_item::place() const {
    // Without a tray the toolkit knows no geometry. Asking it whether a tray
    // exists would cost a round trip to the X server on every call (the
    // popover asks twice a second); the geometry alone tells the same.
    if (!icon_->isVisible()) return {};
    const QRect shown = icon_->geometry();
    if (shown.isEmpty()) return {};
    return {shown.x(), shown.y(), shown.width(), shown.height()};
}

bool qt_status_item::show_message(const std::string& title, const std::string& text) {
    if (!tray_available() || !icon_->isVisible()) return false;
    icon_->showMessage(QString::fromStdString(title), QString::fromStdString(text), QSystemTrayIcon::Information);
    return true;
}

void qt_status_item::open_menu() {
    const screen_place shown = place();
    // Beneath the item; the menu moves itself up when the tray sits at the bottom.
    requested_menu_->popup(shown.empty() ? QCursor::pos() : QPoint(shown.x, shown.y + shown.height));
}

void qt_status_item::set_menu_will_open(std::function<void()> handler) { menu_will_open_ = std::move(handler); }

}  // namespace platform
