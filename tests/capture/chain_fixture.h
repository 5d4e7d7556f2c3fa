#pragma once
// A browser's address chain in a test: links that answer what the test says
// (and, as the real links do, ask whether their address is blocked), a
// factory that makes them for the path ids the test lists, and a grabber
// whose front process the test sets.

#include "core/capture/extended_info_grabber.h"
#include "core/capture/extended_info_grabber_factory.h"
#include "core/capture/grabber.h"
#include "core/foundation/config.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

namespace kes::testing {

// What a link of one path id answers; it may throw.
using link_answer = std::function<std::wstring()>;

class answering_link : public extended_info_grabber {
public:
    answering_link(std::wstring bundle_id, std::wstring id, link_answer answer, std::atomic<int>& calls)
        : extended_info_grabber(L"", std::move(bundle_id), std::move(id)), answer_(std::move(answer)), calls_(calls) {}

    std::wstring get_extended_info() override {
        ++calls_;
        std::wstring address = answer_();
        std::wstring redirect;
        if (!address.empty() && is_url_blocked(address, redirect)) last_redirect = redirect;
        return address;
    }

    std::wstring last_redirect;

private:
    link_answer answer_;
    std::atomic<int>& calls_;
};

class answering_factory : public extended_info_grabber_factory {
public:
    using extended_info_grabber_factory::get_extended_info_grabber;

    std::unique_ptr<extended_info_grabber> get_extended_info_grabber(const std::wstring&, const std::wstring& bundle_id,
                                                                     const std::wstring& id,
                                                                     const DynamicStructure&) override {
        const auto found = answers.find(id);
        if (found == answers.end()) return nullptr;
        ++links_made;
        return std::make_unique<answering_link>(bundle_id, id, found->second, link_calls[id]);
    }

    std::wstring get_bundle_id(const std::wstring& pid, const std::wstring&) override {
        ++bundle_lookups;
        const auto found = bundles.find(pid);
        return found == bundles.end() ? std::wstring() : found->second;
    }

    std::map<std::wstring, std::wstring> bundles;    // process id -> browser-support key
    std::map<std::wstring, link_answer> answers;     // path id -> what its links answer
    std::map<std::wstring, std::atomic<int>> link_calls;
    std::atomic<int> links_made{0};
    std::atomic<int> bundle_lookups{0};
};

class chain_grabber : public grabber {
public:
    chain_grabber() : chain_grabber(new answering_factory) {}

    std::wstring get_active_process_id() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return pid_;
    }
    void set_pid(std::wstring pid) {
        std::lock_guard<std::mutex> lock(mutex_);
        pid_ = std::move(pid);
    }
    std::wstring get_process_name() override { return L"browser"; }
    std::wstring get_application_name() override { return L"browser"; }
    std::wstring get_process_filename() override { return L""; }
    std::wstring get_process_version(bool) override { return L""; }
    std::wstring get_window_title() override { return L""; }
    std::wstring get_os_username() override { return L"ann"; }
    std::wstring get_computer_name() override { return L"box"; }

    answering_factory& factory() { return *factory_; }

private:
    // Owned by the base from here on.
    explicit chain_grabber(answering_factory* factory)
        : grabber(std::unique_ptr<extended_info_grabber_factory>(factory)), factory_(factory) {}

    answering_factory* factory_;
    std::mutex mutex_;
    std::wstring pid_ = L"100";
};

inline void store_browser_support(const char* json) {
    config::instance().set_browser_support(DynamicStructureFromJsonText(json));
}

}  // namespace kes::testing
