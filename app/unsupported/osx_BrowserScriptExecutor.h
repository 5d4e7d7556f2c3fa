#pragma once
// Runs the browsers' scripts on the main thread: a scanner-thread caller
// hands each request to the main queue and waits for it. The script sets
// are made on the first request for a browser and kept, one per bundle
// identifier whatever the kind, so the first kind asked for is the one a
// browser keeps. They are touched on the main thread only.
//
// A request made on the main thread itself would wait for itself: it is
// logged as an error and run inline instead. A closed queue answers
// nothing.
//
// Kept apart in app/unsupported/: this desktop has no browser scripting (the
// script engine answers every browser script "unsupported"), so here it never
// yields a page; it stays for the browser-support table's script links, which
// then fall through to their next link.

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class main_queue;
class script_engine;
}  // namespace platform

namespace kes {

class osx_BrowserScripts;

class osx_BrowserScriptExecutor {
public:
    osx_BrowserScriptExecutor(std::shared_ptr<platform::script_engine> engine, platform::main_queue& queue);
    ~osx_BrowserScriptExecutor();
    osx_BrowserScriptExecutor(const osx_BrowserScriptExecutor&) = delete;
    osx_BrowserScriptExecutor& operator=(const osx_BrowserScriptExecutor&) = delete;

    // The process-wide executor over this desktop's engine and the main
    // queue; never destroyed.
    static std::shared_ptr<osx_BrowserScriptExecutor> sharedExecutor();

    // The front page's address, or nullopt.
    std::optional<std::string> getWebKitURLFor(const std::string& bundle_id);
    std::optional<std::string> getChromiumURLFor(const std::string& bundle_id);
    // Replaces the front page with the block page.
    void blockWebKitURLFor(const std::string& bundle_id);
    void blockChromiumURLFor(const std::string& bundle_id);

private:
    enum class kind { webkit, chromium };
    const osx_BrowserScripts& createOrReturnCachedScriptFor(kind of, const std::string& bundle_id);
    std::optional<std::string> get_url(kind of, const std::string& bundle_id);
    void block_url(kind of, const std::string& bundle_id);
    // A request made on the main thread runs there and then, which is logged.
    void note_request_on_main_thread(const char* request) const;

    std::shared_ptr<platform::script_engine> engine_;
    platform::main_queue& queue_;
    std::map<std::string, std::unique_ptr<osx_BrowserScripts>> cachedBrowserScripts_;
};

}  // namespace kes
