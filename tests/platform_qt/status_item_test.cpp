#include "platform/fake/fake_status_item.h"
#include "platform/qt/qt_status_item.h"
#include "platform/qt/tray_notifier.h"
#include "tests/support_qt/qt_test_fixture.h"
#include "tests/support/test_environment.h"

#include <QImage>
#include <QMenu>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace platform {
namespace {

class QtStatusItem : public testing::QtLoopTest {
protected:
    std::shared_ptr<qt_status_item> item = std::make_shared<qt_status_item>();
};

TEST_F(QtStatusItem, WithoutATrayTheMenuOpensAtThePointerAndBalloonsAreRefused) {
    // The offscreen platform has no tray, as a desktop without a tray host.
    EXPECT_FALSE(item->tray_available());
    item->set_visible(true);
    EXPECT_FALSE(item->show_message("Kestrel Alert", "text"));

    int will_open = 0;
    item->set_menu_will_open([&] {
        ++will_open;
        item->menu().clear();
        item->menu().addAction("Refreshed item");
    });
    item->open_menu();
    EXPECT_EQ(will_open, 1);
    EXPECT_TRUE(item->menu().isVisible());
    ASSERT_EQ(item->menu().actions().size(), 1);
    EXPECT_EQ(item->menu().actions().front()->text(), "Refreshed item");
    item->menu().hide();
}

TEST_F(QtStatusItem, ImagesComeFromReadableImageFilesOnly) {
    const std::string png = kes::testing::private_home() + "/icon.png";
    QImage image(22, 22, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    ASSERT_TRUE(image.save(QString::fromStdString(png)));
    const std::string text = kes::testing::private_home() + "/not-an-image.png";
    std::ofstream(text) << "not an image";

    EXPECT_TRUE(item->set_image(png));
    EXPECT_EQ(item->tray_icon().icon().pixmap(22, 22).toImage().pixelColor(5, 5), QColor(Qt::magenta));
    EXPECT_FALSE(item->set_image(text));
    EXPECT_FALSE(item->set_image(kes::testing::private_home() + "/missing.png"));
    EXPECT_TRUE(item->set_image(""));
    // No image keeps the item's place with a transparent one.
    EXPECT_FALSE(item->tray_icon().icon().isNull());
    EXPECT_EQ(item->tray_icon().icon().pixmap(22, 22).toImage().pixelColor(5, 5).alpha(), 0);

    item->set_tooltip("Kestrel");
    EXPECT_EQ(item->tray_icon().toolTip(), "Kestrel");
}

TEST_F(QtStatusItem, NotificationsWithoutATrayGoToTheLogOnTheMainThread) {
    std::vector<std::string> logged;
    std::vector<bool> on_main;
    tray_notifier notifier(queue, item, [&](const std::string& title, const std::string& text) {
        logged.push_back(title + ": " + text);
        on_main.push_back(queue.is_main_thread());
    });
    item->set_visible(true);
    EXPECT_EQ(notifier.notify("Kestrel Alert", "on the main thread"), user_notifier::delivery::logged);

    user_notifier::delivery from_worker = user_notifier::delivery::shown;
    std::thread worker([&] {
        from_worker = notifier.notify("Kestrel Alert", "from a worker");
        queue.async([&] { queue.quit(0); });
    });
    worker.join();
    loop.run();
    EXPECT_EQ(from_worker, user_notifier::delivery::queued);
    EXPECT_EQ(logged, (std::vector<std::string>{"Kestrel Alert: on the main thread", "Kestrel Alert: from a worker"}));
    EXPECT_EQ(on_main, (std::vector<bool>{true, true}));
}

TEST_F(QtStatusItem, NotificationsUseTheBalloonWhereATrayShowsTheItem) {
    auto tray = std::make_shared<fake_status_item>();
    tray->set_visible(true);
    int logged = 0;
    tray_notifier notifier(queue, tray, [&](const std::string&, const std::string&) { ++logged; });
    EXPECT_EQ(notifier.notify("Kestrel Alert", "shown"), user_notifier::delivery::shown);
    tray->tray = false;  // the tray host ended
    EXPECT_EQ(notifier.notify("Kestrel Alert", "logged"), user_notifier::delivery::logged);
    EXPECT_EQ(tray->messages.size(), 1u);
    EXPECT_EQ(logged, 1);
}

}  // namespace
}  // namespace platform
