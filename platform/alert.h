#pragma once
// An alert: a message, an informative text beneath it, buttons (the first is
// the default), optionally a text field for an answer, and which control
// holds the focus first. The answer is alert_first_button + i for the i-th
// button, the numbering the agent's callers compare with. An alert is never
// modal: whoever needs the answer is handed it when the user has chosen.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class main_queue;

inline constexpr int alert_first_button = 1000;
// Not answered: the alert was never shown or the main queue closed first.
inline constexpr int alert_no_answer = 0;

struct alert {
    enum class style { warning, informational, critical };
    struct text_field {
        int width = 230;  // at least this size
        int height = 24;
        std::string text;  // initial text
    };
    enum class focus { default_button, field };

    std::string message;  // the headline
    std::string informative_text;
    std::vector<std::string> buttons;  // none given: one "OK"
    style kind = style::warning;
    std::optional<text_field> field;
    focus initial_focus = focus::default_button;

    std::vector<std::string> button_titles() const;
    // The button that Escape and closing the window stand for: the one titled
    // "Cancel", else the only button; with neither the user must choose.
    std::optional<std::size_t> cancel_button() const;
};

struct alert_response {
    int code = alert_no_answer;
    std::string field_text;  // the field's text when the alert closed

    bool chose(std::size_t button) const { return code == alert_first_button + static_cast<int>(button); }
};

class alert_presenter {
public:
    using answer_handler = std::function<void(const alert_response&)>;

    virtual ~alert_presenter() = default;

    // Main thread. Shows the alert once every alert shown before it has been
    // answered, and returns at once: no loop of its own runs, so the main
    // queue, the tray's menu and the other windows stay free while it is up.
    // `answered` (may be empty) runs on the main thread once the user has
    // chosen. Alerts still up or waiting when the presenter ends are
    // dropped unanswered.
    virtual void show(const alert& request, answer_handler answered) = 0;
};

// For a thread that cannot go on without the answer (the sign-in's second
// factor): the alert is shown through the main queue and the caller waits.
// No answer at once on the main thread itself, and once the queue closes.
alert_response wait_for_answer(const std::shared_ptr<alert_presenter>& alerts, main_queue& queue,
                               const alert& request);

}  // namespace platform
