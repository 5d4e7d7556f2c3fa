#pragma once
// The codes of the service's message list: what the puller is asked to do.
// Codes the agent does not know arrive unchanged and are ignored.

#include <cstdint>

namespace kes {

enum class message : std::int32_t {
    pull_alerts = 1,
    pull_config = 2,
    update_client = 3,
    update_client_beta = 4,
    update_block_list = 5,
    survey_available = 6,
};

}  // namespace kes
