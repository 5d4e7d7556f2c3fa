#include "core/service/api.h"

#include "core/foundation/config.h"
#include "core/service/answer_reading.h"
#include "core/service/api_guard.h"
#include "core/service/redaction.h"
#include "core/ui/ui.h"

namespace Kestrel::Network {

using detail::parse_guarded;
using kes::log;
using kes::utf8;
using kes::network::request;

namespace {

// The computer fields come from the user interface, which knows the machine.
void add_computer_fields_from_ui(request& activation) {
    kes::ui* user_interface = kes::ui::get_instance();
    if (user_interface != nullptr) user_interface->add_computer_params(activation);
}

}  // namespace

API& API::get_instance() {
    static API* const instance = new API();  // never destroyed: threads may call at exit
    return *instance;
}

API::API(kes::network::transport_options options, computer_fields_source computer_fields)
    : options_(std::move(options)),
      computer_fields_(computer_fields ? std::move(computer_fields) : &add_computer_fields_from_ui) {}

request API::make_request(const std::string& path, const std::wstring& host, const std::wstring& account_key) const {
    return request(path, host, account_key, options_);
}

void API::validate_response_status_code(const kes::network::response& answer, std::int64_t expected) {
    if (answer.http_code == expected) return;
    log(L"[API::validate_response_status_code] Received incorrect HTTP status code. Expected: " +
            std::to_wstring(expected),
        kes::log_level::caught_network);
    log(L"\tHTTP_CODE: " + std::to_wstring(answer.http_code), kes::log_level::network);
    log(L"\tBODY: " + (answer.body_is_secret
                            ? std::wstring(L"[redacted]")
                            : kes::util::utf8_to_wstring_lossy(kes::network::loggable_prefix(answer.body))),
        kes::log_level::network);
    throw UnexpectedHTTPCode(kes::get_text(L"status_error_invalid_response"));
}

void API::throw_exception_if_kes_error_present(const service_answer& answer) {
    if (!answer.is_object()) return;
    const auto codes = answer.find("c");
    if (codes == answer.end() || !codes->is_array() || codes->size() < 2) return;
    // Only a whole non-negative number is a code; anything else reads as 0.
    const std::uint64_t code = (*codes)[0].is_number_unsigned() ? (*codes)[0].get<std::uint64_t>() : 0;
    const std::wstring code_text = (*codes)[1].is_string()
                                       ? kes::util::utf8_to_wstring_lossy((*codes)[1].get<std::string>())
                                       : std::wstring();
    std::wstring message = L"No error message provided in KES response.";
    for (const char* name : {"error", "message"}) {
        const auto found = answer.find(name);
        if (found == answer.end() || found->is_null()) continue;
        message = found->is_string() ? kes::util::utf8_to_wstring_lossy(found->get<std::string>())
                                     : kes::util::utf8_to_wstring_lossy(found->dump());
        // It becomes the status line and is logged wherever it is caught.
        message = kes::network::loggable_prefix(message);
        break;
    }
    log(L"[API::throw_exception_if_kes_error_present] " + message + L" [" + std::to_wstring(code) + L", " +
            code_text + L"]",
        kes::log_level::network);
    switch (code) {
    case 0:
        return;
    case 1:
    case 2:
    case 3:
        throw Exception(message);
    case 4:
        throw InvalidKey(message);
    case 5:
        throw TwoFactorRequired(message);
    default:
        throw Exception(kes::get_text_with_args(L"status_error_invalid_kescode", std::to_wstring(code)) + L" : " +
                        message);
    }
}

activation_result API::perform_activate(const std::wstring& user, const std::wstring& password,
                                        const std::wstring& code, const std::wstring& team_key) {
    log(L"[API::perform_activate]", kes::log_level::service_call);
    const kes::config& settings = kes::config::instance();
    request activation = make_request("/activate", settings.get_url(), settings.get_account_key());
    activation.keep_answer_out_of_log();
    activation.add_header(utf8("Accept"), utf8("application/json"));
    computer_fields_(activation);
    if (team_key.empty()) {
        // Without both, this is a silent re-activation that relies on the account key.
        if (!user.empty() && !password.empty()) {
            activation.add_param(utf8("username"), utf8(user));
            activation.add_param(utf8("password"), utf8(password));
            if (!code.empty()) activation.add_param(utf8("two_factor_auth_code"), utf8(code));
        }
    } else {
        activation.add_param(utf8("enterprise_team_key"), utf8(team_key));
    }
    const kes::network::response reply = activation.perform(kes::network::post);
    validate_response_status_code(reply, 200);
    return parse_guarded(L"perform_activate", [&] {
        const nlohmann::json parsed = answer::parse_object(reply.body, L"perform_activate");
        throw_exception_if_kes_error_present(parsed);
        activation_result result;
        result.account_key = answer::string_member(parsed, "account_key");
        result.data_key = answer::optional_string_member(parsed, "data_key").value_or(L"");
        return result;
    }, reply.body_is_secret);
}

activation_result API::activate(const std::wstring& user, const std::wstring& password, const std::wstring& code) {
    log(L"[API::activate]", kes::log_level::service_call);
    return perform_activate(user, password, code, L"");
}

std::wstring API::activate_silent() {
    log(L"[API::activate_silent]", kes::log_level::service_call);
    return perform_activate(L"", L"", L"", L"").account_key;
}

std::wstring API::activate_enterprise(const std::wstring& team_key) {
    log(L"[API::activate_enterprise]", kes::log_level::service_call);
    return perform_activate(L"", L"", L"", team_key).account_key;
}

}  // namespace Kestrel::Network
