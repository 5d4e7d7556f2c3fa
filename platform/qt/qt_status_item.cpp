#include "platform/qt/qt_status_item.h"

#include <QCursor>
#include <QIcon>
#include <QImageReader>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace platform {

namespace {

// The tray keeps the item's place only while it has an image: "no image" is
// a transparent one.
QIcon blank_icon() {
    QPixmap blank(22, 22);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

}  // namespace

qt_status_item::qt_status_item() : menu_(std::make_unique<QMenu>()), icon_(std::make_unique<QSystemTrayIcon>()) {
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

void qt_status_item::set_tooltip(const std::string& text) { icon_->setToolTip(QString::fromStdString(text)); }

void qt_status_item::set_visible(bool visible) { icon_->setVisible(visible); }

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
    menu_->popup(shown.empty() ? QCursor::pos() : QPoint(shown.x, shown.y + shown.height));
}

void qt_status_item::set_menu_will_open(std::function<void()> handler) { menu_will_open_ = std::move(handler); }

}  // namespace platform
