#include "gui/kestrel_layout.h"

#include "gui/layout_parts.h"
#include "gui/segmented_control.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kes {
namespace {

// A value the agent keeps current: selectable, so support can copy it.
QLabel* selectable_label(QWidget* parent, const char* name) {
    auto* label = named(new QLabel(parent), name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* value_label(QWidget* parent, const char* name) {
    QLabel* label = selectable_label(parent, name);
    label->setWordWrap(true);
    label->setMinimumWidth(320);
    return label;
}

}  // namespace

offline_time_panel build_offline_time_panel() {
    offline_time_panel made;
    made.afkEntryPanel = top_level_window(offline_time_panel::layout_name, QStringLiteral("Kestrel - Offline Time"),
                                          Qt::WindowStaysOnTopHint);
    QWidget* panel = made.afkEntryPanel.get();

    made.afkEntryText = text_label(panel, "afkEntryText", QStringLiteral("What were you doing while you were away?"));
    QFont question = made.afkEntryText->font();
    question.setBold(true);
    question.setPointSizeF(question.pointSizeF() * 1.15);
    made.afkEntryText->setFont(question);
    made.elapsedTimeText = text_label(panel, "elapsedTimeText", QStringLiteral("00:00:00"));

    made.activityBox = new segmented_control(3, panel);
    made.activityBox->set_name(QStringLiteral("activityBox"));
    made.activityBox2 = new segmented_control(3, panel);
    made.activityBox2->set_name(QStringLiteral("activityBox2"));

    made.afkDetailBox = named(new QGroupBox(QStringLiteral("Details"), panel), "afkDetailBox");
    made.afkDetailText = named(new QLineEdit(made.afkDetailBox), "afkDetailText");
    made.afkDetailButton = push_button(made.afkDetailBox, "afkDetailButton", QStringLiteral("Submit"));
    made.afkDetailButton->setDefault(true);
    auto* details = new QHBoxLayout(made.afkDetailBox);
    details->addWidget(made.afkDetailText, 1);
    details->addWidget(made.afkDetailButton);
    made.afkDetailBox->setVisible(false);

    made.goToOfflineTimeEntryButton =
        push_button(panel, "goToOfflineTimeEntryButton", QStringLiteral("Enter on the Website..."));
    made.dismissOfflineTimeFor1hourButton =
        push_button(panel, "dismissOfflineTimeFor1hourButton", QStringLiteral("Not Now (1 Hour)"));
    made.goToOfflineTimeSettingsButton =
        push_button(panel, "goToOfflineTimeSettingsButton", QStringLiteral("Offline Time Settings..."));
    made.cancelAFKEntryButton = push_button(panel, "cancelAFKEntryButton", QStringLiteral("Cancel"));

    auto* actions = new QHBoxLayout;
    actions->addWidget(made.goToOfflineTimeSettingsButton);
    actions->addStretch(1);
    actions->addWidget(made.goToOfflineTimeEntryButton);
    actions->addWidget(made.dismissOfflineTimeFor1hourButton);
    actions->addWidget(made.cancelAFKEntryButton);

    auto* column = new QVBoxLayout(panel);
    // The panel takes the size of what it shows: it grows when the details
    // open and shrinks when they are hidden again, opened anew included.
    column->setSizeConstraint(QLayout::SetFixedSize);
    column->addStrut(480);  // its narrowest
    column->addWidget(made.afkEntryText);
    column->addWidget(made.elapsedTimeText);
    column->addSpacing(6);
    column->addWidget(made.activityBox);
    column->addWidget(made.activityBox2);
    column->addWidget(made.afkDetailBox);
    column->addLayout(actions);
    return made;
}

focus_panel build_focus_panel() {
    focus_panel made;
    made.blockingPanel =
        top_level_window(focus_panel::layout_name, QStringLiteral("Kestrel - Stillzone"), Qt::WindowStaysOnTopHint);
    QWidget* panel = made.blockingPanel.get();
    panel->setMinimumWidth(440);

    auto* intro = text_label(panel, "blockingIntro",
                             QStringLiteral("Start a Stillzone session: the pages on your block list stay blocked "
                                            "until it ends."));
    made.blockingTime = named(new QLineEdit(panel), "blockingTime");
    made.blockingTime->setMaximumWidth(80);
    made.blockingTime->setAlignment(Qt::AlignRight);
    auto* minutes = new QHBoxLayout;
    minutes->addWidget(new QLabel(QStringLiteral("Focus for"), panel));
    minutes->addWidget(made.blockingTime);
    minutes->addWidget(new QLabel(QStringLiteral("minutes"), panel));
    minutes->addStretch(1);

    made.blockingOptions = named(new QGroupBox(QStringLiteral("During the session"), panel), "blockingOptions");
    auto* option = named(new QRadioButton(QStringLiteral("Block the sites on my block list"), made.blockingOptions),
                         "blockingOptionBlockList");
    option->setChecked(true);
    auto* options = new QVBoxLayout(made.blockingOptions);
    options->addWidget(option);

    // "<link> <description>" reads as one sentence.
    made.stillzone_settings_link = text_label(panel, "stillzone_settings_link");
    made.stillzone_settings_link->setTextFormat(Qt::RichText);
    made.stillzone_settings_link->setWordWrap(false);
    made.stillzone_settings_link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    made.stillzone_settings_description = text_label(panel, "stillzone_settings_description");
    made.blockingOKButton = push_button(panel, "blockingOKButton", QStringLiteral("Get Focused!"));
    made.blockingOKButton->setDefault(true);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(made.stillzone_settings_link);
    bottom->addWidget(made.stillzone_settings_description, 1);
    bottom->addWidget(made.blockingOKButton);

    auto* column = new QVBoxLayout(panel);
    column->addWidget(intro);
    column->addLayout(minutes);
    column->addWidget(made.blockingOptions);
    column->addStretch(1);
    column->addLayout(bottom);
    return made;
}

troubleshooting_window build_troubleshooting_window() {
    troubleshooting_window made;
    made.ts_window = top_level_window(troubleshooting_window::layout_name, QStringLiteral("Kestrel Troubleshooting"));
    QWidget* window = made.ts_window.get();

    auto* values = new QFormLayout;
    const auto row = [&](const QString& title, const char* name) {
        QLabel* value = value_label(window, name);
        values->addRow(title, value);
        return value;
    };
    made.ts_debug_level = row(QStringLiteral("Debug log level:"), "ts_debug_level");
    // A path stays one line: a label breaks only at blanks and cuts a longer
    // word at its edge, and a path copied from it must be the path. Its width
    // is the path's, so the window widens to hold it whole.
    made.ts_debug_log_location = selectable_label(window, "ts_debug_log_location");
    values->addRow(QStringLiteral("Debug log:"), made.ts_debug_log_location);
    made.ts_idle_time = row(QStringLiteral("Idle time (s):"), "ts_idle_time");
    made.ts_os_username = row(QStringLiteral("User:"), "ts_os_username");
    made.ts_machine_name = row(QStringLiteral("Computer:"), "ts_machine_name");
    made.ts_application_name = row(QStringLiteral("Application:"), "ts_application_name");
    made.ts_application_version = row(QStringLiteral("Version:"), "ts_application_version");
    made.ts_window_title = row(QStringLiteral("Window title:"), "ts_window_title");
    made.ts_extended_info = row(QStringLiteral("Page:"), "ts_extended_info");

    static constexpr std::array<std::pair<const char*, const char*>, troubleshooting_window::checkbox_count> boxes = {{
        {"ts_log_error", "Errors"}, {"ts_log_warning", "Warnings"}, {"ts_log_info", "Info"},
        {"ts_log_debug", "Debug"}, {"ts_log_ui", "User interface"}, {"ts_log_network", "Network"},
        {"ts_log_service", "Service"}, {"ts_log_url", "Addresses"}, {"ts_log_user1", "User 1"},
        {"ts_log_user2", "User 2"}, {"ts_log_user3", "User 3"}, {"ts_log_user4", "User 4"},
    }};
    auto* categories = named(new QGroupBox(QStringLiteral("Debug log categories"), window), "ts_log_categories");
    auto* grid = new QGridLayout(categories);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        made.ts_log[i] = named(new QCheckBox(QString::fromLatin1(boxes[i].second), categories), boxes[i].first);
        grid->addWidget(made.ts_log[i], static_cast<int>(i / 4), static_cast<int>(i % 4));
    }

    made.sendDebugLogButton = push_button(window, "sendDebugLogButton", QStringLiteral("Send Debug Log"));
    made.ts_open_directory_button = push_button(window, "ts_open_directory_button", QStringLiteral("Open Log Folder"));
    made.ts_reset_configuration_button =
        push_button(window, "ts_reset_configuration_button", QStringLiteral("Reset Configuration..."));
    // No "Toggle Dock Icon" here: this desktop has no Dock.
    auto* actions = new QHBoxLayout;
    actions->addWidget(made.ts_reset_configuration_button);
    actions->addStretch(1);
    actions->addWidget(made.ts_open_directory_button);
    actions->addWidget(made.sendDebugLogButton);

    auto* column = new QVBoxLayout(window);
    column->addLayout(values);
    column->addWidget(categories);
    column->addLayout(actions);
    return made;
}

help_window build_help_window() {
    help_window made;
    made.helpWindow = top_level_window(help_window::layout_name, QStringLiteral("Kestrel Help"));
    QWidget* window = made.helpWindow.get();
    window->resize(560, 380);

    auto* intro = text_label(window, "helpIntro",
                             QStringLiteral("Kestrel support may ask for the information below. It is also sent "
                                            "along when you open the help website from here."));
    made.help_info = named(new QPlainTextEdit(window), "help_info");
    made.help_info->setReadOnly(true);
    made.help_info->setLineWrapMode(QPlainTextEdit::NoWrap);
    made.sessionInfoLabel = text_label(window, "sessionInfoLabel");

    made.goToHelpWebsiteButton = push_button(window, "goToHelpWebsiteButton", QStringLiteral("Open Help Website"));
    made.copyHelpInfoToClipboardButton =
        push_button(window, "copyHelpInfoToClipboardButton", QStringLiteral("Copy to Clipboard"));
    made.openTroubleshootingButton = push_button(window, "openTroubleshootingButton", QStringLiteral("Troubleshooting..."));
    made.takeSurveyButton = push_button(window, "takeSurveyButton", QStringLiteral("Take the Survey..."));
    made.aboutPanelButton = push_button(window, "aboutPanelButton", QStringLiteral("About Kestrel"));
    auto* actions = new QHBoxLayout;
    actions->addWidget(made.aboutPanelButton);
    actions->addWidget(made.openTroubleshootingButton);
    actions->addWidget(made.takeSurveyButton);
    actions->addStretch(1);
    actions->addWidget(made.copyHelpInfoToClipboardButton);
    actions->addWidget(made.goToHelpWebsiteButton);

    auto* column = new QVBoxLayout(window);
    column->addWidget(intro);
    column->addWidget(made.help_info, 1);
    column->addWidget(made.sessionInfoLabel);
    column->addLayout(actions);
    return made;
}

}  // namespace kes
