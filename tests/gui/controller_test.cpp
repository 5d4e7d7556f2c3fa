// The application controller offscreen: status images per state, the setup
// decision, the offline-time, focus, troubleshooting and help windows, and
// what they hand to the UI logic.
#include "core/capture/logger.h"
#include "core/foundation/text_table.h"
#include "gui/AutomationMessagingViewController.h"
#include "gui/bundle_images.h"
#include "gui/osx_Popover.h"
#include "gui/segmented_control.h"
#include "platform/info_plist.h"
#include "platform/qt/settings_user_defaults.h"
#include "tests/gui/controller_fixture.h"
#include "tests/support/upload_files.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <boost/date_time/posix_time/posix_time.hpp>

#include <poll.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <thread>

namespace kes::testing {
namespace {

namespace stdfs = std::filesystem;
using namespace std::chrono_literals;

std::string run_python(const std::string& script, const std::string& argument) {
    const std::string command = "/usr/bin/python3 -c '" + script + "' '" + argument + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string out;
    std::array<char, 512> buffer{};
    while (pipe && std::fgets(buffer.data(), buffer.size(), pipe.get())) out += buffer.data();
    return out;
}

std::string data_dir() { return system::create()->get_data_dir(); }

// debug_log_level as python's json module reads it from kestreld.json.
long saved_debug_log_level() {
    const std::string out =
        run_python("import json,sys; print(json.load(open(sys.argv[1]))[\"debug_log_level\"])", data_dir() + "/kestreld.json");
    return std::stol(out);
}

std::wstring image_name(const std::string& path) {
    return path.empty() ? L"" : util::utf8_to_wstring_lossy(stdfs::path(path).filename().string());
}

TEST_F(ControllerTest, EachStateShowsItsImageAndStateEightHidesTheItem) {
    launch();
    EXPECT_FALSE(was_logged(L"[KestrelController:awakeFromNib] Kestrel Icon as left uninitialized and set to nil."));
    EXPECT_TRUE(controller_->_kestrel_dock_normal.loaded());
    EXPECT_EQ(fakes_.status->tooltip, "Kestrel");
    EXPECT_TRUE(fakes_.status->visible());
    ASSERT_EQ(fakes_.status->images.size(), 1u);
    EXPECT_EQ(image_name(fakes_.status->images[0]), L"kestrel_icon_normal.svg");
    EXPECT_TRUE(config::instance().get_gui_loaded());

    const std::pair<int, const wchar_t*> states[] = {
        {1, L"kestrel_icon_paused.svg"}, {2, L"kestrel_icon_alert.svg"}, {3, L"kestrel_icon_normal.svg"},
        {4, L"kestrel_icon_alert.svg"},  {8, L""},                       {0, L"kestrel_icon_normal.svg"}};
    for (const auto& [state, image] : states) {
        std::thread([&, state = state] { bridge_->ux_set_tray_icon(state); }).join();  // as the UI thread does
        const std::size_t before = fakes_.status->images.size();
        serve();
        ASSERT_EQ(fakes_.status->images.size(), before + 1) << state;
        EXPECT_EQ(image_name(fakes_.status->images.back()), image) << state;
        EXPECT_EQ(fakes_.status->visible(), state != 8) << state;
        EXPECT_EQ(bridge_->get_tray_icon(), state);
    }
}

TEST_F(ControllerTest, AStateThatShowsTheSameImageLeavesTheItemAlone) {
    launch();
    const auto set_state = [&](int state) {
        std::thread([&] { bridge_->ux_set_tray_icon(state); }).join();
        serve();
    };
    set_state(4);
    const std::size_t drawn = fakes_.status->images.size();
    set_state(2);  // alert again
    set_state(4);
    EXPECT_EQ(fakes_.status->images.size(), drawn);
    set_state(1);
    EXPECT_EQ(fakes_.status->images.size(), drawn + 1);
    EXPECT_EQ(image_name(fakes_.status->images.back()), L"kestrel_icon_paused.svg");
}

TEST_F(ControllerTest, WithoutATrayItSaysSoOnceAndASecondStartOpensTheMenu) {
    fakes_.status->tray = false;  // the menu then opens at the pointer
    launch();
    const std::wstring no_tray = L"[KestrelController:applicationDidFinishLaunching] No system tray is available: the "
                                 L"status menu opens at the pointer when Kestrel is started again.";
    const auto lines = logged();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), no_tray), 1);
    centre_.post(opening_instance_notification_name);
    EXPECT_EQ(fakes_.status->menu_openings, 1);
}

