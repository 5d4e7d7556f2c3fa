#include "app/unsupported/osx_BrowserScriptExecutor.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "app/unsupported/osx_BrowserScripts.h"
#include "platform/main_queue.h"
#include "platform/main_thread_call.h"
#include "platform/script_engine.h"

namespace kes {

osx_BrowserScriptExecutor::osx_BrowserScriptExecutor(std::shared_ptr<platform::script_engine> engine,
                                                     platform::main_queue& queue)
    : engine_(std::move(engine)), queue_(queue) {}

osx_BrowserScriptExecutor::~osx_BrowserScriptExecutor() = default;

std::shared_ptr<osx_BrowserScriptExecutor> osx_BrowserScriptExecutor::sharedExecutor() {
    // Made once; scanner threads may still ask it while the process ends.
    static const auto* const shared = new std::shared_ptr<osx_BrowserScriptExecutor>(
        std::make_shared<osx_BrowserScriptExecutor>(platform::script_engine::create(),
                                                    platform::main_queue::instance()));
    return *shared;
}

void osx_BrowserScriptExecutor::note_request_on_main_thread(const char* request) const {
    if (!queue_.is_main_thread()) return;
    log(L"[osx_BrowserScriptExecutor " + util::widen(request) +
            L"] --- called on the main thread, which would wait for itself; running the script here.",
        log_level::error);
}

const osx_BrowserScripts& osx_BrowserScriptExecutor::createOrReturnCachedScriptFor(kind of,
                                                                                   const std::string& bundle_id) {
    std::unique_ptr<osx_BrowserScripts>& scripts = cachedBrowserScripts_[bundle_id];
    if (!scripts) {
        scripts = of == kind::webkit ? osx_BrowserScripts::webkitScriptsFor(bundle_id)
                                     : osx_BrowserScripts::chromiumScriptsFor(bundle_id);
    }
    return *scripts;
}

std::optional<std::string> osx_BrowserScriptExecutor::get_url(kind of, const std::string& bundle_id) {
    const char* request = of == kind::webkit ? "getWebKitURLFor:" : "getChromiumURLFor:";
    note_request_on_main_thread(request);
    return platform::call_on_main_thread(queue_, [&] {
               return createOrReturnCachedScriptFor(of, bundle_id).runGetURLScript(*engine_);
           }).value_or(std::nullopt);
}

void osx_BrowserScriptExecutor::block_url(kind of, const std::string& bundle_id) {
    const char* request = of == kind::webkit ? "blockWebKitURLFor:" : "blockChromiumURLFor:";
    note_request_on_main_thread(request);
    platform::call_on_main_thread(queue_, [&] {
        createOrReturnCachedScriptFor(of, bundle_id).runBlockURLScript(*engine_);
        return true;
    });
}

std::optional<std::string> osx_BrowserScriptExecutor::getWebKitURLFor(const std::string& bundle_id) {
    return get_url(kind::webkit, bundle_id);
}

std::optional<std::string> osx_BrowserScriptExecutor::getChromiumURLFor(const std::string& bundle_id) {
    return get_url(kind::chromium, bundle_id);
}

void osx_BrowserScriptExecutor::blockWebKitURLFor(const std::string& bundle_id) {
    block_url(kind::webkit, bundle_id);
}

void osx_BrowserScriptExecutor::blockChromiumURLFor(const std::string& bundle_id) {
    block_url(kind::chromium, bundle_id);
}

}  // namespace kes
