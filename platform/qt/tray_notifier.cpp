#include "platform/qt/tray_notifier.h"

#include "platform/main_queue.h"

namespace platform {

tray_notifier::tray_notifier(main_queue& queue, std::shared_ptr<status_item> item, log_function log)
    : queue_(queue), item_(std::move(item)), log_(std::move(log)) {}

namespace {

user_notifier::delivery deliver(status_item* item, const tray_notifier::log_function& log, const std::string& title,
                                const std::string& text) {
    if (item && item->show_message(title, text)) return user_notifier::delivery::shown;
    if (log) log(title, text);
    return user_notifier::delivery::logged;
}

}  // namespace

user_notifier::delivery tray_notifier::notify(const std::string& title, const std::string& text) {
    if (queue_.is_main_thread()) return deliver(item_.get(), log_, title, text);
    // The caller (the UI's periodic thread) never waits for the main thread.
    queue_.async([item = item_, log = log_, title, text] { deliver(item.get(), log, title, text); });
    return delivery::queued;
}

}  // namespace platform
