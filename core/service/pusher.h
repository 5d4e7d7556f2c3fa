#pragma once
// Sends what the agent recorded to the web service. One pass (`shove`):
// re-activates when the computer's identity changed, reports a changed time
// zone, has the logger write its records to an upload file, uploads every
// upload file (".kesc"/".kesg") of the activities folder to the service and
// to each mirror account, then backs it up or deletes it, shows the send time
// on the status line and prunes old backups.
//
// A file the service accepted is never sent again, and a file is never moved
// or deleted before the service accepted it. The daemon's pusher thread runs
// the passes; file-system errors outside one file's hand-over leave the pass.

#include "core/foundation/noncopyable.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

namespace kes {

class config;
class logger;
class system;
class sync_service;

class pusher : public noncopyable {
public:
    struct clocks {
        // Local wall-clock time: the status line and the last successful send.
        std::function<boost::posix_time::ptime()> local_now;
        // The system clock: when a time-zone change was first seen.
        std::function<std::chrono::system_clock::time_point()> system_now;
    };
    static clocks default_clocks();

    // Defaults: the process-wide service client, logger and configuration, a
    // new platform object and the real clocks.
    pusher();
    pusher(std::shared_ptr<sync_service> service, logger& activity_logger, std::shared_ptr<system> platform,
           clocks time = default_clocks());
    virtual ~pusher();

    virtual void shove();

    void post_system_timezone();

    // Uploads one file to the API host (a failure there is thrown) and then to
    // every mirror (failures there are logged only).
    void send_log(const std::string& file_path);

    // True when the debug log was sent and emptied; false when it was empty
    // or the upload failed (the log is kept then).
    static bool send_debug_log();
    static bool send_debug_log(sync_service& service);

private:
    void reactivate_if_identity_changed();
    void send_activity_files(const std::string& activities_dir, const std::string& backup_dir);
    void send_one_file(const std::string& path, const std::string& backup_dir);
    void hand_over_sent_file(const std::string& path, const std::string& backup_dir);

    std::shared_ptr<sync_service> service_;
    logger& logger_;
    config& config_;
    std::shared_ptr<system> system_;
    clocks clocks_;

    std::string last_timezone_;
    double timezone_changed_at_ = 0;
    bool timezone_synced_ = false;

    // Files the service accepted that could be neither backed up nor deleted:
    // they stay where they are but are not sent again while this process runs.
    std::set<std::string> sent_but_kept_;
};

}  // namespace kes
