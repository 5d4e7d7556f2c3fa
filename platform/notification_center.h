#pragma once
// Notifications inside the process: a name and a few texts (the user info),
// posted by one part and observed by parts that do not know each other (the
// UI bridge tells the sign-in views of status texts; a second start of the
// agent asks the controller to open the status menu). Observers run on the
// posting thread, in the order they were added; an observer removed while a
// notification is being delivered is not called any more (a call already
// running on another thread still ends: observe and stop observing on the
// thread that posts, the main thread, where that cannot happen).

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace platform {

using user_info = std::map<std::string, std::string>;

class notification_center {
public:
    using observer = std::function<void(const user_info& info)>;

    // Ends the observation when it ends (also after the centre is gone).
    class token {
    public:
        token() = default;
        token(token&&) noexcept = default;
        token& operator=(token&& other) noexcept;
        token(const token&) = delete;
        token& operator=(const token&) = delete;
        ~token();

        void reset();
        bool active() const;

    private:
        friend class notification_center;
        struct entry;
        token(std::weak_ptr<void> state, std::shared_ptr<entry> observed);

        std::weak_ptr<void> state_;
        std::shared_ptr<entry> entry_;
    };

    notification_center();
    ~notification_center();
    notification_center(const notification_center&) = delete;
    notification_center& operator=(const notification_center&) = delete;

    // The process-wide centre (never destroyed).
    static notification_center& default_center();

    [[nodiscard]] token add_observer(const std::string& name, observer handler);
    // Any thread; returns once every observer of `name` has run.
    void post(const std::string& name, const user_info& info = {});

private:
    struct state;
    std::shared_ptr<state> state_;
};

}  // namespace platform
