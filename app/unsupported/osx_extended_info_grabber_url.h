#pragma once
// The chain link that asks a browser for its front page through the
// browser's scripts (path ids "applescript_webkit" and
// "applescript_chromium"), and sends the browser to the block page when a
// focus session blocks that page. The scripts run on the main thread while
// the scanner waits; on a desktop without browser scripting every script
// fails, the link answers nothing and the chain goes on.
//
// Kept apart in app/unsupported/: this desktop has no browser scripting (the
// script engine answers every browser script "unsupported"), so here it never
// yields a page; it stays for the browser-support table's script links, which
// then fall through to their next link.

#include "core/capture/extended_info_grabber.h"

#include <cstdint>
#include <memory>

namespace kes {

class osx_BrowserScriptExecutor;

class osx_extended_info_grabber_url : public extended_info_grabber {
public:
    static constexpr std::int32_t webkit = 0;
    static constexpr std::int32_t chromium = 1;

    // A `kind` other than the two above yields no address.
    osx_extended_info_grabber_url(std::wstring suffix, std::wstring bundle_id, std::wstring id, std::int32_t kind,
                                  std::shared_ptr<osx_BrowserScriptExecutor> executor);
    ~osx_extended_info_grabber_url() override;

    // The address read, also when the page was then replaced by the block page.
    std::wstring get_extended_info() override;

    std::int32_t kind() const { return kind_; }

private:
    std::int32_t kind_;
    std::shared_ptr<osx_BrowserScriptExecutor> executor_;
};

}  // namespace kes
