#pragma once
// A web service in memory for the puller's and pusher's tests: answers what
// the test put in, records every call, and throws a service error for the
// calls a test marks as failing.

#include "core/service/network_errors.h"
#include "core/service/sync_service.h"

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace kes::testing {

class fake_sync_service : public sync_service {
public:
    struct block_list_call {
        bool start;
        bool end;
        int duration;
    };

    // Calls named here ("get_alerts", "get_blocked_list", ...) throw.
    std::set<std::string> failing;

    std::vector<message> messages;
    DynamicStructure config_answer;
    Kestrel::Network::alerts_result alerts;
    DynamicStructure browser_support;
    Kestrel::Network::block_list_result block_list;

    // Runs while the block list is being fetched: what other threads do meanwhile.
    std::function<void()> during_block_list;

    std::vector<block_list_call> block_list_calls;
    std::vector<std::string> calls;

    // The durations of the focus sessions the service was told of, and how
    // many ends it was told of.
    std::vector<int> started_sessions() const {
        std::vector<int> durations;
        for (const auto& call : block_list_calls) {
            if (call.start) durations.push_back(call.duration);
        }
        return durations;
    }
    int ended_sessions() const {
        int count = 0;
        for (const auto& call : block_list_calls) count += call.end ? 1 : 0;
        return count;
    }

    std::wstring activate_silent() override { return call("activate_silent"), L"key"; }
    void upload_tz_event(const std::wstring&, double, const std::string&) override { call("upload_tz_event"); }
    void upload_debug_log(const std::wstring&) override { call("upload_debug_log"); }
    void upload_activity_log(const upload_file&, const std::wstring&, const std::wstring&) override {
        call("upload_activity_log");
    }
    std::vector<message> get_messages() override { return call("get_messages"), messages; }
    DynamicStructure get_config() override { return call("get_config"), config_answer; }
    Kestrel::Network::alerts_result get_alerts() override { return call("get_alerts"), alerts; }
    DynamicStructure get_browser_support_list() override {
        return call("get_browser_support_list"), browser_support;
    }
    Kestrel::Network::block_list_result get_blocked_list(bool start, bool end, int duration) override {
        block_list_calls.push_back({start, end, duration});
        if (during_block_list) during_block_list();
        call("get_blocked_list");
        return block_list;
    }

private:
    void call(const std::string& name) {
        calls.push_back(name);
        if (failing.count(name) != 0) throw Kestrel::Network::Exception(L"service says no: " + std::wstring(name.begin(), name.end()));
    }
};

}  // namespace kes::testing
