#pragma once
// The address chains of this desktop's browsers: links that ask through the
// browser's scripts, and the browser-extension link. A process is known as a
// browser by the browser-support key its front window gives (see
// osx/browser_identity.h); the grabber that owns the factory tells it.

#include "core/capture/extended_info_grabber_factory.h"

#include <functional>
#include <memory>

namespace kes {

class osx_BrowserScriptExecutor;

class osx_extended_info_grabber_factory : public extended_info_grabber_factory {
public:
    // The browser-support key of a process id; empty for no known browser.
    using browser_identity = std::function<std::wstring(int pid)>;

    // `scripts` empty means the process-wide executor.
    explicit osx_extended_info_grabber_factory(browser_identity identify,
                                               std::shared_ptr<osx_BrowserScriptExecutor> scripts = nullptr);

    using extended_info_grabber_factory::get_extended_info_grabber;
    // "websocket", "applescript_chromium" and "applescript_webkit", exactly.
    std::unique_ptr<extended_info_grabber> get_extended_info_grabber(const std::wstring& suffix,
                                                                     const std::wstring& bundle_id,
                                                                     const std::wstring& id,
                                                                     const DynamicStructure& path) override;
    // `pid` is read as std::stoi does, and throws as it does.
    std::wstring get_bundle_id(const std::wstring& pid, const std::wstring& suffix) override;

private:
    browser_identity identify_;
    std::shared_ptr<osx_BrowserScriptExecutor> scripts_;
};

}  // namespace kes
