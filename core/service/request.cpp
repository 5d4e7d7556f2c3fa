#include "core/service/request.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/system.h"
#include "core/service/network_errors.h"
#include "core/service/reachability.h"
#include "core/service/redaction.h"
#include "core/service/transfer_stop.h"
#include "core/service/ui_thread_rule.h"
#include "core/foundation/text_table.h"

#include <curl/curl.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <stdexcept>

namespace kes::network {
namespace {

std::wstring wide(const std::string& text) { return util::utf8_to_wstring_lossy(text); }

void log_network(const std::wstring& text) { log(text, log_level::network); }

void log_network_error(const std::wstring& text) { log(text, log_level::caught_network); }


// The proxy port must be a plain decimal number as a whole.
int parse_port(const std::wstring& text) {
    std::size_t used = 0;
    const int port = std::stoi(text, &used);
    if (used != text.size()) throw std::invalid_argument("stoi: trailing characters");
    return port;
}

// How much of an answer is still taken in; once it would grow beyond its
// limit, the hook gives libcurl a short count, which ends the transfer.
struct byte_budget {
    std::size_t limit;
    std::size_t used = 0;
    bool exceeded = false;

    bool take(std::size_t length) {
        if (length > limit - used) {
            exceeded = true;
            return false;
        }
        used += length;
        return true;
    }
};

// The answer's headers, of every response on the way (redirects included).
struct header_sink {
    std::map<std::string, std::string>* headers = nullptr;
    byte_budget budget{max_header_bytes};
};

// The answer's body, into memory or a file.
struct body_sink {
    std::string* body = nullptr;
    std::FILE* file = nullptr;
    byte_budget budget{max_answer_bytes};
};

// libcurl calls these from C: nothing may be thrown through it.
std::size_t collect_header(char* data, std::size_t size, std::size_t count, void* target) noexcept {
    auto& sink = *static_cast<header_sink*>(target);
    const std::size_t length = size * count;
    if (!sink.budget.take(length)) return 0;
    try {
        std::string line(data, length);
        line = line.substr(0, line.find_first_of("\r\n"));
        std::size_t colon = line.find(": ");
        // A colon that ends the line is no separator; the status line and the
        // empty closing line have none.
        if (colon != std::string::npos && colon + 1 < line.size()) {
            sink.headers->emplace(line.substr(0, colon), line.substr(colon + 2));
        }
    } catch (...) {
        return 0;
    }
    return length;
}

std::size_t collect_body(char* data, std::size_t size, std::size_t count, void* target) noexcept {
    auto& sink = *static_cast<body_sink*>(target);
    const std::size_t length = size * count;
    if (!sink.budget.take(length)) return 0;
    if (sink.file != nullptr) return std::fwrite(data, 1, length, sink.file);
    try {
        sink.body->append(data, length);
    } catch (...) {
        return 0;
    }
    return length;
}

int forward_debug_text(CURL* handle, curl_infotype type, char* data, std::size_t size, void* user) {
    return curl_debug_callback(handle, static_cast<int>(type), data, size, user);
}

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The host name of the address the transfer went to last (a redirect's
// target, where one was followed), as the failure texts name it.
std::wstring host_of_last_address(CURL* curl) {
    char* address = nullptr;
    if (curl == nullptr || curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &address) != CURLE_OK || !address) {
        return {};
    }
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), &curl_url_cleanup);
    char* host = nullptr;
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, address, 0) != CURLUE_OK ||
        curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK || host == nullptr) {
        return {};
    }
    std::wstring name = util::utf8_to_wstring_lossy(host);
    curl_free(host);
    return name;
}

}  // namespace

void request::handle_deleter::operator()(CURL* handle) const { curl_easy_cleanup(handle); }
void request::mime_deleter::operator()(curl_mime* mime) const { curl_mime_free(mime); }
void request::list_deleter::operator()(curl_slist* list) const { curl_slist_free_all(list); }

request::request(const std::string& path, const std::wstring& host, const std::wstring& account_key,
                 const transport_options& options)
    : options_(options), stop_(transfer_stop_for(options)), path_(path), handle_(curl_easy_init()) {
    if (!handle_) {
        log_network_error(L"[network::request] unable to initialize network library for " + wide(path));
        return;
    }
    CURL* curl = handle_.get();
    form_.reset(curl_mime_init(curl));
    set_transport_security();

    url_ = "https://" + util::narrow(host) + path;
    curl_easy_setopt(curl, CURLOPT_URL, url_.c_str());
    // Only https, also where a redirect leads: a redirected form (sign-in,
    // keys) never goes out in clear text, and no plain-http answer is read.
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
#else
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTPS));
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);

    config& settings = config::instance();
    const std::wstring agent = L"Kestrel Client v" + settings.get_client_version();
    log_network(L"[network]User Agent = " + agent);
    user_agent_ = util::narrow(agent);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, user_agent_.c_str());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, max_redirects);
    // An answer that announces its size is refused before it arrives; the
    // body hook refuses the others once they grow too large.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(max_answer_bytes));

    set_proxy();

    if (log_enabled(log_level::network)) {
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &forward_debug_text);
    }
    add_default_fields(account_key);
}

