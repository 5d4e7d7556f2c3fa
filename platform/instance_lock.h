#pragma once
// One running copy of the agent per user. The first copy holds an exclusive
// `flock` on a lock file for its whole life (the kernel frees it when the
// process dies, however it dies) and listens on a datagram socket beside it;
// a later copy tells the running one it was started, then finds the lock taken.

#include <memory>
#include <string>

namespace platform {

// The one notification a starting copy sends.
inline constexpr const char* opening_instance_notification = "com.kestrel.Kestrel.openingKestrelInstance";

class instance_lock {
public:
    virtual ~instance_lock() = default;

    // Sends the opening notification to a running copy; silently nothing when
    // none listens. Never blocks.
    virtual void post_opening_notification() = 0;

    enum class state {
        held,         // this process holds it (taken now or earlier); the socket listens
        taken,        // another process holds it
        unavailable,  // the lock file cannot be used (folder not private, I/O error)
    };
    virtual state acquire() = 0;

    // The process id the holder wrote into the lock file; 0 when unknown.
    virtual long holder_pid() = 0;

    // Readable when notifications are waiting; -1 while the lock is not held.
    virtual int notification_fd() const = 0;

    // Reads every waiting datagram; answers how many were opening notifications.
    virtual int take_notifications() = 0;
};

// The lock file "kestrel.lock" and socket "kestrel.sock" in `folder`, which must
// be a private folder of this user (the per-user runtime folder).
std::unique_ptr<instance_lock> make_file_instance_lock(const std::string& folder);

// The lock file "kestrel.lock" in the data folder `folder`, without a socket:
// two copies started with different runtime folders (another login, cron,
// ssh) would otherwise both record into one data folder. A read-only folder
// still locks through a lock file made earlier.
std::unique_ptr<instance_lock> make_data_folder_lock(const std::string& folder);

// The process-wide lock in platform::runtime_dir(); it lasts until the process ends.
std::shared_ptr<instance_lock> process_instance_lock();
// The process-wide lock of one data folder; it lasts until the process ends.
std::shared_ptr<instance_lock> process_data_folder_lock(const std::string& folder);

}  // namespace platform
