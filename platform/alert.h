#pragma once
// A modal alert: a message, an informative text beneath it, buttons (the first
// is the default), optionally a text field for an answer, and which control
// holds the focus first. The answer is alert_first_button + i for the i-th
// button, the numbering the agent's callers compare with.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr int alert_first_button = 1000;
// Not shown (the main loop has ended), or closed without choosing a button.
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
    virtual ~alert_presenter() = default;

    // Shows the alert and waits for the user. On the main thread it runs a
    // modal loop of its own (a task that calls it holds the main queue until
    // it returns); from another thread it is handed to the main queue and the
    // caller waits, with alert_no_answer once the queue is closed.
    virtual alert_response run_modal(const alert& request) = 0;
};

}  // namespace platform
