#pragma once
// The script engine of this desktop: front-application scripts answered from
// the main thread's own X11 session.

#include "platform/script_engine.h"
#include "platform/linux/x11_windows.h"

namespace platform {

class x11_script_engine : public script_engine {
public:
    explicit x11_script_engine(std::string display_name = {});

    script_result run_named(const std::string& name) override;
    script_result run_source(const std::string& source) override;

private:
    x11_windows session_;
};

}  // namespace platform
