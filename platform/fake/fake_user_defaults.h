#pragma once
// User defaults in memory; a test can make every write fail, and sees what
// was stored apart from what was registered.

#include "platform/user_defaults.h"

#include <mutex>

namespace platform {

class fake_user_defaults final : public user_defaults {
public:
    void register_defaults(const std::map<std::string, value>& defaults) override {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [key, fallback] : defaults) registered_[key] = fallback;
    }
    bool get_bool(const std::string& key) const override {
        std::lock_guard<std::mutex> lock(mutex_);
        const value* found = find(key);
        const bool* flag = found ? std::get_if<bool>(found) : nullptr;
        return flag && *flag;
    }
    std::string get_string(const std::string& key) const override {
        std::lock_guard<std::mutex> lock(mutex_);
        const value* found = find(key);
        const std::string* text = found ? std::get_if<std::string>(found) : nullptr;
        return text ? *text : std::string();
    }
    bool set_bool(const std::string& key, bool flag) override { return store(key, flag); }
    bool set_string(const std::string& key, const std::string& text) override { return store(key, text); }
    bool synchronize() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++synchronized;
        return !fail_writes;
    }

    // What was written, without the registrations.
    std::map<std::string, value> stored() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return stored_;
    }
    bool fail_writes = false;
    int synchronized = 0;

private:
    const value* find(const std::string& key) const {
        if (const auto it = stored_.find(key); it != stored_.end()) return &it->second;
        if (const auto it = registered_.find(key); it != registered_.end()) return &it->second;
        return nullptr;
    }
    bool store(const std::string& key, value v) {
        std::lock_guard<std::mutex> lock(mutex_);
        stored_[key] = std::move(v);
        return !fail_writes;
    }

    mutable std::mutex mutex_;
    std::map<std::string, value> registered_;
    std::map<std::string, value> stored_;
};

}  // namespace platform