request::~request() = default;

void request::set_transport_security() {
    CURL* curl = handle_.get();
    std::string ca_path = options_.ca_bundle_path;
    if (ca_path.empty()) ca_path = system::create()->get_ca_bundle_path();
    if (!ca_path.empty()) {
        if (log_enabled(log_level::warning)) {
            const bool readable = std::ifstream(ca_path).good();
            log(readable ? L"[network::request] CA Cert file opened."
                         : L"[network::request] Could not find or open the CA Cert file.",
                log_level::warning);
        }
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca_path.c_str());
    }
    const bool workaround = config::instance().get_corporate_network_workaround();
    if (workaround) {
        static std::once_flag told;
        std::call_once(told, [] {
            log(L"[network::request] corporate_network_workaround is on: the service's certificate is "
                L"not verified.",
                log_level::network_warning);
        });
    }
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, workaround ? 0L : 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
}

void request::set_proxy() {
    config& settings = config::instance();
    const std::wstring server = settings.get_proxy_server();
    const std::wstring port = settings.get_proxy_port();
    if (server.empty() || port.empty()) return;
    CURL* curl = handle_.get();
    curl_easy_setopt(curl, CURLOPT_PROXY, utf8(server).c_str());
    try {
        curl_easy_setopt(curl, CURLOPT_PROXYPORT, static_cast<long>(parse_port(port)));
    } catch (const std::exception& e) {
        log(L"[network::request] std::exception caught setting proxy port: " + util::widen(e.what()) +
                L"    proxy_port: " + port,
            log_level::error);
    }
    curl_easy_setopt(curl, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    const std::wstring user = settings.get_proxy_username();
    const std::wstring password = settings.get_proxy_password_hash();
    if (!user.empty() && !password.empty()) {
        log_network(L"[network] Proxy user:pwd " + user + L":" + util::widen(redacted));
        // Set apart so that a colon in the user name cannot move the split.
        curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, utf8(user).c_str());
        curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, utf8(password).c_str());
    }
}

void request::add_default_fields(const std::wstring& account_key) {
    const config& settings = config::instance();
    add_param(utf8("account_key"), utf8(account_key));
    add_param(utf8("computer_name"), utf8(settings.get_computer_name()));
    add_param(utf8("os_username"), utf8(settings.get_os_username()));
    add_param(utf8("client_version"), utf8(settings.get_client_version()));
    add_param(utf8("os_id"), utf8("2"));
    add_param(utf8("data_version"), utf8("2"));
}

int request::add_param(const utf8& name, const utf8& value) {
    const std::string shown = loggable_prefix(loggable_field_value(name.str(), value.str()));
    log_network(L"[network::request] add_param " + wide(name.str()) + L"=" + wide(shown));
    if (!form_) return CURLE_FAILED_INIT;
    curl_mimepart* part = curl_mime_addpart(form_.get());
    if (part == nullptr) return CURLE_OUT_OF_MEMORY;
    logged_params_.emplace_back(name.str(), shown);
    const CURLcode named = curl_mime_name(part, name.c_str());
    if (named != CURLE_OK) return named;
    return curl_mime_data(part, value.c_str(), value.size());
}

void request::add_header(const utf8& name, const utf8& value) {
    const std::string line = name.str() + ": " + value.str();
    log_network(L"[network::request] add_header " + wide(name.str()) + L": " +
                wide(loggable_header_value(name.str(), value.str())));
    curl_slist* extended = curl_slist_append(headers_.get(), line.c_str());
    if (extended == nullptr) return;
    headers_.release();
    headers_.reset(extended);
}

int request::add_file(const std::string& file_name, const std::string& contents, bool is_gzipped) {
    log_network(L"[request::add_file] file_name: " + wide(file_name) +
                L" is_gzipped: " + (is_gzipped ? L"true" : L"false"));
    add_param(utf8("gz"), utf8(is_gzipped ? "1" : "0"));
    log(L"[kes::network::request::add_file] file_name " + wide(file_name), log_level::error);
    int code = CURLE_FAILED_INIT;
    if (form_) {
        curl_mimepart* part = curl_mime_addpart(form_.get());
        code = part == nullptr ? CURLE_OUT_OF_MEMORY : CURLE_OK;
        if (code == CURLE_OK) code = curl_mime_name(part, "file");
        if (code == CURLE_OK) code = curl_mime_filename(part, file_name.c_str());
        // Named explicitly: the bytes on the wire match a classic file upload.
        if (code == CURLE_OK) code = curl_mime_type(part, "application/octet-stream");
        if (code == CURLE_OK) code = curl_mime_data(part, contents.data(), contents.size());
        logged_params_.emplace_back("file", "[redacted]");
    }
    log(L"[kes::network::request::add_file] formCode " + std::to_wstring(code), log_level::error);
    return code;
}

