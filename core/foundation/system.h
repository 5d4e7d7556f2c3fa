#pragma once
// What differs between platforms: idle time, display state, running copies,
// time zone, folders and files, the CA bundle, updates, running a command.
// The non-virtual path operations fix where every file of the agent lives.

#include <functional>
#include <memory>
#include <string>

namespace kes {

class system {
public:
    virtual ~system() = default;

    using factory = std::function<std::shared_ptr<system>()>;

    // Each call makes a new platform object; callers keep it while they need it.
    // Throws std::logic_error until the program has installed its factory.
    static std::shared_ptr<system> create();
    // The program's entry installs the platform's kind first thing, before
    // anything logs (the debug log asks `create` for its path).
    static void install_factory(factory make);

    // The scanner brackets each pass with these: a platform may answer the
    // pass's questions on idle time and display state from one reading.
    virtual void begin_pass() {}
    virtual void end_pass() {}

    virtual double get_idle_time() = 0;
    virtual bool is_display_on() { return true; }
    virtual bool is_other_instance_running() = 0;
    virtual std::wstring get_time_zone_name() { return {}; }
    virtual std::string get_user_library_dir() = 0;
    virtual std::string get_temp_dir() = 0;
    virtual std::string get_app_dir() = 0;
    virtual std::string get_ca_bundle_path() = 0;
    virtual void get_update() = 0;
    virtual std::wstring run_command(const std::wstring& command);

    bool is_idle();

    std::string get_data_dir();
    std::string get_browser_support_path();
    std::string get_log_dir();
    std::string get_debug_log_path();
    std::string get_activities_dir();
    std::string get_activities_backup_dir();
    std::string get_config_json_path();
    std::string get_config_cfg_path();

    void set_update_channel(int channel) { update_channel_ = channel; }
    int get_update_channel() const { return update_channel_; }

private:
    std::string settings_file_path(const std::string& file_name);

    int update_channel_ = 0;
};

}  // namespace kes
