#pragma once
// The scripts that ask one browser for the address of its front page and
// that replace that page with the block page: one set per browser, in the
// dialect of its kind (WebKit or Chromium). Each script is three lines: a
// 0.2-second time-out around one statement. The block script sends the
// browser to the block page fixed at build time, followed by the page's own
// address.
//
// The scripts run on the engine they are given, on the caller's thread; the
// executor (osx_BrowserScriptExecutor) brings them to the main thread.
//
// Kept apart in app/unsupported/: this desktop has no browser scripting (the
// script engine answers every browser script "unsupported"), so here it never
// yields a page; it stays for the browser-support table's script links, which
// then fall through to their next link.

#include <memory>
#include <optional>
#include <string>

namespace platform {
class script_engine;
}

namespace kes {

class osx_BrowserScripts {
public:
    static std::unique_ptr<osx_BrowserScripts> webkitScriptsFor(const std::string& bundle_id);
    static std::unique_ptr<osx_BrowserScripts> chromiumScriptsFor(const std::string& bundle_id);

    const std::string& appBundleId() const { return app_bundle_id_; }
    // Whether the browser is in front with a page open.
    const std::string& validationScripts() const { return validation_; }
    const std::string& getURLScript() const { return get_url_; }
    const std::string& blockURLScript() const { return block_url_; }

    // True only when the validation script answers true.
    bool runPassesValidationScript(platform::script_engine& engine) const;
    // The front page's address once validation passed; nullopt otherwise
    // (every failure logged).
    std::optional<std::string> runGetURLScript(platform::script_engine& engine) const;
    // Shows the block page once validation passed.
    void runBlockURLScript(platform::script_engine& engine) const;

    // "https://" + the block page's host + "/blocked/url/".
    static std::string block_page_prefix();

private:
    struct dialect;
    osx_BrowserScripts(const dialect& kind, const std::string& bundle_id);

    std::string app_bundle_id_;
    std::string validation_;
    std::string get_url_;
    std::string block_url_;
};

}  // namespace kes
