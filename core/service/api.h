#pragma once
// The client of the Kestrel web service: one operation per endpoint. Each
// builds one request, performs it, checks the HTTP status and (where the
// endpoint has one) the service's result code, and turns the JSON answer
// into a plain result. Hosts and keys are read from the configuration at
// every call; nothing is kept between calls, so any thread may call.
//
// Failures are Kestrel::Network exceptions (core/service/network_errors.h):
// CurlError (transport), UnexpectedHTTPCode, ParseError (not JSON, a member
// missing or of the wrong kind), InvalidKey and TwoFactorRequired (result
// codes 4 and 5) and the base class (other result codes).

#include "core/capture/upload_folder.h"
#include "core/foundation/noncopyable.h"
#include "core/service/api_results.h"
#include "core/service/message.h"
#include "core/service/request.h"
#include "core/foundation/dynamic_structure.h"
#include "core/service/service_answer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Kestrel::Network {

class API : public kes::noncopyable {
public:
    // Adds the computer fields ("computer[brand]", ...) to an activation request.
    using computer_fields_source = std::function<void(kes::network::request&)>;

    // The process-wide client: created on first use, never destroyed.
    static API& get_instance();

    // Tests and probe programs make their own with other transport settings
    // (certificate, time-outs) or computer fields; the defaults are the agent's.
    explicit API(kes::network::transport_options options = {}, computer_fields_source computer_fields = {});

    activation_result perform_activate(const std::wstring& user, const std::wstring& password,
                                       const std::wstring& code, const std::wstring& team_key);
    activation_result activate(const std::wstring& user, const std::wstring& password, const std::wstring& code);
    std::wstring activate_silent();
    std::wstring activate_enterprise(const std::wstring& team_key);

    client_version get_released_client_version();
    kes::DynamicStructure get_browser_support_list();
    std::vector<kes::message> get_messages();
    kes::DynamicStructure get_config();
    alerts_result get_alerts();
    block_list_result get_blocked_list(bool start, bool end, int duration_minutes);

    // start_time: seconds since 1970-01-01 UTC, with microseconds.
    void upload_tz_event(const std::wstring& data_key, double start_time, const std::string& zone_name);
    void upload_debug_log(const std::wstring& text);
    // Raises before any request when the file cannot be read: it stays for the next pass.
    void upload_activity_log(const kes::upload_file& file, const std::wstring& host,
                             const std::wstring& account_key);
    void download_file(const std::string& path, const std::string& file_path);

    static void validate_response_status_code(const kes::network::response& answer, std::int64_t expected);
    static void throw_exception_if_kes_error_present(const service_answer& answer);

private:
    kes::network::request make_request(const std::string& path, const std::wstring& host,
                                       const std::wstring& account_key) const;

    kes::network::transport_options options_;
    computer_fields_source computer_fields_;
};

}  // namespace Kestrel::Network
