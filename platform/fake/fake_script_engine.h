#pragma once
// A script engine for tests: answers from a table set by the test and records
// every script it ran, with the thread it ran on.

#include "platform/script_engine.h"

#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class main_queue;

class fake_script_engine : public script_engine {
public:
    // `queue` tells which thread is the main thread.
    explicit fake_script_engine(main_queue& queue);
    struct run {
        std::string script;  // the name, or the source text
        bool named = true;
        std::thread::id thread;
        bool on_main_thread = false;
    };

    // Answers for named scripts; a name without an entry is not_found.
    void set_named(const std::string& name, script_result result);
    // The answer to one source text, exactly as given.
    void set_source(const std::string& source, script_result result);
    // The answer to every other source text (default: "unsupported").
    void set_source_answer(script_result result);
    // Runs inside every script, after it is recorded (to hold the main thread).
    void set_during_run(std::function<void()> hook);

    script_result run_named(const std::string& name) override;
    script_result run_source(const std::string& source) override;

    std::vector<run> runs() const;

private:
    script_result record(const std::string& script, bool named, const script_result& answer);

    main_queue& queue_;
    mutable std::mutex mutex_;
    std::map<std::string, script_result> named_;
    std::map<std::string, script_result> sources_;
    script_result source_answer_ = script_result::failure("unsupported");
    std::function<void()> during_run_;
    std::vector<run> runs_;
};

}  // namespace platform
