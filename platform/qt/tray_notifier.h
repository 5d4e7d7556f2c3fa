#pragma once
// Notifications as the status item's balloon; where no tray shows the item,
// the line goes to the log function the notifier was given.

#include "platform/status_item.h"
#include "platform/user_notifier.h"

#include <functional>
#include <memory>

namespace platform {

class main_queue;

class tray_notifier final : public user_notifier {
public:
    using log_function = std::function<void(const std::string& title, const std::string& text)>;

    tray_notifier(main_queue& queue, std::shared_ptr<status_item> item, log_function log);

    delivery notify(const std::string& title, const std::string& text) override;

private:
    main_queue& queue_;
    std::shared_ptr<status_item> item_;
    log_function log_;
};

}  // namespace platform
