#include "app/osx_extended_info_grabber_factory.h"

#include "core/capture/common_extended_info_grabber_url_websocket.h"
#include "core/foundation/debug_log.h"
#include "app/unsupported/osx_BrowserScriptExecutor.h"
#include "app/unsupported/osx_extended_info_grabber_url.h"

namespace kes {

osx_extended_info_grabber_factory::osx_extended_info_grabber_factory(
    browser_identity identify, std::shared_ptr<osx_BrowserScriptExecutor> scripts)
    : identify_(std::move(identify)),
      scripts_(scripts ? std::move(scripts) : osx_BrowserScriptExecutor::sharedExecutor()) {
    log(L"[osx_extended_info_grabber_factory]ctor", log_level::debug);
}

std::unique_ptr<extended_info_grabber> osx_extended_info_grabber_factory::get_extended_info_grabber(
    const std::wstring& suffix, const std::wstring& bundle_id, const std::wstring& id, const DynamicStructure&) {
    if (id == L"websocket") {
        return std::make_unique<common_extended_info_grabber_url_websocket>(suffix, bundle_id, id);
    }
    if (id == L"applescript_chromium") {
        return std::make_unique<osx_extended_info_grabber_url>(suffix, bundle_id, id,
                                                               osx_extended_info_grabber_url::chromium, scripts_);
    }
    if (id == L"applescript_webkit") {
        return std::make_unique<osx_extended_info_grabber_url>(suffix, bundle_id, id,
                                                               osx_extended_info_grabber_url::webkit, scripts_);
    }
    log(L"osx_extended_info_grabber_factory::get_extended_info_grabber() - this version of KES cannot handle type: " +
            id,
        log_level::debug);
    return nullptr;
}

std::wstring osx_extended_info_grabber_factory::get_bundle_id(const std::wstring& pid, const std::wstring&) {
    const int process = std::stoi(pid);
    return identify_ ? identify_(process) : std::wstring();
}

}  // namespace kes
