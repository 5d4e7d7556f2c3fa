#pragma once
// Turns samples of the front application, window title and idle time into
// activity records. The daemon's scanner thread calls `scan` once per scan
// interval; each pass extends, splits, completes or starts the one open
// record, and hands completed records to the activity logger. Everything
// here belongs to the scanner thread, except `complete_open_record_at_end`,
// which the orderly end calls once that thread has been joined, and
// `complete_open_record_at_exit`, which any thread may call.

#include "core/capture/log_entry.h"
#include "core/foundation/noncopyable.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace kes {

class config;
class grabber;
class system;
class ui;

class scanner : public noncopyable {
public:
    using ptime = boost::posix_time::ptime;

    // Takes each completed record with its upload row (csv_text.h), rendered once.
    using record_sink_function = std::function<void(const log_entry& record, const std::string& row)>;

    // What the scanner works with; an empty member takes the real one.
    struct seams {
        std::shared_ptr<kes::grabber> grabber;               // grabber::create()
        std::shared_ptr<kes::system> platform_system;        // system::create()
        std::function<ptime()> clock;                        // local time, whole seconds
        std::function<void(std::chrono::seconds)> sleep;     // sleeps the scanner thread
        record_sink_function record_sink;                     // logger::get_instance().log_row
        std::function<kes::ui*()> user_interface;            // ui::get_instance()
    };

    scanner();
    explicit scanner(seams with);
    virtual ~scanner();

    // One pass; called only by the scanner loop.
    virtual void scan();

    // At the orderly end, after the scanner thread has ended: the open record
    // is completed as a full completion would (idle rule included) and
    // handed to the logger, instead of being dropped.
    virtual void complete_open_record_at_end();

    // When the process ends without the orderly end (the toolkit exits when
    // its display connection breaks) and the scanner thread still runs: the
    // record open at the last finished pass is completed there and handed to
    // the logger, and from then on the scanner hands over nothing, so no
    // record arrives twice. Once; later calls do nothing.
    void complete_open_record_at_exit();

    void complete_record(bool full);
    void start_record();
    bool focus_changed();
    bool is_clock_skewed() const;
    bool has_open_record() const;
    bool process_id_changed(const std::wstring& process_id);

    // For tests and diagnostics.
    const log_entry& current_entry() const { return current_entry_; }
    bool start_pending() const { return start_pending_; }

    // "safari.app" and "notepad.exe" name the applications "safari" and
    // "notepad"; any other name stays whole.
    static std::wstring application_name_of(const std::wstring& lower_process_name);

private:
    // The title the agent's own windows and "baretail" are recorded with,
    // whatever their real title; empty for every other application.
    static std::wstring fixed_title(const std::wstring& application_name);
    std::wstring title_to_compare();
    class sampling_pass;

    // One attempt; false when the start must begin again from the top.
    bool try_start_record();
    void update_idle_activity();
    // The completed record to the logger, unless the process is ending
    // (false then).
    bool hand_over(const log_entry& record, const std::string& row);
    // Keeps a copy of the open record for `complete_open_record_at_exit`.
    void publish_open_record();

    config* config_;
    record_sink_function record_sink_;
    std::shared_ptr<kes::grabber> grabber_;
    std::shared_ptr<kes::system> system_;
    std::function<ptime()> clock_;
    std::function<void(std::chrono::seconds)> sleep_;
    std::function<kes::ui*()> user_interface_;

    ptime last_scan_time_;
    ptime now_;  // the time of the running pass
    sampling_pass* pass_ = nullptr;  // the running pass, while scan() runs
    log_entry current_entry_;
    std::wstring last_process_id_;
    std::wstring last_window_title_;
    std::wstring application_name_;
    std::wstring last_extended_info_;
    std::uint32_t error_retry_count_ = 0;
    bool start_pending_ = true;
    bool display_was_on_ = true;

    // Shared with the thread that ends the process.
    std::mutex exit_mutex_;
    std::optional<log_entry> open_at_last_pass_;
    bool ending_ = false;
};

}  // namespace kes
