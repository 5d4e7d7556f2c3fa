#include "core/service/transfer_stop.h"

#include "core/service/transport_options.h"

#include <curl/curl.h>

#include <mutex>

namespace kes::network {
namespace {

std::mutex installed_guard;
std::shared_ptr<const transfer_stop> installed;

int abort_when_stopped(void* token, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const transfer_stop*>(token)->stopped() ? 1 : 0;
}

}  // namespace

void install_transfer_stop(std::shared_ptr<const transfer_stop> token) {
    std::lock_guard<std::mutex> lock(installed_guard);
    installed = std::move(token);
}

void remove_transfer_stop(const transfer_stop* token) {
    std::lock_guard<std::mutex> lock(installed_guard);
    if (installed.get() == token) installed.reset();
}

std::shared_ptr<const transfer_stop> installed_transfer_stop() {
    std::lock_guard<std::mutex> lock(installed_guard);
    return installed;
}

std::shared_ptr<const transfer_stop> transfer_stop_for(const transport_options& options) {
    return options.stop ? options.stop : installed_transfer_stop();
}

void abort_transfer_on_stop(CURL* handle, const transfer_stop* token) {
    if (handle == nullptr || token == nullptr) return;
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &abort_when_stopped);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<transfer_stop*>(token));
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
}

}  // namespace kes::network
