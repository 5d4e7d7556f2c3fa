#pragma once
// User defaults in an INI file, "Kestrel.conf" in
// ${XDG_CONFIG_HOME:-~/.config}/kestrel/ unless told another folder. The folder
// is kept 0700 and the file 0600, like every file the agent writes. Where the
// name holds something other than a regular file (a pipe, a device), it is
// neither read nor written: the values then hold for this run only.

#include "platform/user_defaults.h"

#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class QSettings;

namespace platform {

class settings_user_defaults final : public user_defaults {
public:
    static std::string default_folder();

    explicit settings_user_defaults(std::string folder = default_folder());
    ~settings_user_defaults() override;

    void register_defaults(const std::map<std::string, value>& defaults) override;
    bool get_bool(const std::string& key) const override;
    std::string get_string(const std::string& key) const override;
    bool set_bool(const std::string& key, bool flag) override;
    bool set_string(const std::string& key, const std::string& text) override;
    bool synchronize() override;

    std::string file_path() const { return file_; }

private:
    bool store(const std::string& key, const QString& text);
    bool write_locked();
    std::optional<QString> stored_locked(const std::string& key) const;
    const value* registered(const std::string& key) const;

    const std::string folder_;
    const std::string file_;
    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;  // none while the name holds no file to use
    std::map<std::string, QString> this_run_only_;
    std::map<std::string, value> registered_;
};

}  // namespace platform
