#pragma once
// A workspace in memory: the test lists the running applications; launches
// are recorded and answer with a made-up process id unless told to fail.

#include "platform/workspace.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

class fake_workspace final : public workspace {
public:
    std::vector<running_application> running_applications() override {
        ++walks;
        return running;
    }

    std::optional<int> launch_application(const std::string& bundle_path) override {
        launched.push_back(bundle_path);
        if (!launch_succeeds) return std::nullopt;
        return next_pid++;
    }

    std::vector<running_application> running;
    std::vector<std::string> launched;
    bool launch_succeeds = true;
    int next_pid = 50000;
    int walks = 0;
};

}  // namespace platform
