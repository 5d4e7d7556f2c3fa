// The built-in browser-support table and the store's members for it. The
// table maps a browser's bundle identifier to the ways of asking it for the
// page in front, tried in order.

#include "core/foundation/config.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"

namespace kes {
namespace {

// Keys in a fixed order, no white space; parsed when the defaults apply.
constexpr const char* default_browser_support_json =
    R"({"com.apple.Safari":{"process_name":"safari","bundle_id":"com.apple.Safari","paths":[{"id":"applescript_webkit","app_name":"Safari"}]},)"
    R"("com.apple.SafariTechnologyPreview":{"process_name":"safari technology preview","bundle_id":"com.apple.SafariTechnologyPreview","paths":[{"id":"applescript_webkit","app_name":"Safari Technology Preview"}]},)"
    R"("com.google.Chrome":{"process_name":"google chrome","bundle_id":"com.google.Chrome","paths":[{"id":"applescript_chromium","app_name":"Google Chrome"}]},)"
    R"("com.google.Chrome.canary":{"process_name":"google chrome","bundle_id":"com.google.Chrome.canary","paths":[{"id":"applescript_chromium","app_name":"Google Chrome Canary"}]},)"
    R"("com.operasoftware.Opera":{"process_name":"google chrome","bundle_id":"com.operasoftware.Opera","paths":[{"id":"applescript_chromium","app_name":"Opera"}]},)"
    R"("com.vivaldi.Vivaldi":{"process_name":"vivaldi","bundle_id":"com.vivaldi.Vivaldi","paths":[{"id":"applescript_chromium","app_name":"Vivaldi"}]},)"
    R"("ru.yandex.desktop.yandex-browser":{"process_name":"yandex","bundle_id":"ru.yandex.desktop.yandex-browser","paths":[{"id":"applescript_chromium","app_name":"Yandex"}]},)"
    R"("com.brave.Browser":{"process_name":"brave browser","bundle_id":"com.brave.Browser","paths":[{"id":"applescript_chromium","app_name":"Brave Browser"}]},)"
    R"("org.mozilla.firefox":{"process_name":"","bundle_id":"org.mozilla.firefox","paths":[{"id":"websocket"}]},)"
    R"("org.mozilla.nightly":{"process_name":"","bundle_id":"org.mozilla.nightly","paths":[{"id":"websocket"}]},)"
    R"("org.mozilla.firefoxdeveloperedition":{"process_name":"","bundle_id":"org.mozilla.firefoxdeveloperedition","paths":[{"id":"websocket"}]}})";

}  // namespace

std::shared_ptr<const DynamicStructure> config::get_browser_support() const {
    std::lock_guard<std::mutex> lock(browser_support_mutex_);
    if (!browser_support_) return std::make_shared<const DynamicStructure>();
    return browser_support_;
}

void config::set_browser_support(const DynamicStructure& table) {
    auto copy = std::make_shared<const DynamicStructure>(table);
    {
        std::lock_guard<std::mutex> lock(browser_support_mutex_);
        browser_support_ = std::move(copy);
    }
    browser_support_changed_.store(true);
}

void config::load_default_browser_support() {
    set_browser_support(DynamicStructureFromJsonText(default_browser_support_json));
}

}  // namespace kes
