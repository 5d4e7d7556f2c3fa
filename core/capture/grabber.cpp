#include "core/capture/grabber.h"

#include "core/capture/extended_info_grabber_factory.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/installed_factory.h"
#include "core/foundation/text.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

namespace kes {

namespace {

const std::wstring unblock_marker = L"Kestrel Unblock: ";
constexpr int unblock_attempts = 4;

// The lines of a walk are built only when someone reads them: the walk runs
// at every record start, for browsers and everything else alike.
bool tracing() { return log_enabled(log_level::url); }

installed_factory<std::shared_ptr<grabber>>& grabber_factory() {
    static auto* const factory = new installed_factory<std::shared_ptr<grabber>>("kes::grabber");
    return *factory;
}

}  // namespace

std::shared_ptr<grabber> grabber::create() { return grabber_factory().make(); }

void grabber::install_factory(factory make) { grabber_factory().install(std::move(make)); }

grabber::grabber() : grabber(nullptr) {}

grabber::grabber(std::unique_ptr<extended_info_grabber_factory> factory)
    : config_(&config::instance()), factory_(std::move(factory)) {
    log(L"[grabber]ctor", log_level::ctor);
}

grabber::~grabber() {
    factory_.reset();
    log(L"[grabber]dtor", log_level::ctor);
}

std::wstring grabber::hash_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1) return {};
    std::array<char, 65536> buffer{};
    while (in) {
        in.read(buffer.data(), buffer.size());
        const std::streamsize got = in.gcount();
        if (got > 0 && EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(got)) != 1) return {};
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != 20) return {};
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", digest[i]);
        text += pair;
    }
    return util::widen(text);
}

std::wstring grabber::get_process_hash() { return hash_file(util::wstring_to_utf8_lossy(get_process_filename())); }

std::wstring grabber::get_extended_info() {
    if (tracing()) log(L"[grabber]get_extended_info", log_level::url);
    const std::wstring suffix;
    std::wstring result;
    try {
        const std::wstring pid = get_active_process_id();
        if (factory_) {
            for (extended_info_grabber* link = factory_->get_extended_info_grabber(pid, suffix); link;
                 link = link->next()) {
                result = link->get_extended_info();
                if (!result.empty()) {
                    if (tracing()) log(L"Found url using: [" + link->id() + L"]", log_level::url);
                    break;
                }
                if (tracing()) log(L"Failed to get url using: [" + link->id() + L"]", log_level::url);
                if (!link->next() && tracing()) log(L"No further grabbers to try", log_level::url);
            }
        }
    } catch (const std::exception& e) {
        log(L"[grabber:get_extended_info] Caught std::exception for process [" + suffix +
                L"]: " + util::utf8_to_wstring_lossy(e.what()),
            log_level::error);
        result.clear();
    } catch (...) {
        log(L"[grabber:get_extended_info] Caught unknown exception for process [" + suffix +
                L"], error not available ",
            log_level::error);
        result.clear();
    }
    if (!config_->get_full_urls_enabled()) result = get_domain(result, false);
    if (!is_data_whitelisted(result)) return L"non-whitelisted website";
    if (tracing()) log(L"[grabber]data is whitelisted ", log_level::url);
    return result;
}

std::wstring grabber::get_domain(const std::wstring& url, bool host_only) {
    if (tracing()) log(L"[grabber]get_domain ", log_level::url);
    std::size_t separator = url.find(L":///");
    std::size_t start = 0;
    if (separator != std::wstring::npos) {
        start = separator + 4;
    } else if ((separator = url.find(L"://")) != std::wstring::npos) {
        start = separator + 3;
    }
    if (tracing()) log(L"[grabber:get_domain] position1 = " + std::to_wstring(start), log_level::url);
    std::size_t end = start <= url.size() ? url.find(L'/', start) : std::wstring::npos;
    if (end == std::wstring::npos) end = url.size();
    if (tracing()) log(L"[grabber:get_domain] position2 = " + std::to_wstring(end), log_level::url);
    if (url.empty()) return url;
    if (host_only && separator != std::wstring::npos && separator > 0) return url.substr(start, end - start);
    return url.substr(0, end);
}

bool grabber::is_data_whitelisted(const std::wstring& data) const {
    if (!config_->get_whitelist_enabled()) return true;
    log(L"[grabber]is_data_whitelisted ", log_level::url);
    const std::wstring lower = util::to_lower(data);
    for (const std::wstring& entry : config_->get_whitelist()) {
        if (util::contains(lower, entry)) return true;  // an empty entry is in every text
    }
    return false;
}

bool grabber::is_application_blocked(const std::wstring& name) {
    if (!config_->is_blocking_activities()) return false;
    const std::shared_ptr<const std::vector<std::wstring>> items = config_->blocked_items_snapshot();
    return std::find(items->begin(), items->end(), name) != items->end();
}

void grabber::unblock_by_window_title(const std::wstring& title) {
    for (int attempt = 0; attempt < unblock_attempts; ++attempt) {
        if (!config_->is_blocking_activities()) return;
        const std::shared_ptr<const std::vector<std::wstring>> seen = config_->blocked_items_snapshot();
        if (seen->empty()) return;
        log(L"[common_grabber:unblock_by_window_title] checking " + util::escape_control_characters(title) +
                L" for unblock.",
            log_level::url);
        const auto at = title.find(unblock_marker);
        if (at == std::wstring::npos) return;
        const std::wstring unblock = util::to_lower(title.substr(at + unblock_marker.size()));
        log(L"[common_grabber:unblock_by_window_title] found unblock string, unblock_url: " +
                util::escape_control_characters(unblock),
            log_level::url);
        std::vector<std::wstring> items = *seen;
        for (auto item = items.begin(); item != items.end();) {
            log(L"[common_grabber:unblock_by_window_title] checking \"" + *item + L"\"", log_level::url);
            if (item->empty() || unblock.find(*item) != std::wstring::npos) {
                log(L"[common_grabber:unblock_by_window_title] removing \"" + *item + L"\" from blocked list.",
                    log_level::url);
                item = items.erase(item);
            } else {
                ++item;
            }
        }
        // The puller may have stored a new list meanwhile: then the removal
        // is made again in that one.
        if (config_->replace_blocked_items(seen, std::move(items))) return;
    }
    log(L"[common_grabber:unblock_by_window_title] the block list kept changing; nothing removed this time.",
        log_level::warning);
}

}  // namespace kes
