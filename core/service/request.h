#pragma once
// One HTTPS call to the web service over its own libcurl easy handle: built
// with the transport settings, the proxy and the default form fields every
// call carries, given its own fields and headers, performed once.
//
// A transport failure throws Kestrel::Network::CurlError; any other failure
// inside the perform step a Kestrel::Network::Exception ("unhandled error").
// The HTTP status and the body are the caller's to check. Secrets (keys,
// passwords, codes, the Authorization header) reach the debug log redacted.
//
// Only https is spoken, also where a redirect leads; an answer larger than
// `max_answer_bytes` and a transfer aborted because the agent is ending
// (core/service/transfer_stop.h) are transport failures like any other.

#include "core/foundation/noncopyable.h"
#include "core/foundation/text.h"
#include "core/service/transport_options.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

typedef void CURL;
struct curl_mime;
struct curl_slist;

namespace kes::network {

class transfer_stop;

// Far above any answer the service gives; a longer one is refused instead of
// filling memory. libcurl bounds each header line; this bounds them together.
inline constexpr std::size_t max_answer_bytes = 4 * 1024 * 1024;
inline constexpr std::size_t max_header_bytes = 256 * 1024;
// A redirect chain longer than this is refused (libcurl would follow it for ever).
inline constexpr long max_redirects = 10;

struct response {
    std::string body;
    std::int64_t http_code = 0;
    std::map<std::string, std::string> headers;
    // The body carries keys (an activation answer): it is never logged.
    bool body_is_secret = false;
};

enum method : int { get = 0, post = 1 };

class request : public noncopyable {
public:
    // path begins with "/" and may hold a query; host is the configured host
    // (with port); the account key is sent as the first default field.
    request(const std::string& path, const std::wstring& host, const std::wstring& account_key,
            const transport_options& options = {});
    ~request();

    int add_param(const utf8& name, const utf8& value);
    void add_header(const utf8& name, const utf8& value);
    // Adds "gz" = "1"/"0" and the part "file" holding `contents` under `file_name`.
    int add_file(const std::string& file_name, const std::string& contents, bool is_gzipped);
    // A raw body is sent instead of the form (and so without the default fields).
    void set_body(std::string text);
    // The answer holds keys: keep its body out of the debug log.
    void keep_answer_out_of_log() { answer_is_secret_ = true; }

    response perform(int method);
    response perform_download_request(int method, const std::string& file_path);

    const std::string& url() const { return url_; }

private:
    struct outcome {
        int code = 0;
        response answer;
        std::wstring host;  // of a failed transfer: the host it went to last
    };
    outcome perform_curl_request(int method, const std::string& file_path);
    void set_transport_security();
    void set_proxy();
    void add_default_fields(const std::wstring& account_key);
    std::string parameter_text() const;
    void release();

    struct handle_deleter {
        void operator()(CURL* handle) const;
    };
    struct mime_deleter {
        void operator()(curl_mime* mime) const;
    };
    struct list_deleter {
        void operator()(curl_slist* list) const;
    };

    transport_options options_;
    std::shared_ptr<const transfer_stop> stop_;
    std::string path_;
    std::string url_;
    std::string user_agent_;
    std::string body_;
    bool answer_is_secret_ = false;
    // Kept for the logged parameter text (values already redacted).
    std::vector<std::pair<std::string, std::string>> logged_params_;
    std::unique_ptr<CURL, handle_deleter> handle_;
    std::unique_ptr<curl_mime, mime_deleter> form_;
    std::unique_ptr<curl_slist, list_deleter> headers_;
};

}  // namespace kes::network
