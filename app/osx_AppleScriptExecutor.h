#pragma once
// Runs the agent's named scripts on the main thread: called on the main
// thread it runs them directly, from any other thread it hands them to the
// main queue and waits (so a scanner pass that falls back to a script waits
// until the main thread is free). A closed queue answers "no result".

#include <memory>
#include <optional>
#include <string>

namespace platform {
class main_queue;
class script_engine;
}  // namespace platform

namespace kes {

class osx_AppleScriptExecutor {
public:
    explicit osx_AppleScriptExecutor(std::shared_ptr<platform::script_engine> engine,
                                     platform::main_queue& queue);

    // The executor over this desktop's engine and the process-wide main queue.
    static std::shared_ptr<osx_AppleScriptExecutor> create();

    std::optional<std::string> runCurrentApplicationNameScript();
    std::optional<std::string> runCurrentApplicationPathScript();
    std::optional<std::string> runGetProcessIDScript();

    // On the calling thread: the script's answer, or nullopt (logged).
    std::optional<std::string> executeScriptNamed(const std::string& name);

private:
    std::optional<std::string> run_script(const std::string& name);

    std::shared_ptr<platform::script_engine> engine_;
    platform::main_queue& queue_;
};

}  // namespace kes
