#pragma once
// Fetches what the web service has for the agent: the message list and what
// each message asks for (settings, alerts, client updates, the block list),
// the browser-support table, and fills the idle-activity defaults. Service
// failures are logged and swallowed inside each operation; the daemon's
// puller thread drives the operations, and the UI makes short-lived pullers
// to start and stop focus sessions at the service.

#include "core/foundation/noncopyable.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kes {

class config;
class system;
class sync_service;
class ui;

class puller : public noncopyable {
public:
    using ui_source = std::function<ui*()>;
    using clock_source = std::function<boost::posix_time::ptime()>;  // local wall-clock time

    // Defaults: the process-wide service client, a new platform object, the
    // process-wide UI and the configuration's local clock.
    puller();
    puller(std::shared_ptr<sync_service> service, std::shared_ptr<system> platform, ui_source user_interface,
           clock_source clock = {});
    virtual ~puller();

    // The daemon's operations.
    virtual void update_idle_activity_list();
    virtual void pull_config();
    virtual void update_browser_support();
    virtual std::vector<std::uint32_t> pull_messages();  // empty on failure
    virtual void pull_alerts();
    virtual void update_client();
    virtual void update_client_beta();
    virtual void update_blocked_list_no_params();

    // Fetches the block list (telling the service that a focus session starts
    // or ends); true when the service answered. A focus session still running
    // keeps its end time across a refresh that answers blocking on; an answer
    // with blocking off, or no answer, ends it.
    bool update_blocked_list(bool start, bool end, int duration_minutes);
    bool update_blocked_list_start_stillzone(int minutes);
    bool update_blocked_list_stop_stillzone();

    // Focus sessions asked for by the service's alerts.
    void start_stillzone_until(boost::posix_time::ptime until);
    void start_stillzone_for(int minutes);

    // The idle activities filled in when the list is empty.
    static std::vector<std::wstring> default_idle_activities();

private:
    bool is_paused() const;
    bool refuse_while_paused() const;
    void start_focus_session(int minutes);

    config& config_;
    std::shared_ptr<sync_service> service_;
    std::shared_ptr<system> system_;
    ui_source ui_;
    clock_source clock_;
};

}  // namespace kes
