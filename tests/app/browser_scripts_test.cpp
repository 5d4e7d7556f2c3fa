// The browsers' scripts: their exact texts per kind, the executor that runs
// them on the main thread with one script set per browser, the chain link
// over them, the factory's path ids, and which browser a process is.
#include "core/capture/websocket_server.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/dynamic_structure.h"
#include "kes/build_config.h"
#include "app/unsupported/NSRunningApplication_Kestrel.h"
#include "app/browser_identity.h"
#include "app/unsupported/osx_BrowserScriptExecutor.h"
#include "app/unsupported/osx_BrowserScripts.h"
#include "app/osx_extended_info_grabber_factory.h"
#include "app/unsupported/osx_extended_info_grabber_url.h"
#include "platform/fake/fake_script_engine.h"
#include "platform/linux/x11_script_engine.h"
#include "platform/main_queue.h"
#include "tests/support_desktop/worker_thread.h"
#include "tests/ui/debug_log_lines.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

namespace kes {
namespace {

using platform::script_result;

const std::string host = build::block_page_host;

TEST(BrowserScripts, WebKitScriptsAskTheFrontDocument) {
    const auto scripts = osx_BrowserScripts::webkitScriptsFor("com.apple.Safari");
    EXPECT_EQ(scripts->appBundleId(), "com.apple.Safari");
    EXPECT_EQ(scripts->validationScripts(),
              "with timeout of 0.2 seconds\n"
              "return (application id \"com.apple.Safari\" is frontmost) and "
              "(exists (front document of application id \"com.apple.Safari\"))\n"
              "end timeout");
    EXPECT_EQ(scripts->getURLScript(),
              "with timeout of 0.2 seconds\n"
              "tell application id \"com.apple.Safari\" to return URL of front document\n"
              "end timeout");
    EXPECT_EQ(scripts->blockURLScript(),
              "with timeout of 0.2 seconds\n"
              "tell application id \"com.apple.Safari\" to set URL of front document to \"https://" + host +
                  "/blocked/url/\" & URL of front document\n"
                  "end timeout");
}

TEST(BrowserScripts, ChromiumScriptsAskTheActiveTabOfTheFrontWindow) {
    const auto scripts = osx_BrowserScripts::chromiumScriptsFor("com.google.Chrome");
    EXPECT_EQ(scripts->validationScripts(),
              "with timeout of 0.2 seconds\n"
              "return (application id \"com.google.Chrome\" is frontmost) and "
              "(exists (front window of application id \"com.google.Chrome\"))\n"
              "end timeout");
    EXPECT_EQ(scripts->getURLScript(),
              "with timeout of 0.2 seconds\n"
              "tell application id \"com.google.Chrome\" to return URL of active tab of front window\n"
              "end timeout");
    EXPECT_EQ(scripts->blockURLScript(),
              "with timeout of 0.2 seconds\n"
              "tell application id \"com.google.Chrome\" to set URL of active tab of front window to \"https://" +
                  host + "/blocked/url/\" & URL of active tab of front window\n"
                         "end timeout");
}

TEST(BrowserScripts, AnIdentifierCannotEndItsStringEarly) {
    const auto scripts = osx_BrowserScripts::webkitScriptsFor("evil\" to do shell script \"x\\");
    EXPECT_EQ(scripts->getURLScript(),
              "with timeout of 0.2 seconds\n"
              "tell application id \"evil\\\" to do shell script \\\"x\\\\\" to return URL of front document\n"
              "end timeout");
}

// An executor over a fake engine, driven from a worker thread while the
// test's thread serves as the main thread.
class ScriptExecutorTest : public ::testing::Test {
protected:
    void SetUp() override {
        queue_.bind_to_current_thread();
        config::instance().set_defaults();
        config::instance().set_debug_log_level(log_level::error | log_level::url);
    }
    void TearDown() override { config::instance().set_defaults(); }

    void answer_chromium(const std::string& bundle, script_result validation, script_result address) {
        const auto scripts = osx_BrowserScripts::chromiumScriptsFor(bundle);
        engine_->set_source(scripts->validationScripts(), std::move(validation));
        engine_->set_source(scripts->getURLScript(), std::move(address));
        engine_->set_source(scripts->blockURLScript(), script_result::answer(""));
    }

    void on_worker(const std::function<void()>& work) { testing::run_on_worker(queue_, work); }

    std::vector<std::string> scripts_run() const {
        std::vector<std::string> texts;
        for (const auto& run : engine_->runs()) texts.push_back(run.script);
        return texts;
    }

