#include "platform/fake/fake_script_engine.h"

#include "platform/main_queue.h"

namespace platform {

fake_script_engine::fake_script_engine(main_queue& queue) : queue_(queue) {}

void fake_script_engine::set_named(const std::string& name, script_result result) {
    std::lock_guard<std::mutex> lock(mutex_);
    named_[name] = std::move(result);
}

void fake_script_engine::set_source(const std::string& source, script_result result) {
    std::lock_guard<std::mutex> lock(mutex_);
    sources_[source] = std::move(result);
}

void fake_script_engine::set_source_answer(script_result result) {
    std::lock_guard<std::mutex> lock(mutex_);
    source_answer_ = std::move(result);
}

void fake_script_engine::set_during_run(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    during_run_ = std::move(hook);
}

script_result fake_script_engine::record(const std::string& script, bool named, const script_result& answer) {
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        runs_.push_back({script, named, std::this_thread::get_id(), queue_.is_main_thread()});
        hook = during_run_;
    }
    if (hook) hook();
    return answer;
}

script_result fake_script_engine::run_named(const std::string& name) {
    script_result answer = script_result::missing("no script named " + name);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const auto found = named_.find(name); found != named_.end()) answer = found->second;
    }
    return record(name, true, answer);
}

script_result fake_script_engine::run_source(const std::string& source) {
    script_result answer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = sources_.find(source);
        answer = found != sources_.end() ? found->second : source_answer_;
    }
    return record(source, false, answer);
}

std::vector<fake_script_engine::run> fake_script_engine::runs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return runs_;
}

}  // namespace platform
