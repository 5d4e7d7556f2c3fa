#include "app/osx_AppleScriptExecutor.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "platform/main_queue.h"
#include "platform/main_thread_call.h"
#include "platform/script_engine.h"

#include <iostream>

namespace kes {

osx_AppleScriptExecutor::osx_AppleScriptExecutor(std::shared_ptr<platform::script_engine> engine,
                                                 platform::main_queue& queue)
    : engine_(std::move(engine)), queue_(queue) {}

std::shared_ptr<osx_AppleScriptExecutor> osx_AppleScriptExecutor::create() {
    return std::make_shared<osx_AppleScriptExecutor>(platform::script_engine::create(),
                                                     platform::main_queue::instance());
}

std::optional<std::string> osx_AppleScriptExecutor::executeScriptNamed(const std::string& name) {
    const platform::script_result result = engine_->run_named(name);
    switch (result.status) {
        case platform::script_result::outcome::answered:
            return result.text;
        case platform::script_result::outcome::not_found:
            log(L"[osx_AppleScriptExecutor scriptForName:] - failed to init script '" + util::widen(name) +
                    L"' error: " + util::utf8_to_wstring_lossy(result.error),
                log_level::error);
            return std::nullopt;
        case platform::script_result::outcome::failed:
            break;
    }
    log(L"[osx_AppleScriptExecutor executeScriptNamed:] - failed to execute script: " +
            util::utf8_to_wstring_lossy(result.error),
        log_level::url);
    return std::nullopt;
}

std::optional<std::string> osx_AppleScriptExecutor::run_script(const std::string& name) {
    return platform::call_on_main_thread(queue_, [this, &name] { return executeScriptNamed(name); })
        .value_or(std::nullopt);
}

std::optional<std::string> osx_AppleScriptExecutor::runCurrentApplicationNameScript() {
    std::optional<std::string> result = run_script("CurrentApplicationName");
    // The console trace of this script's answer.
    std::clog << "result: " << (result ? *result : std::string("(null)")) << '\n';
    return result;
}

std::optional<std::string> osx_AppleScriptExecutor::runCurrentApplicationPathScript() {
    return run_script("CurrentApplicationPath");
}

std::optional<std::string> osx_AppleScriptExecutor::runGetProcessIDScript() {
    return run_script("GetProcessID");
}

}  // namespace kes
