#include "core/service/service_activation.h"

#include "core/service/network_errors.h"

namespace kes {
namespace {

template <class Call>
activation_result run(Call&& call) {
    activation_result answer;
    try {
        answer.account_key = call();
        answer.result = activation_result::outcome::success;
    } catch (const Kestrel::Network::InvalidKey& e) {
        answer.result = activation_result::outcome::invalid_key;
        answer.message = e.message;
    } catch (const Kestrel::Network::Exception& e) {
        answer.result = activation_result::outcome::service_error;
        answer.message = e.message;
    }
    return answer;
}

}  // namespace

service_activation::service_activation(Kestrel::Network::API& api) : api_(api) {}

activation_result service_activation::activate_enterprise(const std::wstring& team_key) {
    return run([&] { return api_.activate_enterprise(team_key); });
}

activation_result service_activation::activate_silent() {
    return run([&] { return api_.activate_silent(); });
}

std::shared_ptr<activation_service> make_service_activation() { return std::make_shared<service_activation>(); }

}  // namespace kes
