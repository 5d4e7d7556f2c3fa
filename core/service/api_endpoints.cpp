// The endpoints that fetch what the service holds for the agent.
#include "core/service/answer_reading.h"
#include "core/service/api.h"

#include "core/foundation/dynamic_structure_io.h"
#include "core/service/api_guard.h"

#include "core/foundation/config.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace Kestrel::Network {

using detail::parse_guarded;
using kes::log;
using kes::utf8;
using kes::network::request;
using kes::network::response;
using nlohmann::json;

namespace {

// What each answer can sensibly hold. The agent acts on a few message codes
// per pull and keeps a few dozen waiting; the user sees a handful of alerts
// (each may open a page); settings and block lists are as long as a setting.
constexpr answer::answer_limit message_codes_kept{1000, 4000};
constexpr answer::answer_limit alerts_kept{50, 500};
constexpr answer::answer_limit settings_kept{kes::config::max_list_items, kes::config::max_settings_values};
constexpr answer::answer_limit block_lists_kept{kes::config::max_list_items, 3 * kes::config::max_list_items + 100};

const utf8& accept_name() {
    static const utf8 name("Accept");
    return name;
}
const utf8& accept_json() {
    static const utf8 value("application/json");
    return value;
}

// The service gives its own texts; only a web address may be opened from them.
bool is_web_address(const std::wstring& address) {
    const std::wstring lower = kes::util::to_lower(address);
    return kes::util::starts_with(lower, L"http://") || kes::util::starts_with(lower, L"https://");
}

alert split_alert(const std::wstring& text) {
    log(L"[API::get_alerts] Raw alert: " + kes::network::loggable_prefix(text), kes::log_level::network);
    alert result{text, L""};
    if (text.size() >= 3 && text.find(L"://") != std::wstring::npos) {
        const auto first = text.find(L'`');
        const auto last = text.rfind(L'`');
        if (first != std::wstring::npos && last != first) {
            result.url = text.substr(first + 1, last - first - 1);
            result.message = text.substr(0, first) + text.substr(last + 1);
        }
    }
    if (!result.url.empty() && !is_web_address(result.url)) {
        log(L"[API::get_alerts] Ignored an address that is neither http nor https: " +
                kes::network::loggable_prefix(result.url),
            kes::log_level::network_warning);
        result.url.clear();
    }
    log(L"[API::get_alerts] Final Alert message: " + kes::network::loggable_prefix(result.message) + L" url: " +
            kes::network::loggable_prefix(result.url),
        kes::log_level::network);
    return result;
}

boost::posix_time::ptime read_local_time(const std::wstring& text) {
    try {
        return boost::posix_time::from_iso_extended_string(kes::util::narrow(text));
    } catch (const std::exception& e) {
        log(L"[API::get_alerts] still_zone_until is not a date and time: " + kes::network::loggable_prefix(text),
            kes::log_level::warning);
        return boost::posix_time::ptime(boost::posix_time::not_a_date_time);
    }
}

}  // namespace

client_version API::get_released_client_version() {
    log(L"[API:get_released_client_version]", kes::log_level::network);
    const kes::config& settings = kes::config::instance();
    request call = make_request("/client_version", settings.get_url(), settings.get_account_key());
    call.add_param(utf8("environment"), utf8("1"));
    call.add_header(accept_name(), accept_json());
    const response reply = call.perform(kes::network::post);
    validate_response_status_code(reply, 200);
    return parse_guarded(L"get_released_client_version", [&] {
        const json parsed = answer::parse_object(reply.body, L"get_released_client_version");
        throw_exception_if_kes_error_present(parsed);
        const json& current = answer::object_member(parsed, "current_client_version");
        return client_version{answer::int32_member(current, "major"), answer::int32_member(current, "minor"),
                              answer::int32_member(current, "revision"), answer::int32_member(current, "build")};
    });
}

kes::DynamicStructure API::get_browser_support_list() {
    log(L"[API:get_browser_support_list]", kes::log_level::network);
    const kes::config& settings = kes::config::instance();
    request call = make_request("/api/client_browser_support?os_id=2&browser_support_version=0", settings.get_url(),
                                settings.get_account_key());
    call.add_header(accept_name(), accept_json());
    const response reply = call.perform(kes::network::get);
    validate_response_status_code(reply, 200);
    return parse_guarded(L"get_browser_support_list",
                         [&] { return kes::DynamicStructureFromJson(answer::parse_object(reply.body, L"get_browser_support_list")); });
}

