#pragma once
// An opener that opens nothing: it refuses what every opener refuses and
// records the rest, with the thread that asked.

#include "platform/url_opener.h"

#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class fake_url_opener final : public url_opener {
public:
    struct request {
        std::string target;  // the address or path as given
        bool web_page = true;
        open_result answer;
        std::thread::id thread;
    };

    open_result open_web_page(const std::string& address) override {
        const auto refusal = web_page_refusal(address);
        return record(address, true, refusal ? open_result::refusal(*refusal) : web_page_answer);
    }
    open_result show_in_file_manager(const std::string& path) override {
        return record(path, false, folder_answer);
    }

    std::vector<request> requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    // The addresses that would have reached a browser.
    std::vector<std::string> opened_pages() const {
        std::vector<std::string> pages;
        for (const auto& each : requests()) {
            if (each.web_page && each.answer.opened()) pages.push_back(each.target);
        }
        return pages;
    }

    open_result web_page_answer = open_result::success();
    open_result folder_answer = open_result::success();

private:
    open_result record(const std::string& target, bool web_page, open_result answer) {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back({target, web_page, answer, std::this_thread::get_id()});
        return answer;
    }

    mutable std::mutex mutex_;
    std::vector<request> requests_;
};

}  // namespace platform
