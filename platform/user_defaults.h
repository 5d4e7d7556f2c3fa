#pragma once
// The user's defaults: small values kept per user between runs. A key never
// stored answers its registered value (registrations live in memory only), and
// an unregistered one answers false or "". Thread-safe.

#include <map>
#include <memory>
#include <string>
#include <variant>

namespace platform {

class user_defaults {
public:
    using value = std::variant<bool, std::string>;

    virtual ~user_defaults() = default;

    virtual void register_defaults(const std::map<std::string, value>& defaults) = 0;

    // A stored text that is no truth value ("true", "false", "1", "0", "yes",
    // "no") answers the registered value.
    virtual bool get_bool(const std::string& key) const = 0;
    virtual std::string get_string(const std::string& key) const = 0;

    // Stored at once. False when the store cannot be written: the value then
    // holds for this run only.
    virtual bool set_bool(const std::string& key, bool value) = 0;
    virtual bool set_string(const std::string& key, const std::string& value) = 0;

    // Writes what is pending and reads what another copy wrote; false when
    // the store cannot be written.
    virtual bool synchronize() = 0;
};

}  // namespace platform
