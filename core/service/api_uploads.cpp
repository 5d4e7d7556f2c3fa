// The endpoints that send something to the service.
#include "core/service/answer_reading.h"
#include "core/service/api.h"
#include "core/service/api_guard.h"

#include "core/foundation/config.h"
#include "core/foundation/files/read_file.h"

#include <limits>
#include <utility>

namespace Kestrel::Network {

using detail::parse_guarded;
using kes::log;
using kes::utf8;
using kes::network::request;
using kes::network::response;
using nlohmann::json;

namespace {

// The whole file, or nothing: a file that cannot be read must not go out as
// an empty upload (the service would accept it and the file would be dropped).
std::string read_whole_file(const std::string& path) {
    kes::fs::file_contents file = kes::fs::read_regular_file(path, std::numeric_limits<std::size_t>::max());
    if (!file.is_read()) {
        log(L"[API:upload_activity_log] unable to read file: " + kes::util::utf8_to_wstring_lossy(path),
            kes::log_level::caught_network);
        throw Exception(kes::get_text(L"status_error_unhandled_error"));
    }
    return std::move(file.bytes);
}

}  // namespace

void API::upload_tz_event(const std::wstring& data_key, double start_time, const std::string& zone_name) {
    log(L"[API:upload_tz_event]", kes::log_level::network);
    const kes::config& settings = kes::config::instance();
    request call = make_request("/api/resource/user_client_events", settings.get_url(), settings.get_account_key());
    call.add_header(utf8("Authorization"), utf8(L"Bearer: " + data_key));
    call.add_header(utf8("Accept"), utf8("application/json"));
    call.add_header(utf8("Content-Type"), utf8("application/json; charset=utf-8"));
    // nlohmann keeps object members sorted by name and dumps compactly.
    call.set_body(parse_guarded(L"upload_tz_event", [&] {
        const json event = {{"user_client_event",
                             {{"event_description", "timezone_update"},
                              {"start_time", start_time},
                              {"details", {{"timezone", zone_name}}}}}};
        return event.dump();
    }));
    validate_response_status_code(call.perform(kes::network::post), 201);
}

void API::upload_debug_log(const std::wstring& text) {
    log(L"[API:upload_debug_log]", kes::log_level::network);
    const kes::config& settings = kes::config::instance();
    request call = make_request("/debug_log", settings.get_url(), settings.get_account_key());
    const std::string bytes = parse_guarded(L"upload_debug_log", [&] { return kes::util::wstring_to_utf8(text); });
    call.add_param(utf8("debug_log"), utf8(std::string_view(bytes)));
    validate_response_status_code(call.perform(kes::network::post), 200);
}

void API::upload_activity_log(const kes::upload_file& file, const std::wstring& host,
                              const std::wstring& account_key) {
    log(L"[API:upload_activity_log]", kes::log_level::network);
    log(L"[API:upload_activity_log] base_url: " + host, kes::log_level::network);
    log(L"[API:upload_activity_log] filename: " + kes::util::utf8_to_wstring_lossy(file.name), kes::log_level::network);
    log(L"[API:upload_activity_log] uuid(start): " + kes::util::utf8_to_wstring_lossy(file.name), kes::log_level::network);
    if (file.cut_plain) {
        log(L"[API:upload_activity_log] uuid(csv): " + kes::util::utf8_to_wstring_lossy(*file.cut_plain),
            kes::log_level::network);
    }
    if (file.cut_gzip) {
        log(L"[API:upload_activity_log] uuid(kesg): " + kes::util::utf8_to_wstring_lossy(*file.cut_gzip),
            kes::log_level::network);
    }
    log(L"[API:upload_activity_log] uuid(final): " + kes::util::utf8_to_wstring_lossy(file.uuid),
        kes::log_level::service);

    const std::string contents = read_whole_file(file.path);
    log(L"[API:upload_activity_log] Read file contents into memory", kes::log_level::network);

    request call = make_request("/collect", host, account_key);
    call.add_header(utf8("Accept"), utf8("application/json"));
    call.add_file(file.name, contents, file.gzipped);
    call.add_param(utf8("file_uuid"), utf8(std::string_view(file.uuid)));
    const response reply = call.perform(kes::network::post);
    validate_response_status_code(reply, 200);
    parse_guarded(L"upload_activity_log", [&] {
        throw_exception_if_kes_error_present(answer::parse_object(reply.body, L"upload_activity_log"));
    });
}

void API::download_file(const std::string& path, const std::string& file_path) {
    log(L"[API:download_file]", kes::log_level::network);
    const kes::config& settings = kes::config::instance();
    request call = make_request(path, settings.get_url(), settings.get_account_key());
    validate_response_status_code(call.perform_download_request(kes::network::get, file_path), 200);
}

}  // namespace Kestrel::Network
