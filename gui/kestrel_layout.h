#pragma once
// The main window layout, "Kestrel": the windows the application controller
// owns, each made by its own builder. Every control the controller talks to
// is an outlet, with the outlet's name as its objectName; the builders only
// lay the windows out, the controller wires their actions.

#include <QString>

#include <array>
#include <memory>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kes {

class segmented_control;

inline constexpr const char* kestrel_layout_name = "Kestrel";

// The prompt after an absence: what was the user doing while away?
struct offline_time_panel {
    static constexpr const char* layout_name = "afkEntryPanel";

    std::unique_ptr<QWidget> afkEntryPanel;
    QLabel* afkEntryText = nullptr;      // the question, with the start of the absence
    QLabel* elapsedTimeText = nullptr;   // how long it lasted
    segmented_control* activityBox = nullptr;   // labels 1-3
    segmented_control* activityBox2 = nullptr;  // labels 4-6
    QGroupBox* afkDetailBox = nullptr;   // hidden until a label is chosen
    QLineEdit* afkDetailText = nullptr;
    QPushButton* afkDetailButton = nullptr;
    QPushButton* goToOfflineTimeEntryButton = nullptr;
    QPushButton* dismissOfflineTimeFor1hourButton = nullptr;
    QPushButton* goToOfflineTimeSettingsButton = nullptr;
    QPushButton* cancelAFKEntryButton = nullptr;
};
offline_time_panel build_offline_time_panel();

// A focus session of the user's own length.
struct focus_panel {
    static constexpr const char* layout_name = "blockingPanel";

    std::unique_ptr<QWidget> blockingPanel;
    QLabel* stillzone_settings_description = nullptr;
    QLineEdit* blockingTime = nullptr;  // minutes
    QGroupBox* blockingOptions = nullptr;
    QLabel* stillzone_settings_link = nullptr;
    QPushButton* blockingOKButton = nullptr;
};
focus_panel build_focus_panel();

// Live values for support, the debug-log categories and the support actions.
struct troubleshooting_window {
    static constexpr const char* layout_name = "ts_window";
    // One checkbox per debug-log category but the constructor lines, in the
    // troubleshooting order: error, warning, info, debug, ui, network,
    // service, url, user1 .. user4.
    static constexpr int checkbox_count = 12;

    std::unique_ptr<QWidget> ts_window;
    QLabel* ts_debug_level = nullptr;
    QLabel* ts_debug_log_location = nullptr;
    QLabel* ts_idle_time = nullptr;
    QLabel* ts_os_username = nullptr;
    QLabel* ts_machine_name = nullptr;
    QLabel* ts_application_name = nullptr;
    QLabel* ts_application_version = nullptr;
    QLabel* ts_window_title = nullptr;
    QLabel* ts_extended_info = nullptr;
    std::array<QCheckBox*, checkbox_count> ts_log{};  // ts_log_error, ts_log_warning, ...
    QPushButton* sendDebugLogButton = nullptr;
    QPushButton* ts_open_directory_button = nullptr;
    QPushButton* ts_reset_configuration_button = nullptr;
};
troubleshooting_window build_troubleshooting_window();

// The help window: diagnostic text for support and the ways to reach it.
struct help_window {
    static constexpr const char* layout_name = "helpWindow";

    std::unique_ptr<QWidget> helpWindow;
    QPlainTextEdit* help_info = nullptr;
    QLabel* sessionInfoLabel = nullptr;  // what this desktop session lets Kestrel read
    QPushButton* goToHelpWebsiteButton = nullptr;
    QPushButton* copyHelpInfoToClipboardButton = nullptr;
    QPushButton* openTroubleshootingButton = nullptr;
    QPushButton* takeSurveyButton = nullptr;
    QPushButton* aboutPanelButton = nullptr;
};
help_window build_help_window();

}  // namespace kes
