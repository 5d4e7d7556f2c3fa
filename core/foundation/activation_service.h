#pragma once
// The two account activations the configuration policies need from the web
// service. The service client implements this; until one is set on the
// configuration store, no activation happens.

#include <string>

namespace kes {

struct activation_result {
    enum class outcome {
        success,        // the service accepted the request
        invalid_key,    // the service rejected the account key
        service_error,  // any other failure of the service or the network
    };
    outcome result = outcome::service_error;
    std::wstring account_key;  // the enrolled account's key (team enrolment only)
    std::wstring message;      // ready-to-show text of a failure
};

class activation_service {
public:
    virtual ~activation_service() = default;

    // Enrols this computer with a team and answers the new account key.
    virtual activation_result activate_enterprise(const std::wstring& team_key) = 0;

    // Activates this computer under the stored account key.
    virtual activation_result activate_silent() = 0;
};

}  // namespace kes
