#include "core/service/puller.h"

namespace kes {

puller::puller() = default;
puller::~puller() = default;

void puller::update_idle_activity_list() {}
void puller::pull_config() {}
void puller::update_browser_support() {}
std::vector<std::uint32_t> puller::pull_messages() { return {}; }
void puller::pull_alerts() {}
void puller::update_client() {}
void puller::update_client_beta() {}
void puller::update_blocked_list_no_params() {}

}  // namespace kes
