#include "app/unsupported/osx_BrowserScripts.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "kes/build_config.h"
#include "platform/script_engine.h"

namespace kes {
namespace {

std::string timed(const std::string& statement) {
    return "with timeout of 0.2 seconds\n" + statement + "\nend timeout";
}

// A text inside a script's double quotes: backslashes and quotation marks
// are escaped, so no identifier can end the string early.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

std::wstring error_text(const platform::script_result& result) { return util::utf8_to_wstring_lossy(result.error); }

}  // namespace

// Where a kind of browser keeps its front page: "front document" in WebKit
// browsers, "active tab of front window" in Chromium ones.
struct osx_BrowserScripts::dialect {
    const char* validation_object;  // what must exist for validation to pass
    const char* page;               // the page whose URL is read and set
};

osx_BrowserScripts::osx_BrowserScripts(const dialect& kind, const std::string& bundle_id)
    : app_bundle_id_(bundle_id) {
    const std::string app = "application id " + quoted(bundle_id);
    const std::string page = kind.page;
    validation_ = timed("return (" + app + " is frontmost) and (exists (" + kind.validation_object + " of " +
                        app + "))");
    get_url_ = timed("tell " + app + " to return URL of " + page);
    block_url_ = timed("tell " + app + " to set URL of " + page + " to " + quoted(block_page_prefix()) +
                       " & URL of " + page);
}

std::string osx_BrowserScripts::block_page_prefix() {
    return std::string("https://") + build::block_page_host + "/blocked/url/";
}

std::unique_ptr<osx_BrowserScripts> osx_BrowserScripts::webkitScriptsFor(const std::string& bundle_id) {
    static const dialect webkit{"front document", "front document"};
    return std::unique_ptr<osx_BrowserScripts>(new osx_BrowserScripts(webkit, bundle_id));
}

std::unique_ptr<osx_BrowserScripts> osx_BrowserScripts::chromiumScriptsFor(const std::string& bundle_id) {
    static const dialect chromium{"front window", "active tab of front window"};
    return std::unique_ptr<osx_BrowserScripts>(new osx_BrowserScripts(chromium, bundle_id));
}

bool osx_BrowserScripts::runPassesValidationScript(platform::script_engine& engine) const {
    const platform::script_result result = engine.run_source(validation_);
    if (!result.answered()) {
        log(L"[osx_AppleScriptExecutor browserScriptsPassesInitialValidation:] --- failed to run validation "
            L"AppleScripts: " + error_text(result),
            log_level::url);
        return false;
    }
    if (result.text != "true") {
        log(L"[osx_AppleScriptExecutor browserScriptsPassesInitialValidation:] --- is not frontmost -or- does not "
            L"have window/document",
            log_level::url);
        return false;
    }
    return true;
}

std::optional<std::string> osx_BrowserScripts::runGetURLScript(platform::script_engine& engine) const {
    if (!runPassesValidationScript(engine)) return std::nullopt;
    platform::script_result result = engine.run_source(get_url_);
    if (!result.answered()) {
        log(L"[osx_AppleScriptExecutor getURL] --- failed to run execute AppleScript: " + error_text(result),
            log_level::url);
        return std::nullopt;
    }
    return std::move(result.text);
}

void osx_BrowserScripts::runBlockURLScript(platform::script_engine& engine) const {
    if (!runPassesValidationScript(engine)) return;
    const platform::script_result result = engine.run_source(block_url_);
    if (!result.answered()) {
        log(L"[osx_AppleScriptExecutor blockURL] --- failed to run execute AppleScript: " + error_text(result),
            log_level::url);
    }
}

}  // namespace kes
