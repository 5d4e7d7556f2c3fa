#include "core/capture/grabber.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

namespace kes {

grabber::grabber() : config_(&config::instance()) { log(L"[grabber]ctor", log_level::ctor); }

grabber::~grabber() { log(L"[grabber]dtor", log_level::ctor); }

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

std::wstring grabber::get_extended_info() { return {}; }

bool grabber::is_application_blocked(const std::wstring& name) {
    if (!config_->is_blocking_activities()) return false;
    for (const std::wstring& item : config_->get_blocked_items()) {
        if (item == name) return true;
    }
    return false;
}

void grabber::unblock_by_window_title(const std::wstring& title) {
    if (!config_->is_blocking_activities()) return;
    std::vector<std::wstring> items = config_->get_blocked_items();
    if (items.empty()) return;
    log(L"[common_grabber:unblock_by_window_title] checking " + title + L" for unblock.", log_level::url);
    const std::wstring marker = L"Kestrel Unblock: ";
    const auto at = title.find(marker);
    if (at == std::wstring::npos) return;
    const std::wstring unblock = util::to_lower(title.substr(at + marker.size()));
    log(L"[common_grabber:unblock_by_window_title] found unblock string, unblock_url: " + unblock, log_level::url);
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
    config_->set_blocked_items(std::move(items));
}

}  // namespace kes
