#pragma once
// Acts on the agent's alert dialogs as a user would: from the toolkit's loop
// (a modal one too), it polls for the alert on screen and hands it to the
// test's action.
// It also notes whether two alerts were ever on screen at once.

#include "platform/qt/alert_dialog.h"

#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace platform::testing {

class alert_driver {
public:
    // `act` is called for each newly shown alert; it answers true once it
    // has dealt with it (false: call again on the next poll).
    explicit alert_driver(std::function<bool(alert_dialog&)> act);

    std::vector<std::string> messages_seen() const { return seen_; }
    int most_shown_at_once() const { return most_at_once_; }

private:
    void poll();

    std::function<bool(alert_dialog&)> act_;
    QTimer timer_;
    bool current_done_ = false;
    std::vector<std::string> seen_;
    int most_at_once_ = 0;
};

// Clicks a button of the alert the way the mouse does.
void click(alert_dialog& dialog, std::size_t button);

// The alert in a modal loop of its own, which the agent never runs: the main
// queue's tests hold the queue with it. Answers the button that ended it (no
// answer when the loop was ended from outside).
alert_response run_modal(const alert& request);

}  // namespace platform::testing
