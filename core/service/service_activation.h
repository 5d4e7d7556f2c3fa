#pragma once
// The web-service client behind the configuration store's activation seam:
// `config::is_authenticated` enrols and activates through this object.
// `main` sets it once, before any thread may ask.

#include "core/foundation/activation_service.h"
#include "core/service/api.h"

#include <memory>

namespace kes {

class service_activation : public activation_service {
public:
    // The process-wide client unless a test or probe program gives its own.
    explicit service_activation(Kestrel::Network::API& api = Kestrel::Network::API::get_instance());

    activation_result activate_enterprise(const std::wstring& team_key) override;
    activation_result activate_silent() override;

private:
    Kestrel::Network::API& api_;
};

std::shared_ptr<activation_service> make_service_activation();

}  // namespace kes
