#pragma once
// Login items in memory: the test sees every request in order and can make
// the next ones fail, as a desktop that refuses the entry does.

#include "platform/login_items.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace platform {

class fake_login_items final : public login_items {
public:
    bool set_enabled(const std::string& identifier, bool enabled) override {
        requests.emplace_back(identifier, enabled);
        if (refuse) return false;
        items[identifier] = enabled;
        return true;
    }

    bool is_enabled(const std::string& identifier) override {
        const auto found = items.find(identifier);
        return found != items.end() && found->second;
    }

    bool is_switched_off(const std::string& identifier) override { return switched_off.count(identifier) != 0; }

    std::map<std::string, bool> items;
    std::set<std::string> switched_off;  // as the desktop's startup settings left them
    std::vector<std::pair<std::string, bool>> requests;
    bool refuse = false;
};

}  // namespace platform
