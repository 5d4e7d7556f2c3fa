#pragma once
// The login helper's one task, done once it has launched: start the agent
// whose bundle holds the helper, unless the agent already runs in this
// session. The agent is found by the helper's fixed place inside it,
// <agent>.app/Contents/Library/LoginItems/<helper>.app, and by nothing else.

#include "platform/bundle.h"
#include "platform/workspace.h"

#include <memory>
#include <string>

class AppDelegate {
public:
    // `bundle_path` is the helper's own bundle.
    explicit AppDelegate(std::shared_ptr<platform::workspace> workspace = platform::make_proc_workspace(),
                         std::string bundle_path = platform::main_bundle_path());

    void applicationDidFinishLaunching();

private:
    std::shared_ptr<platform::workspace> workspace_;
    std::string bundle_path_;
};