std::vector<kes::message> API::get_messages() {
    log(L"[API:get_messages]", kes::log_level::network);
    const kes::config& settings = kes::config::instance();
    request call = make_request("/messages", settings.get_api_url(), settings.get_account_key());
    call.add_header(accept_name(), accept_json());
    const response reply = call.perform(kes::network::post);
    validate_response_status_code(reply, 200);
    return parse_guarded(L"get_messages", [&] {
        const json parsed = answer::parse_object(reply.body, L"get_messages", message_codes_kept);
        throw_exception_if_kes_error_present(parsed);
        std::vector<kes::message> messages;
        for (const std::int32_t code : answer::int32_array_member(parsed, "messages")) {
            messages.push_back(static_cast<kes::message>(code));
        }
        return messages;
    });
}

kes::DynamicStructure API::get_config() {
    log(L"[API:get_config]", kes::log_level::network);
    const kes::config& settings = kes::config::instance();
    request call = make_request("/config", settings.get_api_url(), settings.get_account_key());
    call.keep_answer_out_of_log();  // settings may carry keys (data key, mirror accounts)
    call.add_header(accept_name(), accept_json());
    const response reply = call.perform(kes::network::post);
    validate_response_status_code(reply, 200);
    return parse_guarded(L"get_config", [&] {
        const json parsed = answer::parse_object(reply.body, L"get_config", settings_kept);
        throw_exception_if_kes_error_present(parsed);
        return kes::DynamicStructureFromJson(answer::object_member(parsed, "config"));
    }, reply.body_is_secret);
}

alerts_result API::get_alerts() {
    log(L"[API:get_alerts]", kes::log_level::network);
    const kes::config& settings = kes::config::instance();
    request call = make_request("/api/alerts", settings.get_url(), settings.get_account_key());
    call.add_header(accept_name(), accept_json());
    const response reply = call.perform(kes::network::post);
    validate_response_status_code(reply, 200);
    return parse_guarded(L"get_alerts", [&] {
        const json parsed = answer::parse_object(reply.body, L"get_alerts", alerts_kept);
        throw_exception_if_kes_error_present(parsed);
        alerts_result result;
        for (const std::wstring& text : answer::string_array_member(parsed, "alerts")) {
            result.alerts.push_back(split_alert(text));
        }
        result.still_zone_duration = answer::optional_int32_member(parsed, "still_zone_duration").value_or(-1);
        const auto found = parsed.find("still_zone_until");
        if (found != parsed.end() && found->is_string()) result.still_zone_until = read_local_time(answer::to_text(*found));
        return result;
    });
}

block_list_result API::get_blocked_list(bool start, bool end, int duration_minutes) {
    log(L"[API::get_blocked_list] with: start_focus: " + std::wstring(start ? L"1" : L"0") + L" end_focus: " +
            (end ? L"1" : L"0") + L" duration: " + std::to_wstring(duration_minutes),
        kes::log_level::network);
    const kes::config& settings = kes::config::instance();
    request call = make_request("/api/block_list", settings.get_url(), settings.get_account_key());
    call.add_header(accept_name(), accept_json());
    if (start) {
        call.add_param(utf8("focus"), utf8("true"));
        call.add_param(utf8("duration"), utf8(std::to_string(duration_minutes)));
    } else if (end) {
        call.add_param(utf8("end_focus"), utf8("true"));
    }
    const response reply = call.perform(kes::network::post);
    validate_response_status_code(reply, 200);
    return parse_guarded(L"get_blocked_list", [&] {
        const json parsed = answer::parse_object(reply.body, L"get_blocked_list", block_lists_kept);
        throw_exception_if_kes_error_present(parsed);
        block_list_result result;
        result.blocking_enabled = answer::bool_member(parsed, "blocking_enabled");
        result.block_list = answer::string_array_member(parsed, "block_list");
        result.extended_domain_list = answer::string_array_member(parsed, "extended_domain_list");
        return result;
    });
}

}  // namespace Kestrel::Network
