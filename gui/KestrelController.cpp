#include "gui/KestrelController.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/service/pusher.h"
#include "core/foundation/text_table.h"
#include "core/ui/web_links.h"
#include "app/osx_ui.h"
#include "gui/AutomationMessagingViewController.h"
#include "gui/osx_Popover.h"
#include "gui/osx_PopoverSetupViewController.h"
#include "gui/osx_SetupWindowController.h"
#include "gui/PreferencesWindowController.h"
#include "gui/osx_PreferencesWindow.h"
#include "gui/segmented_control.h"
#include "platform/accessibility.h"
#include "platform/bundle.h"
#include "platform/info_plist.h"
#include "platform/launcher.h"
#include "platform/main_queue.h"
#include "platform/process_arguments.h"
#include "platform/main_thread_call.h"
#include "platform/qt/window_front.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <boost/core/demangle.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <typeinfo>

namespace kes {
namespace {

// The troubleshooting window's checkboxes in its own order (no box for the
// constructor lines).
constexpr std::array<log_checkbox, troubleshooting_window::checkbox_count> window_checkboxes = {
    log_checkbox::error,   log_checkbox::warning, log_checkbox::info,  log_checkbox::debug,
    log_checkbox::ui,      log_checkbox::network, log_checkbox::service, log_checkbox::url,
    log_checkbox::user1,   log_checkbox::user2,   log_checkbox::user3, log_checkbox::user4};

std::uint32_t checkbox_flag(log_checkbox box) { return 1u << static_cast<int>(box); }

QString qt_text(const std::wstring& text) { return QString::fromStdWString(text); }

std::string to_utf8(const std::wstring& text) { return util::wstring_to_utf8_lossy(text); }

// A whole number as typed (blanks around it allowed); nothing for any other text.
std::optional<int> whole_number(const QString& typed) {
    const std::string text = typed.trimmed().toStdString();
    int value = 0;
    const char* begin = text.data();
    if (!text.empty() && text[0] == '+') ++begin;
    const char* end = text.data() + text.size();
    const auto [stopped, error] = std::from_chars(begin, end, value);
    if (text.empty() || error != std::errc() || stopped != end) return std::nullopt;
    return value;
}

QString html_escaped(const std::wstring& text) { return qt_text(text).toHtmlEscaped(); }

}  // namespace

// ---- the application loop

int KestrelController::runGui(osx_ui& bridge, seams with) {
    try {
        auto controller = std::make_shared<KestrelController>(bridge, std::move(with));
        bridge.set_delegate(controller);
        controller->awakeFromNib();
        // Launching completes inside the loop, as its first task.
        KestrelController* launched = controller.get();
        bridge.queue().async([launched] { launched->applicationDidFinishLaunching(); });
        if (const auto& app = bridge.desktop().app) {
            (void)app->run();
        } else {
            (void)bridge.queue().run();
        }
    } catch (const std::exception& e) {
        log(L"[KestrelController runGui] Error running application: " +
                util::widen(boost::core::demangle(typeid(e).name())) + L"  :: " + util::utf8_to_wstring_lossy(e.what()),
            log_level::error);
        std::cerr << "Kestrel Crash " << e.what() << std::endl;
    }
    return 0;
}

// ---- creation

KestrelController::KestrelController(osx_ui& bridge, seams with)
    : bridge_(bridge),
      seams_(std::move(with)),
      self_(std::make_shared<KestrelController*>(this)),
      offline_(&offline_time_panel::afkEntryPanel, build_offline_time_panel,
               [this](offline_time_panel& panel) { offline_time_panel_built(panel); },
               [this](bool shown) { offline_panel_visible_.store(shown); }),
      focus_(&focus_panel::blockingPanel, build_focus_panel, [this](focus_panel& panel) { focus_panel_built(panel); }),
      troubleshooting_(&troubleshooting_window::ts_window, build_troubleshooting_window,
                       [this](troubleshooting_window& window) { troubleshooting_window_built(window); },
                       [this](bool shown) {
                           troubleshooting_visible_.store(shown);
                           if (!shown) return;
                           // The window opens on the mask as it is, before any click can count.
                           bridge_.set_log_category_checkboxes();
                           set_ts_debug_log_level(static_cast<int>(core_->get_debug_log_level()));
                       }),
      help_(&help_window::helpWindow, build_help_window, [this](help_window& window) { help_window_built(window); },
            [this](bool shown) {
                help_visible_.store(shown);
                if (shown) show_help_text();
            }),
      update_(&update_window::updateWindow, build_update_window,
              [this](update_window& window) { update_window_built(window); }) {
    log(L"[KestrelController] init", log_level::ui);
    core_ = &config::instance();
    if (seams_.resource_dir.empty()) seams_.resource_dir = platform::bundle_resource_dir();
    if (!seams_.session) seams_.session = platform::current_session_kind();
    if (!seams_.accessibility_trusted) {
        std::shared_ptr<platform::accessibility> permission = platform::make_session_accessibility(*seams_.session);
        seams_.accessibility_trusted = [permission] { return permission->is_process_trusted(); };
    }
    if (!seams_.launch_arguments_given) seams_.launch_arguments = platform::launch_arguments();
    if (!seams_.send_debug_log) seams_.send_debug_log = [] { return pusher::send_debug_log(); };
    if (!seams_.install_launcher) seams_.install_launcher = [] { return platform::install_launcher_entry(); };
    // The preference panes where the desktop offers them, else the classic window.
    const auto& version = bridge_.desktop().version;
    if (!version || version->at_least(10, 15)) {
        preferences_ = std::make_unique<PreferencesWindowController>(*this, bridge_, seams_.resource_dir);
    } else {
        preferences_ = std::make_unique<osx_PreferencesWindow>(*this, bridge_);
    }
    log(L"[KestrelController] done init", log_level::ui);

    dynamic1_ = std::make_unique<QAction>();
    dynamic1_->setObjectName(QStringLiteral("dynamic1"));

    // The checkboxes stand for the mask until the window shows them.
    std::uint32_t states = 0;
    for (int i = 0; i < log_checkbox_count; ++i) {
        const auto box = static_cast<log_checkbox>(i);
        if (core_->get_debug_log_level() & log_checkbox_bit(box)) states |= checkbox_flag(box);
    }
    checkbox_states_.store(states);
}

KestrelController::~KestrelController() {
    if (debug_log_sender_.joinable()) debug_log_sender_.join();
}

void KestrelController::offline_time_panel_built(offline_time_panel& panel) {
    segmented_control* first = panel.activityBox;
    segmented_control* second = panel.activityBox2;
    first->set_action([this, first] { showAFKDetails(*first); });
    second->set_action([this, second] { showAFKDetails(*second); });
    QPushButton* details = panel.afkDetailButton;
    connect(details, &QPushButton::clicked, this, [this, details] { on_submit_offline_time(details); });
    connect(panel.afkDetailText, &QLineEdit::returnPressed, this, [this, details] { on_submit_offline_time(details); });
    connect(panel.goToOfflineTimeEntryButton, &QPushButton::clicked, this, [this] { goToOfflineTimeEntry(); });
    connect(panel.dismissOfflineTimeFor1hourButton, &QPushButton::clicked, this,
            [this] { dismissOfflineTimeFor1hour(); });
    connect(panel.goToOfflineTimeSettingsButton, &QPushButton::clicked, this, [this] { goToOfflineTimeSettings(); });
    connect(panel.cancelAFKEntryButton, &QPushButton::clicked, this, [this] { cancelAFKEntry(); });
    show_offline_time_labels(panel);
}

void KestrelController::focus_panel_built(focus_panel& panel) {
    connect(panel.blockingOKButton, &QPushButton::clicked, this, [this] { on_blockingOKButton(); });
    connect(panel.blockingTime, &QLineEdit::returnPressed, this, [this] { on_blockingOKButton(); });
    connect(panel.stillzone_settings_link, &QLabel::linkActivated, this, [this] { blockingScoreLinkClicked(); });
}

void KestrelController::troubleshooting_window_built(troubleshooting_window& window) {
    const std::uint32_t states = checkbox_states_.load();
    for (std::size_t i = 0; i < window.ts_log.size(); ++i) {
        const log_checkbox box = window_checkboxes[i];
        window.ts_log[i]->setChecked((states & checkbox_flag(box)) != 0);
        connect(window.ts_log[i], &QCheckBox::clicked, this, [this, box](bool checked) {
            const std::uint32_t flag = checkbox_flag(box);
            if (checked) {
                checkbox_states_.fetch_or(flag);
            } else {
                checkbox_states_.fetch_and(~flag);
            }
            ts_debug_level_changed();
        });
    }
    connect(window.sendDebugLogButton, &QPushButton::clicked, this, [this] { (void)sendDebugLog(); });
    connect(window.ts_open_directory_button, &QPushButton::clicked, this, [this] { ts_open_directory_clicked(); });
    connect(window.ts_reset_configuration_button, &QPushButton::clicked, this,
            [this] { ts_reset_configuration_clicked(); });
}

void KestrelController::help_window_built(help_window& window) {
    window.sessionInfoLabel->setText(QString::fromStdString(platform::session_reading_text(sessionKind())));
    connect(window.goToHelpWebsiteButton, &QPushButton::clicked, this, [this] { goToHelpWebsite(); });
    connect(window.copyHelpInfoToClipboardButton, &QPushButton::clicked, this, [this] { copyHelpInfoToClipboard(); });
    connect(window.openTroubleshootingButton, &QPushButton::clicked, this, [this] { openTroubleshooting(); });
    connect(window.takeSurveyButton, &QPushButton::clicked, this, [this] { takeSurvey(); });
    connect(window.aboutPanelButton, &QPushButton::clicked, this, [this] { aboutPanel(); });
}

void KestrelController::update_window_built(update_window& window) {
    connect(window.downloadButton, &QPushButton::clicked, this, [this] {
        log(L"[User Action] Open Download page.", log_level::ui);
        open_download_page(bridge_);
        if (QWidget* shown = update_.window()) shown->hide();
    });
    connect(window.closeUpdateWindowButton, &QPushButton::clicked, this, [this] {
        if (QWidget* shown = update_.window()) shown->hide();
    });
}

void KestrelController::awakeFromNib() {
    log(L"[KestrelController] awakeFromNib", log_level::ui);
    const std::string& resources = seams_.resource_dir;
    _kestrel_dock_normal = load_image_file("kestrel_icon_color", "icns", resources);
    _kestrel_dock_paused = load_image_file("kestrel_icon_paused", "icns", resources);
    _kestrel_dock_alert = load_image_file("kestrel_icon_alert", "icns", resources);
    _kestrel_icon_normal = load_named_image("kestrel_icon_normal", resources, 16);
    _kestrel_icon_paused = load_named_image("kestrel_icon_paused", resources, 16);
    _kestrel_icon_alert = load_named_image("kestrel_icon_alert", resources, 16);
    const bool all_loaded = _kestrel_dock_normal.loaded() && _kestrel_dock_paused.loaded() &&
                            _kestrel_dock_alert.loaded() && _kestrel_icon_normal.loaded() &&
                            _kestrel_icon_paused.loaded() && _kestrel_icon_alert.loaded();
    if (!all_loaded) {
        log(L"[KestrelController:awakeFromNib] Kestrel Icon as left uninitialized and set to nil.", log_level::error);
    }
    // The application's icon is what its windows show in the task bar.
    if (_kestrel_dock_normal.loaded()) QApplication::setWindowIcon(QIcon(QPixmap::fromImage(_kestrel_dock_normal.image)));
    setStatusMessage(L"running", 0);
    log(L"[KestrelController] done awakeFromNib", log_level::ui);
    core_->set_gui_loaded(true);
}

void KestrelController::applicationDidFinishLaunching() {
    if (const auto& status = bridge_.desktop().status) {
        status->set_tooltip("Kestrel");
        show_status_image(_kestrel_icon_normal.loaded() ? _kestrel_icon_normal.path : std::string(), true);
        if (!status->tray_available()) {
            log(L"[KestrelController:applicationDidFinishLaunching] No system tray is available: the status menu "
                L"opens at the pointer when Kestrel is started again.",
                log_level::error);
            no_tray_.show_unless_seen(bridge_.desktop().defaults.get());
        }
    }
    // Starting this entry opens the menu of the copy that runs (the way in
    // on a desktop without a tray).
    if (!seams_.install_launcher()) {
        log(L"[KestrelController:applicationDidFinishLaunching] Kestrel's entry among the applications could not be "
            L"written.",
            log_level::warning);
    }
    bridge_.install_status_menu();
    popover_ = std::make_unique<osx_Popover>(setup_context{bridge_, *this});
    opening_instance_observer_ =
        bridge_.notifications().add_observer(opening_instance_notification_name, [this](const platform::user_info&) {
            openStatusMenu();
        });
    // The tray may move the item (another icon arrives): the popover follows.
    if (const auto& status = bridge_.desktop().status) status->set_place_changed([this] { statusItemDidMove(); });
    popover_follower_.setInterval(500);
    connect(&popover_follower_, &QTimer::timeout, this, [this] { follow_status_item(); });

    const auto& arguments = seams_.launch_arguments;
    const bool installer_launch =
        std::find(arguments.begin(), arguments.end(), installer_launch_argument) != arguments.end();
    if (isActivated() && isProcessTrusted() && !installer_launch) {
        const auto& version = bridge_.desktop().version;
        if (!version || version->at_least(10, 14)) showAutomationAlertIfNotSeen();
        return;
    }
    std::weak_ptr<KestrelController*> self = self_;
    bridge_.queue().async_after(std::chrono::seconds(1), [self] {
        const auto alive = self.lock();
        if (!alive) return;
        // Where no tray shows the item, the popover would cover the note
        // that says how to reach Kestrel: it comes once the note is read.
        (*alive)->no_tray_.after_closed([self] {
            // The user may have reached the wizard by then (the launcher, a
            // second start): the popover would then stand over it.
            if (const auto still = self.lock(); still && !(*still)->isSetupWindowShown()) (*still)->showSetupPopover();
        });
    });
}

bool KestrelController::isSetupWindowShown() const {
    if (!popover_ || !popover_->setupVC) return false;
    osx_SetupWindowController& wizard = popover_->setupVC->setupWC();
    return wizard.isWindowLoaded() && wizard.window().isVisible();
}

// ---- status item and menu

std::string KestrelController::status_image_for(int state) const {
    const bundle_image* image = &_kestrel_icon_normal;
    if (state == 8) return {};
    if (state == 1) image = &_kestrel_icon_paused;
    if (state == 2 || state == 4) image = &_kestrel_icon_alert;
    return image->loaded() ? image->path : std::string();
}

void KestrelController::ux_set_tray_icon(int state) {
    try {
        const std::string image = status_image_for(state);
        on_main([this, state, image] { show_status_image(image, state != 8); });
    } catch (const std::exception& e) {
        log(L"[KestrelController:ux_set_tray_icon] Caught std::exception: " + util::utf8_to_wstring_lossy(e.what()),
            log_level::error);
    } catch (...) {
        log(L"[KestrelController:ux_set_tray_icon] Caught exception of unknown type.", log_level::error);
    }
}

void KestrelController::show_status_image(const std::string& image, bool visible) {
    const auto& status = bridge_.desktop().status;
    if (!status) return;
    // Alert and error states share one image: the tray redraws only for a change.
    if (image != shown_status_image_) {
        status->set_image(image);
        shown_status_image_ = image;
    }
    status->set_visible(visible);
}

void KestrelController::openStatusMenu() {
    on_main([this] {
        if (const auto& status = bridge_.desktop().status) status->open_menu();
    });
}

void KestrelController::menuWillOpen() {
    if (popover_ && popover_->isShown()) popover_->performClose();
    popover_follower_.stop();
}

void KestrelController::statusItemDidMove() {
    if (popover_ && popover_->isShown()) showSetupPopover();
}

void KestrelController::showSetupPopover() {
    if (!popover_) return;
    const auto& status = bridge_.desktop().status;
    popover_place_ = status ? status->place() : platform::screen_place{};
    popover_->showRelativeTo(popover_place_);
    follow_status_item();
}

void KestrelController::follow_status_item() {
    const auto& status = bridge_.desktop().status;
    const bool shown = popover_ && popover_->isShown();
    const platform::screen_place now = status && shown ? status->place() : platform::screen_place{};
    // Nothing to follow: no item with a place (no tray, or one that draws the
    // item itself and tells no place), or no popover. A tray that comes later
    // says so through the item.
    if (now.empty()) {
        popover_follower_.stop();
        return;
    }
    // The tray says when it moves the item within itself, but not when it
    // moves as a whole: while the popover points at the item, it looks.
    if (!popover_follower_.isActive()) popover_follower_.start();
    if (now.x != popover_place_.x || now.y != popover_place_.y) statusItemDidMove();
}

void KestrelController::showAutomationAlertIfNotSeen() {
    const auto& defaults = bridge_.desktop().defaults;
    if (!defaults || defaults->get_bool(automation_alert_shown_default)) return;
    automation_window_ = std::make_unique<QWidget>(nullptr, Qt::Window);
    automation_window_->setObjectName(QStringLiteral("automationWindow"));
    automation_window_->setWindowTitle(QStringLiteral("Kestrel"));
    automation_view_ =
        std::make_unique<AutomationMessagingViewController>(bridge_.desktop().version.get(), sessionKind());
    auto* column = new QVBoxLayout(automation_window_.get());
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(&automation_view_->view());
    platform::present(*automation_window_);
    (void)defaults->set_bool(automation_alert_shown_default, true);
    (void)defaults->synchronize();
}

// ---- sign-in

void KestrelController::setStatusMessage(const std::wstring& text, int mode) {
    preferences_->setStatusMessage(text, mode);
}

void KestrelController::set_state_post_activate() {
    on_main([this] { preferences_->updateWithPostActivateState(); });
}

void KestrelController::showPreferencesWindow() {
    on_main([this] { preferences_->showPreferencesWindow(); });
}

bool KestrelController::isActivated() {
    log(L"[KestrelController]  activated", log_level::ui);
    if (core_->has_enterprise_team_key()) return true;
    return !core_->get_account_key().empty();
}

bool KestrelController::isProcessTrusted() { return seams_.accessibility_trusted(); }

std::wstring KestrelController::username() const {
    std::lock_guard<std::mutex> lock(sign_in_mutex_);
    return username_;
}

std::wstring KestrelController::password() const {
    std::lock_guard<std::mutex> lock(sign_in_mutex_);
    return password_;
}

void KestrelController::setUsername(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(sign_in_mutex_);
    username_ = text;
}

void KestrelController::setPassword(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(sign_in_mutex_);
    password_ = text;
}

// ---- help

void KestrelController::goToHelp() {
    on_main([this] {
        const auto& keys = bridge_.desktop().keys;
        if (keys && keys->shift_held()) {
            platform::present(*troubleshooting_.ensure().ts_window);
        } else {
            platform::present(*help_.ensure().helpWindow);
        }
    });
}

void KestrelController::set_help_info(const std::wstring& text) {
    {
        std::lock_guard<std::mutex> lock(help_mutex_);
        help_text_ = text;
    }
    // A window that opens meanwhile shows the text from its show event.
    if (help_visible_.load()) on_main([this] { show_help_text(); });
}

std::wstring KestrelController::help_text() const {
    std::lock_guard<std::mutex> lock(help_mutex_);
    return help_text_;
}

void KestrelController::show_help_text() {
    help_window* window = help_.get();
    if (!window) return;
    QString shown = qt_text(help_text());
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (window->help_info->toPlainText() != shown) window->help_info->setPlainText(shown);
}

void KestrelController::set_dynamic1_text(const std::wstring& text) {
    on_main([this, text] { dynamic1_->setText(qt_text(text)); });
}

void KestrelController::goToHelpWebsite() {
    open_quickhelp_page(help_text(), bridge_);
    copyHelpInfoToClipboard();
}

void KestrelController::copyHelpInfoToClipboard() {
    if (const auto& pasteboard = bridge_.desktop().pasteboard) pasteboard->set_text(to_utf8(help_text()));
}

void KestrelController::openTroubleshooting() {
    preferences_->orderOut();
    platform::present(*troubleshooting_.ensure().ts_window);
}

void KestrelController::takeSurvey() { open_survey_page(bridge_); }

void KestrelController::aboutPanel() {
    const std::string version = platform::info_plist_string(getPlistPath(), "CFBundleShortVersionString");
    // Without a loop of its own, as the alerts: the tray's menu stays free while it is up.
    about_panel_ = std::make_unique<QMessageBox>(
        QMessageBox::Information, QStringLiteral("About Kestrel"),
        QStringLiteral("Kestrel %1\nRecords how you spend your time at the computer.").arg(QString::fromStdString(version)),
        QMessageBox::Ok);
    about_panel_->setObjectName("aboutPanel");
    about_panel_->setWindowModality(Qt::NonModal);  // a message box is modal unless told
    const QIcon application_icon = QApplication::windowIcon();
    if (!application_icon.isNull()) about_panel_->setIconPixmap(application_icon.pixmap(64, 64));
    platform::bring_to_front(*about_panel_);
}

// ---- updates

void KestrelController::show_update_check(const update_check_report& report) {
    on_main([this, report] {
        const update_window_texts texts = texts_for(report);
        update_.set_text(&update_window::updateHeadline, texts.headline);
        update_.set_text(&update_window::updateDetails, texts.details);
        update_window& window = update_.ensure();
        window.downloadButton->setVisible(texts.offers_download);
        // The user asked: the answer comes forward even when the window was closed meanwhile.
        platform::present(*window.updateWindow);
        (texts.offers_download ? window.downloadButton : window.closeUpdateWindowButton)->setFocus();
    });
}

// ---- offline time

void KestrelController::show_offline_time_window() {
    if (offline_panel_visible_.load()) return;
    log(L"[Controller:show_offline_time_window] actually showing the window.", log_level::offline_window);
    on_main([this] {
        offline_time_panel& panel = offline_.ensure();
        panel.activityBox->deselect_all();
        panel.activityBox2->deselect_all();
        panel.afkDetailText->clear();
        panel.afkDetailBox->hide();
        // A label chosen for an earlier absence is not this one's.
        chosen_label_.clear();
        platform::present(*panel.afkEntryPanel);
    });
}

void KestrelController::hide_offline_time_window() {
    log(L"[KestrelController:hide_offline_time_window]", log_level::offline_window);
    on_main([this] {
        if (QWidget* panel = offline_.window()) panel->hide();
    });
}

void KestrelController::ux_set_offline_time_labels() {
    on_main([this] {
        const std::vector<std::wstring> labels = core_->get_timepie_labels();
        log(L"[KestrelController:set_offline_time_labels] num lables: " + std::to_wstring(labels.size()), log_level::ui);
        // A released panel reads them when it is built again.
        if (offline_time_panel* panel = offline_.get()) show_offline_time_labels(*panel, labels);
    });
}

void KestrelController::show_offline_time_labels(offline_time_panel& panel) {
    show_offline_time_labels(panel, core_->get_timepie_labels());
}

void KestrelController::show_offline_time_labels(offline_time_panel& panel, const std::vector<std::wstring>& labels) {
    panel.activityBox->hide();
    panel.activityBox2->hide();
    const std::size_t shown = std::min<std::size_t>(labels.size(), 6);
    for (std::size_t i = 0; i < shown; ++i) {
        segmented_control* box = i < 3 ? panel.activityBox : panel.activityBox2;
        const int segment = static_cast<int>(i % 3);
        box->show();
        const bool empty = labels[i].empty();
        box->set_label(segment, empty ? QStringLiteral("Optional") : qt_text(labels[i]));
        box->set_segment_enabled(segment, !empty);
    }
    // Segments of a shown box that no label fills stay blank: a label of an
    // earlier set must not be offered.
    for (std::size_t i = shown; i < (shown <= 3 ? 3 : 6); ++i) {
        segmented_control* box = i < 3 ? panel.activityBox : panel.activityBox2;
        box->set_label(static_cast<int>(i % 3), QString());
        box->set_segment_enabled(static_cast<int>(i % 3), false);
    }
}

void KestrelController::ux_set_offline_time_start_time(const std::wstring& text) {
    on_main([this, text] {
        if (QLabel* shown = offline_.set_text(&offline_time_panel::afkEntryText, qt_text(text))) shown->repaint();
    });
}

void KestrelController::ux_set_offline_time_elapsed_time(const std::wstring& text) {
    on_main([this, text] {
        if (QLabel* shown = offline_.set_text(&offline_time_panel::elapsedTimeText, qt_text(text))) shown->repaint();
    });
}

void KestrelController::showAFKDetails(segmented_control& sender) {
    offline_time_panel* panel = offline_.get();
    const int selected = sender.selected_segment();
    if (panel && (&sender == panel->activityBox || &sender == panel->activityBox2) && selected >= 0) {
        panel->activityBox->deselect_all();
        panel->activityBox2->deselect_all();
        sender.set_selected(selected, true);
        const QString label = sender.label(selected);
        chosen_label_ = L"Offline Time - " + label.toStdWString();
        panel->afkDetailText->setPlaceholderText(QStringLiteral("Optional details for this %1").arg(label));
        panel->afkDetailText->selectAll();
        panel->afkDetailBox->show();
        panel->afkDetailText->setFocus();
    }
    const QString label = selected >= 0 ? sender.label(selected) : QString();
    log(L"[kescontroller:showAFKDetails] details expected: " + label.toStdWString(), log_level::user2);
    log(L"[kescontroller:showAFKDetails] details in reality: " +
            (panel ? panel->afkDetailText->text().toStdWString() : std::wstring()),
        log_level::user2);
}

void KestrelController::on_submit_offline_time(const QObject* sender) {
    log(L"[kescontroller:on_submit_offline_time]", log_level::ui);
    if (chosen_label_.empty()) {
        // Nothing says what the time was: a record without a name helps nobody.
        log(L"[kescontroller:on_submit_offline_time] No activity was chosen; nothing is recorded.", log_level::ui);
        return;
    }
    std::wstring details;
    const offline_time_panel* panel = offline_.get();
    if (panel && sender == panel->afkDetailButton) {
        details = panel->afkDetailText->text().toStdWString();
        if (details.compare(0, 8, L"Optional") == 0) details.clear();
    }
    bridge_.on_enter_offline_time(chosen_label_, details);
}

void KestrelController::goToOfflineTimeEntry() {
    bridge_.on_dismiss_offline_time(0);
    open_offline_time_page(bridge_);
}

void KestrelController::dismissOfflineTimeFor1hour() { bridge_.on_dismiss_offline_time(60); }

void KestrelController::goToOfflineTimeSettings() {
    log(L"[User Action][KestrelController:goToOfflineTimeSettings]", log_level::ui);
    bridge_.on_dismiss_offline_time(0);
    open_offline_time_settings_page(bridge_);
}

void KestrelController::cancelAFKEntry() { bridge_.on_dismiss_offline_time(0); }

// ---- focus sessions

void KestrelController::show_still_zone_window() {
    on_main([this] {
        focus_panel& panel = focus_.ensure();
        panel.blockingTime->setEnabled(true);
        panel.blockingOptions->setEnabled(true);
        panel.blockingOKButton->setText(QStringLiteral("Get Focused!"));
        panel.stillzone_settings_link->setText(QStringLiteral("<a href=\"settings\">%1</a>")
                                                   .arg(html_escaped(get_text(L"stillzone_window_description_link"))));
        panel.stillzone_settings_description->setText(qt_text(get_text(L"stillzone_window_description")));
        platform::present(*panel.blockingPanel);
    });
}

void KestrelController::hide_still_zone_window() {
    on_main([this] {
        if (QWidget* panel = focus_.window()) panel->hide();
    });
}

void KestrelController::set_still_zone_minutes(int minutes) {
    on_main([this, minutes] { focus_.set_text(&focus_panel::blockingTime, QString::number(minutes)); });
}

void KestrelController::displayBlockingPanel() { bridge_.on_show_still_zone_window(); }

void KestrelController::on_blockingOKButton() {
    focus_panel* panel = focus_.get();
    if (!panel) return;
    // The service is asked on the focus-request thread: this window, like
    // every other, stays with the user meanwhile.
    if (panel->blockingOKButton->text() == QLatin1String("Cancel")) {
        panel->blockingPanel->hide();
        bridge_.request_focus_session(0);
        return;
    }
    const QString typed = panel->blockingTime->text();
    const std::optional<int> minutes = whole_number(typed);
    // Text that is no number is no request: not even the 0 that ends a
    // running session.
    if (!minutes) {
        log(L"[ui:on_get_focused] Ignoring request to start Stillzone, minutes(" + typed.toStdWString() +
                L") not in range 1 to 1440",
            log_level::ui_error);
        set_still_zone_minutes(30);
        return;
    }
    // The window stays for a number the session cannot take: it then shows 30.
    if (*minutes >= -1 && *minutes <= 1440) panel->blockingPanel->hide();
    bridge_.request_focus_session(*minutes);
}

void KestrelController::blockingScoreLinkClicked() { open_still_zone_settings_page(bridge_); }

// ---- troubleshooting

bool KestrelController::is_troubleshooting_visible() { return troubleshooting_visible_.load(); }

void KestrelController::set_ts_text(QLabel* troubleshooting_window::*field, const QString& text) {
    on_main([this, field, text] { troubleshooting_.set_text(field, text); });
}

void KestrelController::set_ts_debug_log_level(int mask) {
    set_ts_text(&troubleshooting_window::ts_debug_level, QString::number(mask));
}

void KestrelController::set_ts_idle_time(std::int64_t seconds) {
    set_ts_text(&troubleshooting_window::ts_idle_time, QString::number(seconds));
}

void KestrelController::set_ts_debug_log_location(const std::wstring& text) {
    set_ts_text(&troubleshooting_window::ts_debug_log_location, qt_text(text));
}
void KestrelController::set_ts_os_username(const std::wstring& text) {
    set_ts_text(&troubleshooting_window::ts_os_username, qt_text(text));
}
void KestrelController::set_ts_machine_name(const std::wstring& text) {
    set_ts_text(&troubleshooting_window::ts_machine_name, qt_text(text));
}
void KestrelController::set_ts_application_name(const std::wstring& text) {
    set_ts_text(&troubleshooting_window::ts_application_name, qt_text(text));
}
void KestrelController::set_ts_application_version(const std::wstring& text) {
    set_ts_text(&troubleshooting_window::ts_application_version, qt_text(text));
}
void KestrelController::set_ts_window_title(const std::wstring& text) {
    set_ts_text(&troubleshooting_window::ts_window_title, qt_text(text));
}
void KestrelController::set_ts_extended_info(const std::wstring& text) {
    set_ts_text(&troubleshooting_window::ts_extended_info, qt_text(text));
}

QCheckBox* KestrelController::checkbox_for(log_checkbox box) const {
    const troubleshooting_window* window = troubleshooting_.get();
    if (!window) return nullptr;
    for (std::size_t i = 0; i < window_checkboxes.size(); ++i) {
        if (window_checkboxes[i] == box) return window->ts_log[i];
    }
    return nullptr;
}

bool KestrelController::get_control_checked_log(log_checkbox box) {
    // No box stands for the constructor lines: the mask keeps what it has.
    if (box == log_checkbox::ctor) return (core_->get_debug_log_level() & log_checkbox_bit(box)) != 0;
    return (checkbox_states_.load() & checkbox_flag(box)) != 0;
}

void KestrelController::set_control_checked_log(log_checkbox box, bool checked) {
    if (box == log_checkbox::ctor) return;
    const std::uint32_t flag = checkbox_flag(box);
    if (checked) {
        checkbox_states_.fetch_or(flag);
    } else {
        checkbox_states_.fetch_and(~flag);
    }
    // A released window takes the states when it is built again.
    on_main([this, box, checked] {
        QCheckBox* shown = checkbox_for(box);
        if (!shown) return;
        const QSignalBlocker quiet(shown);  // shown, not clicked
        shown->setChecked(checked);
    });
}

void KestrelController::ts_debug_level_changed() {
    log(L"[KestrelController] debug_log_level_changed", log_level::info);
    bridge_.on_debug_level_changed();
    set_ts_debug_log_level(static_cast<int>(core_->get_debug_log_level()));
}

void KestrelController::ts_reset_configuration_clicked() { bridge_.on_reset_config(); }

void KestrelController::ts_open_directory_clicked() { bridge_.on_open_directory(); }

bool KestrelController::sendDebugLog() {
    if (sending_debug_log_.exchange(true)) {
        log(L"[KestrelController:sendDebugLog] The debug log is being sent; the click is ignored.", log_level::ui);
        return false;
    }
    if (debug_log_sender_.joinable()) debug_log_sender_.join();  // the last upload has ended
    debug_log_sender_ = std::thread([this, send = seams_.send_debug_log] {
        bool received = false;
        try {
            received = send();
        } catch (const std::exception& e) {
            log(L"[KestrelController:sendDebugLog] Caught std::exception: " + util::utf8_to_wstring_lossy(e.what()),
                log_level::error);
        } catch (...) {
            log(L"[KestrelController:sendDebugLog] Caught unknown exception!", log_level::error);
        }
        bridge_.show_alert(received ? L"Debug log was successfully received by the server."
                                    : L"There was a problem sending the debug log server. The location of the debug "
                                      L"log is displayed on the diagnostics window. You can attach the file to a "
                                      L"support ticket.",
                           L"Kestrel Message");
        sending_debug_log_.store(false);
    });
    return true;
}

void KestrelController::startUpdate() { log(L"[KestrelController]startUpdate", log_level::info); }

// ---- the dock icon and the Info.plist

std::string KestrelController::getPlistPath() {
    log(L"[KestrelController] getPlistPath", log_level::ui);
    std::string path = platform::bundle_resource_path("kestrel_icon_color", "icns", seams_.resource_dir);
    const std::string resource = "Resources/kestrel_icon_color.icns";
    const auto at = path.rfind(resource);
    if (at != std::string::npos) path.replace(at, resource.size(), "Info.plist");
    log(L"[KestrelController] done getPlistPath", log_level::ui);
    return at == std::string::npos ? std::string() : path;
}

void KestrelController::toggleDockIcon() {
    // The installed bundle is not the user's to change (and may be read-only):
    // the choice is the user's own default. This desktop has no Dock, so
    // nothing reads it here.
    const auto& defaults = bridge_.desktop().defaults;
    if (!defaults) return;
    const std::string value = defaults->get_string(dock_icon_default);
    std::string toggled = value;
    if (value.empty() || value == "0") toggled = "1";
    if (value == "1") toggled = "0";
    if (!defaults->set_string(dock_icon_default, toggled)) {
        log(L"[KestrelController:toggleDockIcon] Could not keep NSUIElement in the user's settings.", log_level::error);
    }
}

// ---- helpers

bool KestrelController::sleeping() {
    sleeping_ = !core_->is_logging_allowed_now();
    return sleeping_;
}

std::wstring KestrelController::getHmsTime(double seconds) {
    const long long hours = static_cast<long long>(std::trunc(seconds / 3600));
    char text[64];
    if (hours > 36) {
        std::snprintf(text, sizeof text, "%0.2f %s", seconds / 86400, "d");
    } else if (seconds < 60) {
        return L"< 1 m";
    } else {
        const long long minutes = static_cast<long long>(std::trunc((seconds - static_cast<double>(hours) * 3600) / 60));
        if (hours > 0) {
            std::snprintf(text, sizeof text, "%lld%s %02lld%s", hours, "h", minutes, "m");
        } else {
            std::snprintf(text, sizeof text, "%lld%s", minutes, "m");
        }
    }
    return util::widen(text);
}

void KestrelController::on_main(std::function<void()> work) {
    platform::post_to_main_thread_while(bridge_.queue(), std::weak_ptr<KestrelController*>(self_), std::move(work));
}

}  // namespace kes
