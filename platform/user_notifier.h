#pragma once
// A notification for the user: the status item's message where a tray shows
// the item, else a line for the debug log (the caller's log, handed in by
// whoever makes the notifier).

#include <string>

namespace platform {

class user_notifier {
public:
    enum class delivery {
        shown,   // a balloon from the status item
        logged,  // no tray shows the item: a debug-log line instead
        queued,  // asked off the main thread: handed to the main queue, shown or logged there
    };

    virtual ~user_notifier() = default;

    // Any thread; a notification is shown (or logged) on the main thread.
    virtual delivery notify(const std::string& title, const std::string& text) = 0;
};

}  // namespace platform
