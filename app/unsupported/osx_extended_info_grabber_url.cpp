#include "app/unsupported/osx_extended_info_grabber_url.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "app/unsupported/osx_BrowserScriptExecutor.h"

namespace kes {

osx_extended_info_grabber_url::osx_extended_info_grabber_url(std::wstring suffix, std::wstring bundle_id,
                                                             std::wstring id, std::int32_t kind,
                                                             std::shared_ptr<osx_BrowserScriptExecutor> executor)
    : extended_info_grabber(std::move(suffix), std::move(bundle_id), std::move(id)),
      kind_(kind),
      executor_(std::move(executor)) {
    log(L"[osx_extended_info_grabber_url]ctor", log_level::ctor);
}

osx_extended_info_grabber_url::~osx_extended_info_grabber_url() {
    log(L"[osx_extended_info_grabber_url]dtor", log_level::ctor);
}

std::wstring osx_extended_info_grabber_url::get_extended_info() {
    log(L"[osx_extended_info_grabber_url]get_extended_info start ", log_level::url);
    const std::string bundle = util::wstring_to_utf8_lossy(bundle_id());
    std::optional<std::string> read;
    if (kind_ == webkit) read = executor_->getWebKitURLFor(bundle);
    if (kind_ == chromium) read = executor_->getChromiumURLFor(bundle);
    if (!read || read->empty()) return {};

    // The browser's text is untrusted: bytes that are no UTF-8 are replaced.
    const std::wstring address = util::utf8_to_wstring_lossy(*read);
    std::wstring redirect;
    if (is_url_blocked(address, redirect)) {
        if (kind_ == webkit) executor_->blockWebKitURLFor(bundle);
        if (kind_ == chromium) executor_->blockChromiumURLFor(bundle);
        log(L"[osx_extended_info_grabber_url]get_extended_info() running blocking script.", log_level::url);
    }
    log(L"[osx_extended_info_grabber_url]get_extended_info - active_url: " + util::escape_control_characters(address),
        log_level::url);
    return address;
}

}  // namespace kes
