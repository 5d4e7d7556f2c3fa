#pragma once
// The desktop's updater, asked to look for a newer version of the agent
// without the user (the service's update messages). It never installs
// anything.

namespace platform {

class updater {
public:
    virtual ~updater() = default;

    // Has a newer version looked for; the user hears only of one found.
    // Returns at once. May throw when the looking cannot be started.
    virtual void check_in_background() = 0;
};

}  // namespace platform