void request::set_body(std::string text) { body_ = std::move(text); }

std::string request::parameter_text() const {
    std::string text;
    for (const auto& [name, value] : logged_params_) {
        if (!text.empty()) text += "&";
        text += name == "file" ? name + "=[redacted]" : name + "=" + value;
    }
    return text;
}

void request::release() {
    handle_.reset();
    form_.reset();
}

request::outcome request::perform_curl_request(int method, const std::string& file_path) {
    if (!may_request_on_this_thread(path_)) {
        release();
        throw Kestrel::Network::Exception(get_text(L"status_error_unhandled_error"));
    }
    outcome result;
    result.answer.body_is_secret = answer_is_secret_;
    std::unique_ptr<std::FILE, file_closer> file;
    header_sink headers{&result.answer.headers};
    body_sink body{&result.answer.body};
    try {
        CURL* curl = handle_.get();
        char error_buffer[CURL_ERROR_SIZE] = {};
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, options_.timeout_seconds);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options_.connect_timeout_seconds);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &collect_header);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers);
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_buffer);
        abort_transfer_on_stop(curl, stop_.get());
        if (method == get) {
            // A GET carries no form: its address must hold what the service needs.
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "GET");
        } else {
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "POST");
            log_network(L"[network:request:get_response] http_post params: " + wide(parameter_text()));
            if (!body_.empty()) {
                log_network(L"[network:request:get_response] _body.length " + std::to_wstring(body_.size()));
                log_network(L"[network:request:get_response] _body " + wide(loggable_prefix(body_)));
                curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
                curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body_.c_str());
            } else {
                curl_easy_setopt(curl, CURLOPT_MIMEPOST, form_.get());
            }
        }
        if (!file_path.empty()) {
            file.reset(std::fopen(file_path.c_str(), "wb"));
            if (!file) {
                log_network_error(L"[network::request:get_response] unable to open file: " + wide(file_path));
                throw std::runtime_error("Unable to open file: \"" + file_path + "\"");
            }
            body.file = file.get();
        }
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect_body);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers_.get());

        if (is_stopped(stop_)) {
            log_network(L"[network::request] not sent: the agent is stopping");
            result.code = CURLE_ABORTED_BY_CALLBACK;
        } else {
            result.code = curl_easy_perform(curl);
        }
        for (const byte_budget* part : {&body.budget, &headers.budget}) {
            if (!part->exceeded) continue;
            log_network_error(L"[network::request::perform_curl_request] answer refused: larger than " +
                              std::to_wstring(part->limit) + L" bytes");
            result.code = CURLE_FILESIZE_EXCEEDED;
        }
        if (result.code != CURLE_OK) {
            log_network_error(L"[network::request::perform_curl_request]HTTP Response (!CURLE_OK): " +
                              std::to_wstring(result.code) + L" : " +
                              util::widen(curl_easy_strerror(static_cast<CURLcode>(result.code))));
            log_network(L"[network::request::perform_curl_request] curl_error_buffer: " + wide(error_buffer));
        } else {
            log_network(L"[network::request]curl result: " + std::to_wstring(result.code));
        }
        std::string header_text;
        for (const auto& [name, value] : result.answer.headers) header_text += name + ": " + value + "\n";
        log_network(L"[network::request] header: " + wide(loggable_prefix(header_text)));
        log_network(L"[network::request] body: " + (answer_is_secret_ ? std::wstring(L"[redacted]")
                                                                       : wide(loggable_prefix(result.answer.body))));
        long http_code = 0;
        if (curl != nullptr) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &http_code);
        result.answer.http_code = http_code;
        if (result.code != CURLE_OK) result.host = host_of_last_address(curl);
        release();
        return result;
    } catch (const std::exception& e) {
        release();
        log_network_error(L"kes::network::perform_curl_request() Caught std::exception: " + wide(e.what()));
    } catch (...) {
        release();
        log_network_error(L"kes::network::perform_curl_request() Caught unknown exception!");
    }
    throw Kestrel::Network::Exception(get_text(L"status_error_unhandled_error"));
}

response request::perform(int method) {
    outcome result = perform_curl_request(method, {});
    if (result.code != CURLE_OK) {
        log_network_error(L"kes::network::request::perform() CURLcode = " + std::to_wstring(result.code));
        throw Kestrel::Network::CurlError(curl_code_to_text(result.code, options_, result.host));
    }
    return std::move(result.answer);
}

response request::perform_download_request(int method, const std::string& file_path) {
    outcome result = perform_curl_request(method, file_path);
    if (result.code != CURLE_OK) {
        log_network_error(L"kes::network::request::perform_download_request() CURLcode = " +
                          std::to_wstring(result.code));
        throw Kestrel::Network::CurlError(curl_code_to_text(result.code, options_, result.host));
    }
    return std::move(result.answer);
}

}  // namespace kes::network
