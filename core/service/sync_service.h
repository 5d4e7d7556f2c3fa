#pragma once
// The web-service calls the pusher and the puller make, as an interface so
// that they can be driven without a network. `make_sync_service` forwards to
// a real client (the process-wide one unless another is given); each call
// throws what the client throws (Kestrel::Network exceptions).

#include "core/foundation/dynamic_structure.h"
#include "core/service/api.h"

#include <memory>
#include <string>
#include <vector>

namespace kes {

class sync_service {
public:
    virtual ~sync_service() = default;

    virtual std::wstring activate_silent() = 0;
    virtual void upload_tz_event(const std::wstring& data_key, double start_time, const std::string& zone_name) = 0;
    virtual void upload_debug_log(const std::wstring& text) = 0;
    virtual void upload_activity_log(const upload_file& file, const std::wstring& host,
                                     const std::wstring& account_key) = 0;

    virtual std::vector<message> get_messages() = 0;
    virtual DynamicStructure get_config() = 0;
    virtual Kestrel::Network::alerts_result get_alerts() = 0;
    virtual DynamicStructure get_browser_support_list() = 0;
    virtual Kestrel::Network::block_list_result get_blocked_list(bool start, bool end, int duration_minutes) = 0;
};

// The client must outlive the returned object.
std::shared_ptr<sync_service> make_sync_service(
    Kestrel::Network::API& client = Kestrel::Network::API::get_instance());

}  // namespace kes