    platform::main_queue queue_;
    std::shared_ptr<platform::fake_script_engine> engine_ = std::make_shared<platform::fake_script_engine>(queue_);
    std::shared_ptr<osx_BrowserScriptExecutor> executor_ = std::make_shared<osx_BrowserScriptExecutor>(engine_, queue_);
};

TEST_F(ScriptExecutorTest, ScriptsRunOnTheMainThreadWhileTheCallerWaits) {
    answer_chromium("com.google.Chrome", script_result::answer("true"), script_result::answer("https://example.org/"));
    std::atomic<bool> caller_waiting{false};
    std::atomic<int> runs_while_waiting{0};
    engine_->set_during_run([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (caller_waiting) ++runs_while_waiting;
    });
    std::optional<std::string> address;
    std::thread::id caller;
    on_worker([&] {
        caller = std::this_thread::get_id();
        caller_waiting = true;
        address = executor_->getChromiumURLFor("com.google.Chrome");
        caller_waiting = false;
    });
    EXPECT_EQ(address, "https://example.org/");
    const auto runs = engine_->runs();
    ASSERT_EQ(runs.size(), 2u) << "validation, then the address";
    for (const auto& run : runs) {
        EXPECT_TRUE(run.on_main_thread);
        EXPECT_NE(run.thread, caller);
    }
    EXPECT_EQ(runs_while_waiting, 2);
}

TEST_F(ScriptExecutorTest, TheFirstKindAskedForABrowserIsTheOneItKeeps) {
    on_worker([&] {
        executor_->getChromiumURLFor("com.example.Browser");
        executor_->getWebKitURLFor("com.example.Browser");
        executor_->blockWebKitURLFor("com.example.Browser");
        executor_->getWebKitURLFor("com.apple.Safari");
    });
    const std::string chromium = osx_BrowserScripts::chromiumScriptsFor("com.example.Browser")->validationScripts();
    const std::string webkit = osx_BrowserScripts::webkitScriptsFor("com.apple.Safari")->validationScripts();
    EXPECT_EQ(scripts_run(), (std::vector<std::string>{chromium, chromium, chromium, webkit}));
}

TEST_F(ScriptExecutorTest, AFailedOrFalseValidationAsksNothingMoreAndIsLogged) {
    answer_chromium("com.google.Chrome", script_result::answer("false"), script_result::answer("https://x.test/"));
    answer_chromium("com.vivaldi.Vivaldi", script_result::failure("-1728 no such object"),
                    script_result::answer("https://x.test/"));
    answer_chromium("com.brave.Browser", script_result::answer("true"), script_result::failure("-1712 timed out"));
    const std::size_t before = testing::log_size();
    std::optional<std::string> front, failing, timing_out;
    on_worker([&] {
        front = executor_->getChromiumURLFor("com.google.Chrome");
        failing = executor_->getChromiumURLFor("com.vivaldi.Vivaldi");
        timing_out = executor_->getChromiumURLFor("com.brave.Browser");
    });
    EXPECT_FALSE(front);
    EXPECT_FALSE(failing);
    EXPECT_FALSE(timing_out);
    EXPECT_EQ(engine_->runs().size(), 4u);
    const auto lines = testing::log_lines_since(before);
    const std::vector<testing::log_line> expected = {
        {256, L"[osx_AppleScriptExecutor browserScriptsPassesInitialValidation:] --- is not frontmost -or- does not "
              L"have window/document"},
        {256, L"[osx_AppleScriptExecutor browserScriptsPassesInitialValidation:] --- failed to run validation "
              L"AppleScripts: -1728 no such object"},
        {256, L"[osx_AppleScriptExecutor getURL] --- failed to run execute AppleScript: -1712 timed out"}};
    EXPECT_EQ(lines, expected);
}

TEST_F(ScriptExecutorTest, OnTheMainThreadTheScriptRunsInlineWithAnErrorLine) {
    answer_chromium("com.google.Chrome", script_result::answer("true"), script_result::answer("https://example.org/"));
    const std::size_t before = testing::log_size();
    EXPECT_EQ(executor_->getChromiumURLFor("com.google.Chrome"), "https://example.org/");
    const auto lines = testing::log_lines_since(before);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 1u);
    EXPECT_NE(lines[0].message.find(L"called on the main thread"), std::wstring::npos);
    EXPECT_EQ(engine_->runs().size(), 2u);
}

TEST_F(ScriptExecutorTest, AClosedQueueAnswersNothingInsteadOfWaiting) {
    answer_chromium("com.google.Chrome", script_result::answer("true"), script_result::answer("https://example.org/"));
    queue_.close();
    std::optional<std::string> address = "unset";
    std::thread worker([&] { address = executor_->getChromiumURLFor("com.google.Chrome"); });
    worker.join();
    EXPECT_FALSE(address);
    EXPECT_TRUE(engine_->runs().empty());
}

TEST_F(ScriptExecutorTest, ABlockedPageIsReplacedAndTheAddressReadIsStillReported) {
    config& settings = config::instance();
    settings.set_url(L"app.kestrel.test");
    settings.set_blocking_until(settings.local_now() + boost::posix_time::minutes(25));
    settings.set_blocked_items({L"example.org"});
    answer_chromium("com.google.Chrome", script_result::answer("true"),
                    script_result::answer("https://www.example.org/today"));
    osx_extended_info_grabber_url link(L"", L"com.google.Chrome", L"applescript_chromium",
                                       osx_extended_info_grabber_url::chromium, executor_);
    std::wstring address;
    on_worker([&] { address = link.get_extended_info(); });
    EXPECT_EQ(address, L"https://www.example.org/today");
    const auto scripts = osx_BrowserScripts::chromiumScriptsFor("com.google.Chrome");
    EXPECT_EQ(scripts_run(), (std::vector<std::string>{scripts->validationScripts(), scripts->getURLScript(),
                                                       scripts->validationScripts(), scripts->blockURLScript()}));

    // A page that is not blocked is only read; no kind but the two reads anything.
    engine_->set_source(scripts->getURLScript(), script_result::answer("https://elsewhere.test/"));
    on_worker([&] { address = link.get_extended_info(); });
    EXPECT_EQ(address, L"https://elsewhere.test/");
    EXPECT_EQ(engine_->runs().size(), 6u);
    osx_extended_info_grabber_url odd(L"", L"com.google.Chrome", L"odd", 7, executor_);
    on_worker([&] { address = odd.get_extended_info(); });
    EXPECT_EQ(address, L"");
    EXPECT_EQ(engine_->runs().size(), 6u);
}

TEST_F(ScriptExecutorTest, ThisDesktopsEngineFailsEveryBrowserScriptSoTheLinkYieldsNothing) {
    auto desktop = std::make_shared<osx_BrowserScriptExecutor>(std::make_shared<platform::x11_script_engine>(":99999"),
                                                               queue_);
    osx_extended_info_grabber_url link(L"", L"com.google.Chrome", L"applescript_chromium",
                                       osx_extended_info_grabber_url::chromium, desktop);
    const std::size_t before = testing::log_size();
    std::wstring address = L"unset";
    on_worker([&] { address = link.get_extended_info(); });
    EXPECT_EQ(address, L"");
    bool failure_logged = false;
    for (const auto& line : testing::log_lines_since(before)) {
        failure_logged = failure_logged ||
                         (line.level == 256 && line.message.rfind(L"[osx_AppleScriptExecutor browserScriptsPasses"
                                                                  L"InitialValidation:] --- failed to run validation "
                                                                  L"AppleScripts: ",
                                                                  0) == 0);
    }
    EXPECT_TRUE(failure_logged);
}

TEST(BrowserFactory, ThreePathIdsMakeLinksAndAnyOtherIsLoggedAndSkipped) {
    std::vector<int> asked;
    osx_extended_info_grabber_factory factory([&](int pid) {
        asked.push_back(pid);
        return std::wstring(L"com.google.Chrome");
    });
    const DynamicStructure path;
    const auto websocket = factory.get_extended_info_grabber(L"", L"org.mozilla.firefox", L"websocket", path);
    ASSERT_TRUE(websocket);
    EXPECT_EQ(websocket->id(), L"websocket");
    EXPECT_NE(websocket_server::instance().port(), 0) << "the link holds the process's bridge";
    EXPECT_EQ(websocket->get_extended_info(), L"") << "no extension has reported: the chain goes on";
    const auto chromium = factory.get_extended_info_grabber(L"", L"com.google.Chrome", L"applescript_chromium", path);
    const auto webkit = factory.get_extended_info_grabber(L"", L"com.apple.Safari", L"applescript_webkit", path);
    ASSERT_TRUE(chromium && webkit);
    EXPECT_EQ(dynamic_cast<osx_extended_info_grabber_url&>(*chromium).kind(), osx_extended_info_grabber_url::chromium);
    EXPECT_EQ(dynamic_cast<osx_extended_info_grabber_url&>(*webkit).kind(), osx_extended_info_grabber_url::webkit);
    EXPECT_EQ(webkit->bundle_id(), L"com.apple.Safari");

    config::instance().set_debug_log_level(log_level::error | log_level::debug);
    const std::size_t before = testing::log_size();
    EXPECT_FALSE(factory.get_extended_info_grabber(L"", L"com.apple.Safari", L"AppleScript_WebKit", path));
    EXPECT_EQ(testing::messages_since(before),
              std::vector<std::wstring>{L"osx_extended_info_grabber_factory::get_extended_info_grabber() - this "
                                        L"version of KES cannot handle type: AppleScript_WebKit"});
    config::instance().set_defaults();

    // Process ids are read as std::stoi reads them.
    EXPECT_EQ(factory.get_bundle_id(L" 42abc", L""), L"com.google.Chrome");
    EXPECT_THROW(factory.get_bundle_id(L"abc", L""), std::invalid_argument);
    EXPECT_EQ(asked, std::vector<int>{42});
}

TEST(BrowserIdentity, WindowClassesAndExecutablesNameTheirBrowsers) {
    struct identity {
        const char* wm_class;
        const char* executable;
        const wchar_t* key;
    };
    const identity cases[] = {
        {"firefox", "/usr/lib/firefox-esr/firefox-esr", L"org.mozilla.firefox"},
        {"Firefox-esr", "", L"org.mozilla.firefox"},
        {"", "/usr/lib/firefox-esr/firefox-esr", L"org.mozilla.firefox"},
        {"firefox-nightly", "", L"org.mozilla.nightly"},
        {"firefox-aurora", "", L"org.mozilla.firefoxdeveloperedition"},
        {"Google-chrome", "/opt/google/chrome/chrome", L"com.google.Chrome"},
        {"Chromium", "/usr/lib/chromium/chromium", L"com.google.Chrome"},
        {"Vivaldi-stable", "/opt/vivaldi/vivaldi-bin", L"com.vivaldi.Vivaldi"},
        {"Brave-browser", "/opt/brave.com/brave/brave", L"com.brave.Browser"},
        {"Opera", "/usr/lib/x86_64-linux-gnu/opera/opera", L"com.operasoftware.Opera"},
        {"Yandex-browser", "/opt/yandex/browser/yandex_browser", L"ru.yandex.desktop.yandex-browser"},
        // The window's class decides before the executable.
        {"firefox", "/usr/bin/xterm", L"org.mozilla.firefox"},
        {"XTerm", "/usr/bin/firefox", L"org.mozilla.firefox"},
        {"XTerm", "/usr/bin/xterm", L""},
        {"firefox-helper", "/usr/bin/firefoxish", L""},
        {"", "", L""},
    };
    for (const identity& c : cases) {
        EXPECT_EQ(browser_support_key_for(c.wm_class, c.executable), c.key) << c.wm_class << " " << c.executable;
    }
}

TEST(BrowserPredicates, IdentifiersAreComparedWithoutRegardToCase) {
    EXPECT_TRUE(kes_isSafari(L"COM.APPLE.SAFARI"));
    EXPECT_FALSE(kes_isSafari(L"com.apple.SafariTechnologyPreview"));
    EXPECT_TRUE(kes_isSafariTechnologyPreview(L"com.apple.safaritechnologypreview"));
    EXPECT_TRUE(kes_isChrome(L"com.google.chrome"));
    EXPECT_TRUE(kes_isChromeCanary(L"com.google.Chrome.Canary"));
    EXPECT_FALSE(kes_isChrome(L"com.google.Chrome.canary"));
    EXPECT_TRUE(kes_isOpera(L"com.operasoftware.opera"));
    EXPECT_TRUE(kes_isVivaldi(L"COM.vivaldi.vivaldi"));
    EXPECT_TRUE(kes_isYandex(L"ru.yandex.desktop.Yandex-Browser"));
    EXPECT_TRUE(kes_isBrave(L"com.brave.browser"));
    EXPECT_TRUE(kes_isMozillaBrowser(L"org.mozilla.FirefoxDeveloperEdition"));
    EXPECT_TRUE(kes_isMozillaBrowser(L"ORG.MOZILLA.NIGHTLY"));
    EXPECT_FALSE(kes_isMozillaBrowser(L"org.mozilla.thunderbird"));
    EXPECT_EQ(kes_mozillaBrowsers(), (std::vector<std::wstring>{L"org.mozilla.firefox", L"org.mozilla.nightly",
                                                                L"org.mozilla.firefoxdeveloperedition"}));
}

}  // namespace
}  // namespace kes
