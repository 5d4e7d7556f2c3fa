#pragma once
// The daemon as this platform runs it: the core daemon plus the account key
// provisioned inside the application bundle.

#include "core/capture/daemon.h"

#include <string>

namespace kes {

class osx_daemon : public daemon {
public:
    explicit osx_daemon(const worker_factory& make_workers = make_default_workers,
                        clock_source clock = &std::chrono::system_clock::now);

    bool request_stop() override;
    bool run_service() override;
    bool service_hook_1() override { return true; }
    bool service_hook_2() override { return true; }
    bool service_hook_3() override { return false; }
    bool service_hook_4() override { return true; }

    virtual void run();
    virtual bool on_init();
    virtual void on_stop();
    virtual void on_interrogate();
    virtual void on_pause();
    virtual void on_continue();
    virtual void on_shutdown();
    virtual void on_user_control(const std::wstring& control);

    // Takes the key from the bundle's "Contents/account_key" file, when there
    // is one, and turns the user interface on.
    void load_provisioned_account_key(const std::string& path = provisioned_account_key_path());

    // Where the provisioned key is looked for.
    static std::string provisioned_account_key_path();

private:
    std::wstring service_name_;
};

}  // namespace kes
