#pragma once
// Fetches what the web service has for the agent: settings, browser support,
// messages and what they ask for.

#include "core/foundation/noncopyable.h"

#include <cstdint>
#include <vector>

namespace kes {

class puller : public noncopyable {
public:
    puller();
    virtual ~puller();

    virtual void update_idle_activity_list();
    virtual void pull_config();
    virtual void update_browser_support();
    virtual std::vector<std::uint32_t> pull_messages();
    virtual void pull_alerts();
    virtual void update_client();
    virtual void update_client_beta();
    virtual void update_blocked_list_no_params();
};

}  // namespace kes
