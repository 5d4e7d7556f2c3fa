#include "core/service/ui_thread_rule.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

#include <memory>
#include <mutex>

namespace kes::network {
namespace {

struct rule {
    std::function<bool()> is_ui_thread;
    ui_thread_policy policy = ui_thread_policy::report;
};

std::mutex& rule_mutex() {
    static std::mutex mutex;
    return mutex;
}

// Replaced whole, never changed in place: a request keeps the rule it read.
std::shared_ptr<const rule>& current_rule() {
    static std::shared_ptr<const rule> installed;
    return installed;
}

}  // namespace

void set_ui_thread_rule(std::function<bool()> is_ui_thread, ui_thread_policy policy) {
    std::shared_ptr<const rule> made;
    if (is_ui_thread) made = std::make_shared<const rule>(rule{std::move(is_ui_thread), policy});
    std::lock_guard<std::mutex> lock(rule_mutex());
    current_rule() = std::move(made);
}

bool may_request_on_this_thread(const std::string& path) {
    std::shared_ptr<const rule> in_force;
    {
        std::lock_guard<std::mutex> lock(rule_mutex());
        in_force = current_rule();
    }
    if (!in_force || !in_force->is_ui_thread()) return true;
    const bool refused = in_force->policy == ui_thread_policy::refuse;
    // The query may carry keys; the endpoint says enough.
    log(L"[network::request] A request on the thread that draws the user interface: " +
            util::utf8_to_wstring_lossy(path.substr(0, path.find('?'))) + (refused ? L" (refused)" : L""),
        log_level::caught_network);
    return !refused;
}

}  // namespace kes::network