TEST_F(ControllerTest, MissingImagesAreLoggedOnceAndShowNothing) {
    stdfs::remove(resources() + "/kestrel_icon_paused.svg");
    stdfs::remove(resources() + "/kestrel_icon_alert.icns");
    launch();
    EXPECT_TRUE(was_logged(L"[KestrelController:awakeFromNib] Kestrel Icon as left uninitialized and set to nil."));
    bridge_->ux_set_tray_icon(1);
    EXPECT_EQ(fakes_.status->images.back(), "");
    EXPECT_TRUE(fakes_.status->visible());
}

TEST_F(ControllerTest, TheWindowIconIsTheFamilysImageForATaskBarNotItsLargest) {
    launch();
    // Every window carries the application's icon; at 512 pixels it held megabytes.
    const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
    ASSERT_FALSE(sizes.isEmpty());
    for (const QSize& size : sizes) EXPECT_LE(size.width(), 128);

    QFile file(QString::fromStdString(resources() + "/kestrel_icon_color.icns"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray family = file.readAll();
    EXPECT_EQ(icns_image(family, 128).width(), 128);
    EXPECT_EQ(icns_image(family, 100).width(), 32);
    EXPECT_EQ(icns_image(family, 8).width(), 16) << "none fits: the narrowest";
    EXPECT_EQ(icns_image(family, 4096).width(), 512);
    // An image whose header states a width but whose data is damaged gives way to the next.
    QByteArray damaged = family;
    const qsizetype first_png = damaged.indexOf("\x89PNG");
    const qsizetype wanted = damaged.indexOf("\x89PNG", damaged.indexOf("\x89PNG", first_png + 1) + 1);
    ASSERT_GT(wanted, 0);
    for (qsizetype at = wanted + 33; at < wanted + 80; ++at) damaged[at] = '\xff';
    EXPECT_EQ(icns_image(damaged, 128).width(), 32);
    EXPECT_TRUE(icns_image(QByteArray("icns\0\0\0\x08", 8), 128).isNull());
}

TEST_F(ControllerTest, SevenLabelsFillSixSegmentsAndAnEmptyOneIsOptionalAndDisabled) {
    launch();
    config::instance().set_timepie_labels({L"Meeting", L"", L"Phone", L"Lunch", L"Reading", L"Travel", L"Seventh"});
    std::thread([&] { bridge_->ux_set_offline_time_labels({}); }).join();
    serve();
    EXPECT_TRUE(was_logged(L"[KestrelController:set_offline_time_labels] num lables: 7"));
    // The panel is built when it opens, with the labels as they are.
    controller_->show_offline_time_window();
    serve();
    const std::array<const char*, 6> expected = {"Meeting", "Optional", "Phone", "Lunch", "Reading", "Travel"};
    for (int i = 0; i < 6; ++i) {
        segmented_control* box = i < 3 ? offline().activityBox : offline().activityBox2;
        EXPECT_FALSE(box->isHidden()) << i;
        EXPECT_EQ(box->label(i % 3).toStdString(), expected[i]);
        EXPECT_EQ(box->is_segment_enabled(i % 3), i != 1) << i;
    }

    // Fewer labels later: the second box goes, no label of the old set stays.
    config::instance().set_timepie_labels({L"Meeting", L"Phone"});
    bridge_->ux_set_offline_time_labels({});
    EXPECT_TRUE(offline().activityBox2->isHidden());
    EXPECT_EQ(offline().activityBox->label(2), QString());
    EXPECT_FALSE(offline().activityBox->is_segment_enabled(2));
}

class OfflineTimeEntry : public ControllerTest {
protected:
    // The user was away ten minutes and is back: the loop fills the window and shows it.
    void come_back_after_an_absence() {
        config& settings = config::instance();
        settings.set_timepie_enabled(true);
        settings.set_idle_time_away(300);
        settings.set_paused_until(boost::posix_time::second_clock::local_time() - boost::posix_time::hours(48));
        settings.set_timepie_labels({L"Meeting", L"Phone", L"Lunch"});
        idle_->idle = 600;
        bridge_->display_offline_time();
        idle_->idle = 0;
        bridge_->display_offline_time();
        serve();
        ASSERT_TRUE(offline_open());
    }

    // The rows of every upload file, as python's csv module reads them (one JSON list a line).
    std::string upload_rows() {
        logger::get_instance().write_current_log_to_disk();
        return run_python(
            "import csv,glob,gzip,io,json,sys\n"
            "for p in sorted(glob.glob(sys.argv[1] + \"/*.kes[gc]\")):\n"
            "    data = gzip.open(p).read() if p.endswith(\"g\") else open(p, \"rb\").read()\n"
            "    for row in csv.reader(io.StringIO(data.decode())): print(json.dumps([len(row)] + row))\n",
            data_dir() + "/activities");
    }
};

TEST_F(OfflineTimeEntry, AChosenLabelWithDetailsBecomesAnOfflineRecord) {
    launch();
    come_back_after_an_absence();
    EXPECT_TRUE(offline().afkDetailBox->isHidden());
    QTest::mouseClick(offline().activityBox->segment_button(0), Qt::LeftButton);
    EXPECT_FALSE(offline().afkDetailBox->isHidden());
    EXPECT_EQ(offline().afkDetailText->placeholderText(), QStringLiteral("Optional details for this Meeting"));
    EXPECT_EQ(controller_->chosen_offline_time_label(), L"Offline Time - Meeting");
    // One choice across both boxes.
    QTest::mouseClick(offline().activityBox->segment_button(2), Qt::LeftButton);
    EXPECT_EQ(offline().activityBox->selected_segment(), 2);
    QTest::mouseClick(offline().activityBox->segment_button(0), Qt::LeftButton);
    EXPECT_EQ(offline().activityBox->selected_segment(), 0);
    QTest::keyClicks(offline().afkDetailText, QStringLiteral("Quarterly review, caf"));
    offline().afkDetailText->insert(QStringLiteral("\u00e9"));
    QTest::mouseClick(offline().afkDetailButton, Qt::LeftButton);
    EXPECT_FALSE(offline_open());

    const std::string rows = upload_rows();
    EXPECT_NE(rows.find("[12, \"Offline Time - Meeting\", \"\", \"\", \"Quarterly review, caf\\u00e9\", \"\", "),
              std::string::npos)
        << rows;
    EXPECT_NE(rows.find("\"5\", \"\", \"\", \"\", \"\"]"), std::string::npos) << rows;
}

TEST_F(OfflineTimeEntry, ALabelIsChosenAfreshEachTimeAndDetailsNamedOptionalAreNone) {
    launch();
    come_back_after_an_absence();
    QTest::mouseClick(offline().activityBox->segment_button(1), Qt::LeftButton);
    QTest::mouseClick(offline().cancelAFKEntryButton, Qt::LeftButton);
    EXPECT_FALSE(offline_open());

    come_back_after_an_absence();
    EXPECT_EQ(controller_->chosen_offline_time_label(), L"");
    EXPECT_EQ(offline().activityBox->selected_segment(), -1);
    const std::uint32_t before = logger::get_instance().record_count();
    controller_->on_submit_offline_time(offline().afkDetailButton);  // nothing chosen: nothing recorded
    EXPECT_EQ(logger::get_instance().record_count(), before);
    EXPECT_TRUE(offline_open());

    QTest::mouseClick(offline().activityBox->segment_button(2), Qt::LeftButton);
    offline().afkDetailText->setText(QStringLiteral("Optional details for this Lunch"));
    QTest::mouseClick(offline().afkDetailButton, Qt::LeftButton);
    const std::string rows = upload_rows();
    EXPECT_NE(rows.find("[12, \"Offline Time - Lunch\", \"\", \"\", \"\", \"\", "), std::string::npos) << rows;
}

TEST_F(OfflineTimeEntry, ThePanelFitsWhatItShowsAndOpensAgainWithoutTheDetailsAtItsFirstHeight) {
    launch();
    const auto settled_height = [this] {
        QCoreApplication::processEvents();  // the layout has its turn
        return offline().afkEntryPanel->height();
    };
    const auto choose_a_label_and_cancel = [&] {
        QTest::mouseClick(offline().activityBox->segment_button(0), Qt::LeftButton);
        const int with_details = settled_height();
        QTest::mouseClick(offline().cancelAFKEntryButton, Qt::LeftButton);
        return with_details;
    };
    come_back_after_an_absence();
    const int first = settled_height();
    EXPECT_GT(choose_a_label_and_cancel(), first);  // the details have room

    // Opened again before its widgets were released, and after.
    come_back_after_an_absence();
    EXPECT_EQ(settled_height(), first);
    choose_a_label_and_cancel();
    ASSERT_TRUE(run_loop_until([&] { return controller_->offlineTimePanel() == nullptr; }, 2000));
    come_back_after_an_absence();
    EXPECT_TRUE(offline().afkDetailBox->isHidden());
    EXPECT_EQ(settled_height(), first);
}

TEST(HmsTime, MinutesHoursAndDaysAsPeopleReadThem) {
    EXPECT_EQ(KestrelController::getHmsTime(59), L"< 1 m");
    EXPECT_EQ(KestrelController::getHmsTime(60), L"1m");
    EXPECT_EQ(KestrelController::getHmsTime(3599), L"59m");
    EXPECT_EQ(KestrelController::getHmsTime(3720), L"1h 02m");
    EXPECT_EQ(KestrelController::getHmsTime(129600), L"36h 00m");
    EXPECT_EQ(KestrelController::getHmsTime(133200), L"1.54 d");
    EXPECT_EQ(KestrelController::getHmsTime(200000), L"2.31 d");
}

// Which window a launch opens: the popover a second after launch unless the
// user is set up; then the Automation explanation, once.
struct launch_case {
    bool signed_in;
    bool trusted;
    bool installer;
    bool popover;
};

class SetupDecision : public ControllerTest, public ::testing::WithParamInterface<launch_case> {};

TEST_P(SetupDecision, PopoverOrAutomationExplanation) {
    const launch_case& each = GetParam();
    config::instance().set_account_key(each.signed_in ? L"AK-signed-in-0001" : L"");
    permission_->trusted = each.trusted;
    if (each.installer) arguments_.push_back("-installer_launch");
    launch();
    const auto next = queue.time_to_next_timer();
    if (each.popover) {
        ASSERT_TRUE(next);
        EXPECT_GT(*next, 900ms);
        EXPECT_LE(*next, 1000ms);
        EXPECT_EQ(controller_->automationWindow(), nullptr);
    } else {
        EXPECT_FALSE(next);
        ASSERT_NE(controller_->automationWindow(), nullptr);
        EXPECT_TRUE(controller_->automationWindow()->isVisible());
        EXPECT_EQ(controller_->automationWindow()->windowTitle(), QStringLiteral("Kestrel"));
        EXPECT_TRUE(fakes_.defaults->get_bool(automation_alert_shown_default));
    }
}

INSTANTIATE_TEST_SUITE_P(Launches, SetupDecision,
                         ::testing::Values(launch_case{false, false, false, true}, launch_case{false, true, false, true},
                                           launch_case{true, false, false, true}, launch_case{true, true, true, true},
                                           launch_case{true, true, false, false}),
                         [](const ::testing::TestParamInfo<launch_case>& info) {
                             const launch_case& c = info.param;
                             return std::string(c.signed_in ? "SignedIn" : "NotSignedIn") +
                                    (c.trusted ? "Trusted" : "Untrusted") + (c.installer ? "FromInstaller" : "");
                         });

TEST_F(ControllerTest, ThePopoverOpensBeneathTheItemAfterASecond) {
    launch();
    QElapsedTimer since_launch;
    since_launch.start();
    qint64 shown_after = -1;
    ASSERT_TRUE(run_loop_until([&] {
        if (shown_after < 0 && controller_->popover()->isShown()) shown_after = since_launch.elapsed();
        return shown_after >= 0;
    }));
    std::fprintf(stderr, "[ figures ] setup popover shown %lld ms after launch\n", static_cast<long long>(shown_after));
    EXPECT_GE(shown_after, 900);
    const QRect placed = controller_->popover()->window().geometry();
    EXPECT_GE(placed.top(), fakes_.status->shown_at.y + fakes_.status->shown_at.height);
    // The menu opening closes it.
    fakes_.status->open_menu();
    EXPECT_FALSE(controller_->popover()->isShown());
}

TEST_F(ControllerTest, ThePopoverFollowsTheItemWhenTheTraySaysItMovedAndLooksOnlyWhileThereIsAnItem) {
    launch();
    ASSERT_TRUE(run_loop_until([&] { return controller_->popover()->isShown(); }));
    EXPECT_TRUE(controller_->isFollowingStatusItem());
    // The tray moves the item and says so: the popover follows at once.
    fakes_.status->move_to({300, 0, 22, 22});
    const QRect placed = controller_->popover()->window().geometry();
    EXPECT_LE(placed.left(), 300 + 22);
    EXPECT_GE(placed.right(), 300);
    // Closed, it follows nothing.
    fakes_.status->open_menu();
    EXPECT_FALSE(controller_->isFollowingStatusItem());
    fakes_.status->move_to({600, 0, 22, 22});
    EXPECT_FALSE(controller_->popover()->isShown());

    // No tray: no place to follow, so nothing looks for one.
    fakes_.status->tray = false;
    fakes_.defaults->set_bool(no_tray_notice_shown_default, true);
    launch();
    ASSERT_TRUE(run_loop_until([&] { return controller_->popover()->isShown(); }));
    EXPECT_FALSE(controller_->isFollowingStatusItem());
    // A tray that comes tells the item's place: from then on the popover follows it.
    fakes_.status->tray = true;
    fakes_.status->move_to({500, 0, 22, 22});
    EXPECT_TRUE(controller_->isFollowingStatusItem());
    EXPECT_GE(controller_->popover()->window().geometry().right(), 500);
}

TEST_F(ControllerTest, AWindowIsBuiltWhenItOpensReleasedWhenClosedAndOpensAgainAsItWas) {
    launch();
    EXPECT_EQ(controller_->offlineTimePanel(), nullptr);
    EXPECT_EQ(controller_->focusPanel(), nullptr);
    EXPECT_EQ(controller_->troubleshootingWindow(), nullptr);
    EXPECT_EQ(controller_->helpWindow(), nullptr);
    EXPECT_EQ(controller_->noTrayWindow(), nullptr);
    // What the loop sets while a window is closed shows when it opens.
    std::thread([&] {
        bridge_->set_ts_window_title(L"alpha window");
        bridge_->ux_set_offline_time_start_time(L"What were you doing since 14:05?");
        bridge_->set_still_zone_minutes(45);
    }).join();
    serve();
    controller_->openTroubleshooting();
    EXPECT_EQ(ts().ts_window_title->text(), QStringLiteral("alpha window"));
    controller_->show_offline_time_window();
    bridge_->show_still_zone_window();
    serve();
    EXPECT_EQ(offline().afkEntryText->text(), QStringLiteral("What were you doing since 14:05?"));
    EXPECT_EQ(focus().blockingTime->text(), QStringLiteral("45"));

    // The user moves the window aside and closes it: it goes.
    ts().ts_window->move(ts().ts_window->pos() + QPoint(40, 30));
    const QPoint left_at = ts().ts_window->pos();
    ts().ts_window->close();
    ASSERT_TRUE(run_loop_until([&] { return controller_->troubleshootingWindow() == nullptr; }, 2000));
    // Closed and opened again at once, a window keeps its controls.
    offline_time_panel* panel = controller_->offlineTimePanel();
    panel->afkEntryPanel->close();
    controller_->show_offline_time_window();
    serve();
    QCoreApplication::processEvents();
    EXPECT_EQ(controller_->offlineTimePanel(), panel);
    EXPECT_TRUE(offline_open());

    std::thread([&] { bridge_->set_ts_window_title(L"beta window"); }).join();
    serve();
    controller_->openTroubleshooting();
    EXPECT_EQ(ts().ts_window_title->text(), QStringLiteral("beta window"));
    EXPECT_EQ(ts().ts_window->pos(), left_at);  // where the user left it
}

TEST_F(ControllerTest, WithoutATrayTheUserIsToldOnceHowToReachKestrelAndTheLauncherEntryIsWritten) {
    fakes_.status->tray = false;
    launch();
    EXPECT_EQ(launcher_installs_, 1);
    EXPECT_TRUE(is_open(controller_->noTrayWindow()));
    const auto* text = built(controller_->noTrayWindow()).findChild<QLabel*>(QStringLiteral("noTrayMessageLabel"));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->text().contains(QStringLiteral("start Kestrel again from your applications")));
    EXPECT_TRUE(fakes_.defaults->get_bool(no_tray_notice_shown_default));
    built(controller_->noTrayWindow()).findChild<QPushButton*>(QStringLiteral("noTrayOkButton"))->click();
    EXPECT_FALSE(is_open(controller_->noTrayWindow()));

    // The next start without a tray says nothing more; the menu opens at the pointer when asked.
    launch();
    EXPECT_FALSE(is_open(controller_->noTrayWindow()));
    const int openings = fakes_.status->menu_openings;
    controller_->openStatusMenu();
    serve();
    EXPECT_EQ(fakes_.status->menu_openings, openings + 1);

    // With a tray nothing is said.
    fakes_.status->tray = true;
    fakes_.defaults->set_bool(no_tray_notice_shown_default, false);
    launch();
    EXPECT_FALSE(is_open(controller_->noTrayWindow()));
}

TEST_F(ControllerTest, WithoutATrayANewUserReadsTheNoteFirstAndMeetsThePopoverOnceItIsClosed) {
    fakes_.status->tray = false;
    launch();
    ASSERT_TRUE(is_open(controller_->noTrayWindow()));
    // The popover's second passes: it would stand over the note.
    ASSERT_TRUE(run_loop_until([&] { return !queue.time_to_next_timer(); }));
    EXPECT_FALSE(controller_->popover()->isShown());
    EXPECT_TRUE(is_open(controller_->noTrayWindow()));

    built(controller_->noTrayWindow()).findChild<QPushButton*>(QStringLiteral("noTrayOkButton"))->click();
    EXPECT_TRUE(controller_->popover()->isShown());
}

TEST_F(ControllerTest, TheAutomationExplanationShowsOnceAcrossLaunchesWithTheSameDefaultsFile) {
    config::instance().set_account_key(L"AK-signed-in-0001");
    const std::string folder = private_home() + "/defaults-" + std::to_string(::getpid());
    for (int run = 0; run < 2; ++run) {
        fakes_.defaults = nullptr;
        osx_ui_services with = services();
        with.desktop.defaults = std::make_shared<platform::settings_user_defaults>(folder);
        bridge_ = std::make_unique<osx_ui>(std::move(with), bridge_seams());
        bridge_->init();
        auto made = std::make_shared<KestrelController>(*bridge_, seams());
        controller_ = made.get();
        bridge_->set_delegate(made);
        controller_->awakeFromNib();
        controller_->applicationDidFinishLaunching();
        EXPECT_EQ(controller_->automationWindow() != nullptr, run == 0) << run;
        if (run == 0) {
            // Its button closes it: nobody else listens.
            controller_->automationWindow()->findChild<QPushButton*>("acknowledgeButton")->click();
            EXPECT_FALSE(controller_->automationWindow()->isVisible());
        }
        EXPECT_FALSE(queue.time_to_next_timer());
        bridge_.reset();
    }
    EXPECT_NE(read_file(folder + "/Kestrel.conf").find("com.kestrel.Kestrel.HasShownMojaveAutomationAlertBefore=true"),
              std::string::npos);
}

TEST_F(ControllerTest, HelpWithShiftHeldOpensTroubleshootingInstead) {
    launch();
    fakes_.keys->shift = true;
    bridge_->on_menu_action(k_tray_item_help);
    EXPECT_TRUE(ts_open());
    EXPECT_FALSE(help_open());
    EXPECT_TRUE(bridge_->is_troubleshooting_visible());
    ts().ts_window->hide();
    EXPECT_FALSE(bridge_->is_troubleshooting_visible());

    fakes_.keys->shift = false;
    bridge_->on_menu_action(k_tray_item_help);
    EXPECT_TRUE(help_open());
    EXPECT_FALSE(ts_open());

    // The help text is what the loop built; the website and the clipboard get it whole.
    std::thread([&] { bridge_->set_help_info(L"Current Status: fine\r\nPlatform Version: Test OS"); }).join();
    serve();
    EXPECT_EQ(help().help_info->toPlainText(), QStringLiteral("Current Status: fine\nPlatform Version: Test OS"));
    config::instance().set_url(L"app.kestrel.test");
    help().helpWindow->findChild<QPushButton*>("goToHelpWebsiteButton")->click();
    serve();
    EXPECT_EQ(fakes_.pasteboard->text(), "Current Status: fine\r\nPlatform Version: Test OS");
    ASSERT_EQ(fakes_.opener->opened_pages().size(), 1u);
    EXPECT_EQ(fakes_.opener->opened_pages()[0],
              "https://app.kestrel.test/quickhelp?support_info=Current%20Status%3A%20fine%0D%0APlatform%20Version%3A"
              "%20Test%20OS&src=client");

    // The About panel holds nothing: the click returns while it is up, and the tray's menu stays free.
    help().aboutPanelButton->click();
    ASSERT_NE(controller_->aboutPanelBox(), nullptr);
    EXPECT_TRUE(controller_->aboutPanelBox()->isVisible());
    EXPECT_TRUE(controller_->aboutPanelBox()->text().startsWith(QStringLiteral("Kestrel 1.")));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The path comes from the loop once the window shows; support copies it from there.
TEST_F(ControllerTest, TheDebugLogPathShowsWholeOnOneLineInsideTheTroubleshootingWindow) {
    launch();
    controller_->openTroubleshooting();
    QCoreApplication::processEvents();
    const QString path = QStringLiteral("/home/kestrel-user-with-a-long-name/.local/share/KestrelData/log/debug_log.txt");
    std::thread([&] { bridge_->set_ts_debug_log_location(path.toStdWString()); }).join();
    serve();
    QCoreApplication::processEvents();
    const QLabel& shown = *ts().ts_debug_log_location;
    EXPECT_EQ(shown.text(), path);
    EXPECT_GE(shown.contentsRect().width(), shown.fontMetrics().horizontalAdvance(path));
    EXPECT_LT(shown.height(), 2 * shown.fontMetrics().lineSpacing());
    const QWidget& window = *ts().ts_window;
    EXPECT_TRUE(window.rect().contains(QRect(shown.mapTo(&window, QPoint(0, 0)), shown.size())))
        << window.width() << " wide";
}

TEST_F(ControllerTest, AClosedHelpWindowIsNotWokenForItsTextAndOpensOnTheLatest) {
    launch();
    serve();
    std::thread([&] {
        bridge_->set_help_info(L"Current Status: first");
        bridge_->set_help_info(L"Current Status: latest\r\nPlatform Version: Test OS");
    }).join();
    pollfd wake{queue.wake_fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&wake, 1, 0), 0) << "nothing for the main thread while the window is closed";

    fakes_.keys->shift = false;
    bridge_->on_menu_action(k_tray_item_help);
    serve();
    ASSERT_TRUE(help_open());
    EXPECT_EQ(help().help_info->toPlainText(), QStringLiteral("Current Status: latest\nPlatform Version: Test OS"));
    help().helpWindow->findChild<QPushButton*>("goToHelpWebsiteButton")->click();
    serve();
    EXPECT_EQ(fakes_.pasteboard->text(), "Current Status: latest\r\nPlatform Version: Test OS");

    help().helpWindow->hide();
    std::thread([&] { bridge_->set_help_info(L"Current Status: while closed"); }).join();
    EXPECT_EQ(::poll(&wake, 1, 0), 0);
    controller_->goToHelp();
    serve();
    EXPECT_EQ(help().help_info->toPlainText(), QStringLiteral("Current Status: while closed"));
}

TEST_F(ControllerTest, ACheckboxClickChangesOnlyItsOwnBitOfTheSavedMask) {
    const std::uint32_t mask = log_level::error | log_level::info | log_level::ctor | 0x200 | 0x10000;
    config::instance().set_debug_log_level(mask);
    launch();
    controller_->openTroubleshooting();
    EXPECT_TRUE(ts().ts_log[0]->isChecked());
    EXPECT_TRUE(ts().ts_log[2]->isChecked());
    EXPECT_FALSE(ts().ts_log[5]->isChecked());
    EXPECT_EQ(ts().ts_debug_level->text(), QString::number(mask));
    // No box stands for the constructor lines: its getter answers the mask.
    EXPECT_TRUE(bridge_->get_control_checked_log_ctor());

    QTest::mouseClick(ts().ts_log[5], Qt::LeftButton);
    EXPECT_EQ(saved_debug_log_level(), static_cast<long>(mask | log_level::network));
    QTest::mouseClick(ts().ts_log[0], Qt::LeftButton);
    EXPECT_EQ(saved_debug_log_level(), static_cast<long>((mask | log_level::network) & ~log_level::error));
    EXPECT_TRUE(was_logged(L"[KestrelController] debug_log_level_changed"));

    // The loop's setter shows a box without counting as a click.
    std::thread([&] { bridge_->set_control_checked_log_user4(true); }).join();
    EXPECT_TRUE(bridge_->get_control_checked_log_user4());  // at once, for the loop's next read
    serve();
    EXPECT_TRUE(ts().ts_log[11]->isChecked());
    EXPECT_EQ(saved_debug_log_level(), static_cast<long>((mask | log_level::network) & ~log_level::error));
}

class FocusWindowInASession : public ControllerTest {
protected:
    // Opens the focus window the way the loop's bridge asks for it, while a
    // session has twenty minutes to run.
    void open_it() {
        launch();
        config::instance().set_blocking_until(config::instance().local_now() + boost::posix_time::minutes(20));
        ASSERT_TRUE(config::instance().is_blocking());
        std::thread([&] { bridge_->show_still_zone_window(); }).join();
        serve();
        ASSERT_TRUE(focus_open());
    }
};

TEST_F(FocusWindowInASession, MinutesThatAreNoWholeNumberAreOutOfRangeAndEndNothing) {
    open_it();
    if (HasFatalFailure()) return;
    EXPECT_EQ(focus().blockingOKButton->text(), QStringLiteral("Get Focused!"));
    EXPECT_EQ(focus().stillzone_settings_description->text().toStdWString(), get_text(L"stillzone_window_description"));

    for (const char* typed : {"abc", "", "12.5", "99999999999"}) {
        focus().blockingTime->setText(QString::fromLatin1(typed));
        QTest::mouseClick(focus().blockingOKButton, Qt::LeftButton);
        EXPECT_TRUE(focus_open()) << typed;
        EXPECT_EQ(focus().blockingTime->text(), QStringLiteral("30")) << typed;
        EXPECT_TRUE(was_logged(L"[ui:on_get_focused] Ignoring request to start Stillzone, minutes(" +
                               util::widen(typed) + L") not in range 1 to 1440"))
            << typed;
    }
    focus().blockingTime->setText(QStringLiteral("2000"));
    QTest::mouseClick(focus().blockingOKButton, Qt::LeftButton);
    EXPECT_TRUE(focus_open());
    EXPECT_TRUE(config::instance().is_blocking());
    EXPECT_EQ(service_->ended_sessions(), 0);
    EXPECT_TRUE(service_->started_sessions().empty());

    service_->block_list.blocking_enabled = true;
    std::atomic<bool> asked{false};
    service_->during_block_list = [&] { asked = true; };
    focus().blockingTime->setText(QStringLiteral(" 45 "));
    QTest::mouseClick(focus().blockingOKButton, Qt::LeftButton);
    EXPECT_FALSE(focus_open());
    ASSERT_TRUE(run_loop_until([&] { return asked.load(); }));  // on the focus-request thread
    EXPECT_EQ(service_->started_sessions(), std::vector<int>{45});
}

// The window is the user's one way to end a session early.
TEST_F(FocusWindowInASession, ZeroMinutesEndTheRunningSession) {
    open_it();
    if (HasFatalFailure()) return;
    std::atomic<bool> asked{false};
    service_->during_block_list = [&] { asked = true; };
    focus().blockingTime->setText(QStringLiteral("0"));
    QTest::mouseClick(focus().blockingOKButton, Qt::LeftButton);
    EXPECT_FALSE(focus_open());
    ASSERT_TRUE(run_loop_until([&] { return asked.load(); }));  // on the focus-request thread
    EXPECT_EQ(service_->ended_sessions(), 1);
    EXPECT_TRUE(service_->started_sessions().empty());
    EXPECT_FALSE(config::instance().is_blocking());
}

TEST_F(ControllerTest, TheDebugLogIsSentOnAThreadOfItsOwnAndASecondClickIsIgnored) {
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::thread::id sent_on;
    send_debug_log_ = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        sent_on = std::this_thread::get_id();
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        return false;
    };
    launch();
    controller_->openTroubleshooting();
    ts().ts_window->findChild<QPushButton*>("sendDebugLogButton")->click();
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return sent_on != std::thread::id(); });
    }
    EXPECT_NE(sent_on, std::this_thread::get_id());
    EXPECT_FALSE(controller_->sendDebugLog());  // still sending: ignored
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    ASSERT_TRUE(run_loop_until([&] { return !fakes_.alerts->alerts().empty(); }));
    const auto alert = fakes_.alerts->alerts().front().request;
    EXPECT_EQ(alert.message, "Kestrel Message");
    EXPECT_EQ(alert.informative_text,
              "There was a problem sending the debug log server. The location of the debug log is displayed on the "
              "diagnostics window. You can attach the file to a support ticket.");
    EXPECT_EQ(fakes_.alerts->alerts().front().thread, std::this_thread::get_id());
    ASSERT_TRUE(run_loop_until([&] { return controller_->sendDebugLog(); }));  // free again once it ended
    // The second upload has ended (its alert is there) before this test's sender goes.
    ASSERT_TRUE(run_loop_until([&] { return fakes_.alerts->alerts().size() == 2; }));
}

TEST_F(ControllerTest, TheDockIconToggleKeepsTheChoiceInTheUsersSettingsAndLeavesTheBundleAlone) {
    launch();
    const std::string plist = bundle_ + "/Contents/Info.plist";
    EXPECT_EQ(controller_->getPlistPath(), plist);
    const std::string installed = read_file(plist);
    stdfs::permissions(plist, stdfs::perms::owner_read);  // an installed bundle may be read-only
    controller_->toggleDockIcon();
    EXPECT_EQ(fakes_.defaults->get_string(dock_icon_default), "1");
    controller_->toggleDockIcon();
    EXPECT_EQ(fakes_.defaults->get_string(dock_icon_default), "0");
    EXPECT_EQ(read_file(plist), installed);
    stdfs::permissions(plist, stdfs::perms::owner_read | stdfs::perms::owner_write);
    // This desktop has no Dock: the troubleshooting window offers no such button.
    controller_->openTroubleshooting();
    EXPECT_EQ(ts().ts_window->findChild<QPushButton*>(QStringLiteral("toggleDockIconButton")), nullptr);
}

}  // namespace
}  // namespace kes::testing
