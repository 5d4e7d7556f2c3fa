#include "core/service/reachability.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/service/transfer_stop.h"
#include "core/foundation/text_table.h"
#include "kes/build_config.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

namespace kes::network {
namespace {

// The host the request asked for, not the service's default one: a user
// whose settings name another host must read that name.
std::wstring unable_to_resolve_text(const std::wstring& host) {
    if (host.empty()) return get_text(L"status_error_unable_to_resolve");
    return get_text_with_args(L"status_error_unable_to_resolve_host", host);
}

}  // namespace

std::string reachability_probe_url() {
    const char* configured = std::getenv("KES_REACHABILITY_PROBE_URL");
    if (configured != nullptr && *configured != '\0') return configured;
    return build::reachability_probe_url;
}

int internet_probe(const transport_options& options) {
    // An agent that is ending has no use for the answer, and must not wait for it.
    const std::shared_ptr<const transfer_stop> stop = transfer_stop_for(options);
    if (is_stopped(stop)) {
        log(L"[network::internet_probe] skipped: the agent is stopping", log_level::network);
        return CURLE_ABORTED_BY_CALLBACK;
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
    if (!handle) return CURLE_FAILED_INIT;
    const std::string url = reachability_probe_url();
    CURL* curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // A probe must not hang a worker for minutes, nor raise signals in a
    // threaded process; proxies from the environment are not asked either.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.timeout_seconds);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connect_timeout_seconds);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION,
                     +[](char*, std::size_t size, std::size_t count, void*) -> std::size_t { return size * count; });
    abort_transfer_on_stop(curl, stop.get());
    const CURLcode code = curl_easy_perform(curl);
    log(L"[network::internet_probe] " + util::widen(url) + L" : " + std::to_wstring(code), log_level::network);
    return code;
}

std::wstring curl_code_to_text(int code, const transport_options& options, const std::wstring& host) {
    switch (code) {
    case CURLE_OK:
        return L"CURLE_OK";
    case CURLE_COULDNT_RESOLVE_PROXY:
        return get_text(L"status_error_proxy_settings");
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return internet_probe(options) != CURLE_OK ? get_text(L"status_error_internet_unavailable")
                                                   : unable_to_resolve_text(host);
    case CURLE_COULDNT_CONNECT:
        return get_text(L"status_error_internet_unavailable");
    case CURLE_OPERATION_TIMEDOUT:
        return get_text(L"status_error_connection_timeout");
    case CURLE_SSL_CONNECT_ERROR:
        return get_text(L"status_error_firewall_blocking");
    default:
        return get_text(L"status_error_unhandled_error") + std::to_wstring(code) + L"): " +
               util::widen(curl_easy_strerror(static_cast<CURLcode>(code)));
    }
}

}  // namespace kes::network
