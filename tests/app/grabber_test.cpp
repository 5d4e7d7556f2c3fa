// The grabber over windows the test describes, and against a real X server
// where the server's own behaviour matters: windows made by the test, placed
// in front as a window manager does (_NET_ACTIVE_WINDOW) or as a bare server
// does (the input focus, answered by the scripts on the main thread).
#include "core/capture/grabber.h"
#include "core/capture/websocket_server.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "app/osx_AppleScriptExecutor.h"
#include "app/unsupported/osx_BrowserScriptExecutor.h"
#include "app/unsupported/osx_BrowserScripts.h"
#include "app/osx_grabber.h"
#include "platform/fake/fake_script_engine.h"
#include "platform/fake/fake_window_facts.h"
#include "platform/linux/front_application.h"
#include "platform/info_plist.h"
#include "platform/linux/x11_script_engine.h"
#include "platform/main_queue.h"
#include "platform/linux/x11_traffic.h"
#include "tests/support/eventually.h"
#include "tests/support/test_environment.h"
#include "tests/support/websocket_client.h"
#include "tests/support_desktop/worker_thread.h"
#include "tests/support_desktop/xvfb.h"
#include "tests/ui/debug_log_lines.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace {

using kes::osx_AppleScriptExecutor;
using kes::osx_grabber;
using kes::testing::test_windows;
using kes::testing::xvfb_server;

std::string self_exe() { return platform::executable_of(::getpid()); }

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class GrabberX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server_.running()) {
            if (kes::testing::xvfb_is_required()) FAIL() << "Xvfb is required here (CI is set) but did not start";
            GTEST_SKIP() << "Xvfb is not available";
        }
        windows_ = std::make_unique<test_windows>(server_.display());
        queue_.bind_to_current_thread();
    }

    // Runs `work` on a worker thread (as the scanner would) while this
    // thread serves as the main thread.
    void on_worker(const std::function<void()>& work) { kes::testing::run_on_worker(queue_, work); }

    std::shared_ptr<osx_AppleScriptExecutor> x11_executor() {
        return std::make_shared<osx_AppleScriptExecutor>(
            std::make_shared<platform::x11_script_engine>(server_.display()), queue_);
    }

    xvfb_server server_;
    std::unique_ptr<test_windows> windows_;
    platform::main_queue queue_;
};

TEST_F(GrabberX11, WindowWithoutPidPropertyIsFoundThroughXResource) {
    const auto window = windows_->create("No pid", "Nopid", 0);
    windows_->set_active(window);
    osx_grabber grabber(x11_executor(), server_.display());
    EXPECT_EQ(grabber.get_active_process_id(), std::to_wstring(::getpid()));
}

TEST_F(GrabberX11, LegacyLatin1NameAndTransientDialogTitle) {
    const auto document = windows_->create("", "Editor", ::getpid(), "Caf\xe9 menu");
    const auto dialog = windows_->create("Save changes?", "Editor", ::getpid());
    windows_->set_transient_for(dialog, document);
    windows_->set_active(dialog);
    osx_grabber grabber(x11_executor(), server_.display());
    EXPECT_EQ(grabber.get_window_title(), L"Caf\u00e9 menu");
}

TEST_F(GrabberX11, WithoutWindowManagerTheScriptsAnswerOnTheMainThread) {
    const auto first = windows_->create("Focused one", "Focusclass", ::getpid());
    windows_->create("Other", "Otherclass", ::getpid());
    windows_->remove_active();
    windows_->focus(first);
    auto grabber = std::make_shared<osx_grabber>(x11_executor(), server_.display());
    std::wstring pid, name, path, title;
    on_worker([&] {
        pid = grabber->get_active_process_id();
        name = grabber->get_process_name();
        path = grabber->get_process_filename();
        title = grabber->get_window_title();
    });
    EXPECT_EQ(pid, std::to_wstring(::getpid()));
    EXPECT_EQ(name, L"Focusclass");
    EXPECT_EQ(path, wide(self_exe()));
    EXPECT_EQ(title, L"Focused one");
}

TEST_F(GrabberX11, TheWalkOfANonBrowserAsksTheServerNothingOnceItsWindowIsKnown) {
    windows_->set_active(windows_->create("shell", "XTerm", ::getpid()));
    auto grabber = std::make_unique<osx_grabber>(
        std::make_shared<osx_AppleScriptExecutor>(std::make_shared<platform::fake_script_engine>(queue_), queue_),
        server_.display(),
        std::make_shared<kes::osx_BrowserScriptExecutor>(std::make_shared<platform::fake_script_engine>(queue_),
                                                         queue_));
    for (int pass = 0; pass < 3; ++pass) {
        grabber->begin_pass();
        const std::uint64_t before = platform::x11_round_trips();
        grabber->get_active_process_id();
        EXPECT_EQ(grabber->get_extended_info(), L"");
        const std::uint64_t walk_trips = platform::x11_round_trips() - before;
        grabber->end_pass();
        if (pass > 0) {
            EXPECT_EQ(walk_trips, 0u) << "pass " << pass;
        }
    }
}

// The grabber over a described desktop: no server needed.
class GrabberFacts : public ::testing::Test {
protected:
    static constexpr platform::window_facts::window_id first_window = 11;
    static constexpr platform::window_facts::window_id second_window = 12;

    void SetUp() override {
        queue_.bind_to_current_thread();
        auto facts = std::make_unique<platform::fake_window_facts>();
        facts_ = facts.get();
        facts_owned_ = std::move(facts);
    }

    // Hands the described desktop to a new grabber; `facts_` stays usable.
    std::unique_ptr<osx_grabber> grabber_with(std::shared_ptr<platform::fake_script_engine> engine,
                                              std::shared_ptr<platform::fake_script_engine> browser_engine = {}) {
        if (!browser_engine) browser_engine = std::make_shared<platform::fake_script_engine>(queue_);
        return std::make_unique<osx_grabber>(
            std::make_shared<osx_AppleScriptExecutor>(std::move(engine), queue_), std::move(facts_owned_),
            std::make_shared<kes::osx_BrowserScriptExecutor>(std::move(browser_engine), queue_));
    }

    void on_worker(const std::function<void()>& work) { kes::testing::run_on_worker(queue_, work); }

    platform::main_queue queue_;
    platform::fake_window_facts* facts_ = nullptr;  // owned by the grabber once made

private:
    std::unique_ptr<platform::fake_window_facts> facts_owned_;
};

TEST_F(GrabberFacts, ActiveWindowGivesProcessNameTitleAndPath) {
    facts_->set_window(first_window, {321, "Firstclass", "First — été", 0});
    facts_->set_window(second_window, {654, "", "Second", 0});
    facts_->set_executable(321, "/opt/First.app/Contents/MacOS/first");
    facts_->set_executable(654, "/usr/bin/second-tool");
    auto engine = std::make_shared<platform::fake_script_engine>(queue_);
    auto grabber = grabber_with(engine);

    facts_->set_active(first_window);
    EXPECT_EQ(grabber->get_active_process_id(), L"321");
    EXPECT_EQ(grabber->get_process_name(), L"Firstclass");
    EXPECT_EQ(grabber->get_process_filename(), L"/opt/First.app") << "the bundle that holds the executable";
    EXPECT_EQ(grabber->get_window_title(), L"First — été");

    // Without WM_CLASS the executable's base name names the application.
    facts_->set_active(second_window);
    EXPECT_EQ(grabber->get_process_name(), L"second-tool");
    EXPECT_EQ(grabber->get_process_filename(), L"/usr/bin/second-tool");
    EXPECT_EQ(grabber->get_window_title(), L"Second");

    // A dialog transient for a document window reports the document's title.
    facts_->set_window(13, {654, "", "Save changes?", second_window});
    facts_->set_active(13);
    EXPECT_EQ(grabber->get_window_title(), L"Second");
    EXPECT_TRUE(engine->runs().empty()) << "no script is needed while a window manager names the active window";
}

// Quiet passes start from the last pass's answers; a title, the active
// window or a closed window is seen at the next pass all the same.
TEST_F(GrabberFacts, PassesAfterAQuietOneStillSeeEveryChange) {
    facts_->set_window(first_window, {321, "Firstclass", "First", 0});
    facts_->set_window(second_window, {4242, "Secondclass", "Second", 0});
    auto engine = std::make_shared<platform::fake_script_engine>(queue_);
    auto grabber = grabber_with(engine);
    struct seen {
        std::wstring pid, name, title;
    };
    const auto pass = [&] {
        grabber->begin_pass();
        seen answers{grabber->get_active_process_id(), grabber->get_process_name(), grabber->get_window_title()};
        // Asked again, as the scanner does.
        EXPECT_EQ(grabber->get_active_process_id(), answers.pid);
        EXPECT_EQ(grabber->get_window_title(), answers.title);
        grabber->end_pass();
        return answers;
    };

    facts_->set_active(first_window);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(pass().title, L"First");
    facts_->set_title(first_window, "First, renamed");
    EXPECT_EQ(pass().title, L"First, renamed");
    facts_->set_active(second_window);
    const seen other = pass();
    EXPECT_EQ(other.pid, L"4242");
    EXPECT_EQ(other.name, L"Secondclass");
    EXPECT_EQ(other.title, L"Second");
    facts_->set_active(first_window);
    EXPECT_EQ(pass().title, L"First, renamed");
    facts_->remove_window(first_window);  // still named active, as managers leave it
    const seen gone = pass();
    EXPECT_EQ(gone.title, L"");
    EXPECT_EQ(gone.pid, L"");
    EXPECT_TRUE(engine->runs().empty()) << "the manager names the active window: no script is asked";
}

TEST_F(GrabberFacts, ScannerThreadWaitsForTheMainThreadAndColonsBecomeSlashes) {
    auto engine = std::make_shared<platform::fake_script_engine>(queue_);
    const std::string bundle = kes::testing::private_home() + "/Tool.app";
    engine->set_named("GetProcessID", platform::script_result::answer("4242"));
    engine->set_named("CurrentApplicationName", platform::script_result::answer("Tool"));
    engine->set_named("CurrentApplicationPath", platform::script_result::answer(":" + bundle.substr(1)));
    engine->set_during_run([] { std::this_thread::sleep_for(std::chrono::milliseconds(150)); });
    ASSERT_EQ(std::system(("mkdir -p " + bundle + "/Contents").c_str()), 0);
    std::ofstream(bundle + "/Contents/Info.plist")
        << "<plist><dict><key>CFBundleVersion</key>\n  <string>7.1&amp;2</string></dict></plist>";

    auto grabber = grabber_with(engine);
    std::wstring pid, path, version;
    std::chrono::milliseconds waited{};
    std::thread::id worker_id;
    on_worker([&] {
        worker_id = std::this_thread::get_id();
        const auto begin = std::chrono::steady_clock::now();
        pid = grabber->get_active_process_id();
        waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
        path = grabber->get_process_filename();
        version = grabber->get_process_version(false);
    });
    EXPECT_EQ(pid, L"4242");
    EXPECT_EQ(path, wide(bundle));
    EXPECT_EQ(version, L"7.1&2");
    EXPECT_GE(waited.count(), 150) << "the caller waits until the main thread ran the script";
    const auto runs = engine->runs();
    ASSERT_GE(runs.size(), 3u);
    EXPECT_EQ(runs[0].script, "GetProcessID");
    for (const auto& run : runs) {
        EXPECT_TRUE(run.on_main_thread) << run.script;
        EXPECT_EQ(run.thread, std::this_thread::get_id());
        EXPECT_NE(run.thread, worker_id);
    }
}

TEST_F(GrabberFacts, AProcesssVersionIsReadOnceAndANewProcessReadsItAgain) {
    auto engine = std::make_shared<platform::fake_script_engine>(queue_);
    const std::string bundle = kes::testing::private_home() + "/Versioned.app";
    const auto write_version = [&](const char* version) {
        std::ofstream(bundle + "/Contents/Info.plist")
            << "<plist><dict><key>CFBundleVersion</key><string>" << version << "</string></dict></plist>";
    };
    ASSERT_EQ(std::system(("mkdir -p " + bundle + "/Contents").c_str()), 0);
    write_version("1.0");
    engine->set_named("GetProcessID", platform::script_result::answer("4242"));
    engine->set_named("CurrentApplicationName", platform::script_result::answer("Versioned"));
    engine->set_named("CurrentApplicationPath", platform::script_result::answer(bundle));
    auto grabber = grabber_with(engine);
    std::vector<std::wstring> versions;
    const auto read = [&] { on_worker([&] { versions.push_back(grabber->get_process_version(false)); }); };
    read();
    write_version("2.0");  // updated on disk while the old process runs
    read();
    engine->set_named("GetProcessID", platform::script_result::answer("4243"));  // started again
    read();
    EXPECT_EQ(versions, (std::vector<std::wstring>{L"1.0", L"1.0", L"2.0"}));
}

// A program that ends and one that starts next may share both the X id (the
// server hands a closed client's ids to the next client) and the process id
// (process ids wrap, at 32768 on many systems): nothing learnt of the first
// may answer for the second.
TEST_F(GrabberFacts, AProgramWithAClosedOnesWindowIdAndProcessIdIsLookedAtAfresh) {
    const std::string bundle = kes::testing::private_home() + "/Reused.app";
    const std::string tool = bundle + "/Contents/MacOS/tool";
    const auto write_version = [&](const char* version) {
        std::ofstream(bundle + "/Contents/Info.plist")
            << "<plist><dict><key>CFBundleVersion</key><string>" << version << "</string></dict></plist>";
    };
    std::filesystem::create_directories(bundle + "/Contents/MacOS");
    write_version("1.0");
    const auto start_program = [&](const std::string& executable, const std::string& title) {
        facts_->set_executable(321, executable);
        facts_->set_window(first_window, {321, "", title, 0});
        facts_->set_active(first_window);
    };
    start_program(tool, "Document");
    auto grabber = grabber_with(std::make_shared<platform::fake_script_engine>(queue_));
    struct seen {
        std::wstring name, version;
    };
    const auto pass = [&] {
        grabber->begin_pass();
        seen answers{grabber->get_process_name(), grabber->get_process_version(false)};
        grabber->end_pass();
        return answers;
    };
    const auto end_program = [&] {
        facts_->remove_window(first_window);
        EXPECT_EQ(pass().name, L"");
    };
    const seen first = pass();
    EXPECT_EQ(first.name, L"tool");
    EXPECT_EQ(first.version, L"1.0");

    end_program();
    start_program("/usr/bin/xterm", "shell");
    EXPECT_EQ(pass().name, L"xterm");

    end_program();
    write_version("2.0");  // updated meanwhile
    start_program(tool, "Document");
    EXPECT_EQ(pass().version, L"2.0");
}

TEST_F(GrabberFacts, ClosedMainQueueGivesNoAnswerInsteadOfWaiting) {
    auto engine = std::make_shared<platform::fake_script_engine>(queue_);
    engine->set_named("GetProcessID", platform::script_result::answer("1"));
    auto grabber = grabber_with(engine);
    queue_.close();
    std::wstring pid = L"unset";
    std::thread worker([&] { pid = grabber->get_active_process_id(); });
    worker.join();
    EXPECT_EQ(pid, L"");
    EXPECT_TRUE(engine->runs().empty());
}

TEST_F(GrabberFacts, ALostDesktopAnswersNothingAndAsksNoScript) {
    facts_->set_window(first_window, {321, "Before", "Before", 0});
    facts_->set_active(first_window);
    auto engine = std::make_shared<platform::fake_script_engine>(queue_);
    engine->set_named("GetProcessID", platform::script_result::answer("1"));
    auto grabber = grabber_with(engine);
    ASSERT_EQ(grabber->get_window_title(), L"Before");
    facts_->lose();
    std::wstring title = L"unset";
    std::wstring pid = L"unset";
    on_worker([&] {
        title = grabber->get_window_title();
        pid = grabber->get_active_process_id();
    });
    EXPECT_EQ(title, L"");
    EXPECT_EQ(pid, L"");
    EXPECT_TRUE(engine->runs().empty()) << "no script stands in for a desktop that is gone";
}

// A browser in front: the chain its window's class names, walked on the
// scanner's side while its scripts run on the main thread.
class BrowserGrabber : public GrabberFacts {
protected:
    void SetUp() override {
        GrabberFacts::SetUp();
        kes::config::instance().set_defaults();
        kes::config::instance().set_debug_log_level(kes::log_level::error | kes::log_level::url);
    }
    void TearDown() override { kes::config::instance().set_defaults(); }

    static bool has(const std::vector<std::wstring>& lines, const std::wstring& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(BrowserGrabber, AWindowOfClassFirefoxWalksTheMozillaChain) {
    facts_->set_window(first_window, {::getpid(), "firefox", "Mozilla Firefox", 0});
    facts_->set_active(first_window);
    auto engine = std::make_shared<platform::fake_script_engine>(queue_);
    auto grabber = grabber_with(std::make_shared<platform::fake_script_engine>(queue_), engine);
    const std::size_t before = kes::testing::log_size();
    std::wstring address = L"unset";
    on_worker([&] { address = grabber->get_extended_info(); });
    EXPECT_EQ(address, L"");
    const auto lines = kes::testing::messages_since(before);
    EXPECT_TRUE(has(lines, L"extended_info_grabber_factory::get_extended_info_grabber() - Finding grabber for: "
                           L"org.mozilla.firefox"));
    EXPECT_TRUE(has(lines, L"extended_info_grabber_factory::extended_info_grabber_for_path_dynstr() Attempting to "
                           L"create grabber for: websocket"));
    EXPECT_TRUE(has(lines, L"Failed to get url using: [websocket]"));
    EXPECT_TRUE(has(lines, L"No further grabbers to try"));
    EXPECT_TRUE(engine->runs().empty()) << "the extension's browsers are not scripted";
}

TEST_F(BrowserGrabber, AFirefoxWindowsPageComesFromItsExtensionThroughTheProcesssBridge) {
    facts_->set_window(first_window, {::getpid(), "firefox", "Mozilla Firefox", 0});
    facts_->set_active(first_window);
    auto engine = std::make_shared<platform::fake_script_engine>(queue_);
    auto grabber = grabber_with(std::make_shared<platform::fake_script_engine>(queue_), engine);
    kes::websocket_server& bridge = kes::websocket_server::instance();
    std::wstring address = L"unset";
    on_worker([&] { address = grabber->get_extended_info(); });  // builds the chain, which starts the bridge
    EXPECT_EQ(address, L"");
    ASSERT_NE(bridge.port(), 0);

    kes::testing::websocket_client extension(bridge.port());
    ASSERT_TRUE(extension.opened());
    extension.send(R"({"message_id":2,"url":"https://www.example.org/news/today?x=1"})");
    ASSERT_TRUE(kes::testing::eventually([&] {
        bool fresh = false;
        return bridge.current_url(fresh) == L"https://www.example.org/news/today?x=1" && fresh;
    }));
    kes::config::instance().set_full_urls_enabled(false);
    const std::size_t before = kes::testing::log_size();
    on_worker([&] { address = grabber->get_extended_info(); });
    EXPECT_EQ(address, L"https://www.example.org") << "scheme and host unless full addresses are on";
    EXPECT_TRUE(has(kes::testing::messages_since(before), L"Found url using: [websocket]"));
    kes::config::instance().set_full_urls_enabled(true);
    on_worker([&] { address = grabber->get_extended_info(); });
    EXPECT_EQ(address, L"https://www.example.org/news/today?x=1");

    // The grabber's end ends its chains and, with the last link, the bridge.
    on_worker([&] { grabber.reset(); });
    EXPECT_EQ(bridge.port(), 0);
    EXPECT_TRUE(extension.closed());
    EXPECT_EQ(extension.close_code(), 1000);
}

// Which browser a process is, is kept per window: a browser given the X id
// and process id of a program that ended is a browser all the same.
TEST_F(BrowserGrabber, ABrowserWithAClosedProgramsWindowIdAndProcessIdIsKnownForOne) {
    facts_->set_window(first_window, {4321, "", "shell", 0});
    facts_->set_executable(4321, "/usr/bin/xterm");
    facts_->set_active(first_window);
    auto grabber = grabber_with(std::make_shared<platform::fake_script_engine>(queue_),
                                std::make_shared<platform::fake_script_engine>(queue_));
    const auto page_lookup = [&] {
        const std::size_t before = kes::testing::log_size();
        on_worker([&] {
            grabber->begin_pass();
            (void)grabber->get_extended_info();
            grabber->end_pass();
        });
        return kes::testing::messages_since(before);
    };
    EXPECT_FALSE(has(page_lookup(), L"extended_info_grabber_factory::get_extended_info_grabber() - Finding grabber "
                                    L"for: org.mozilla.firefox"));

    facts_->remove_window(first_window);
    facts_->set_executable(4321, "/usr/lib/firefox-esr/firefox-esr");
    facts_->set_window(first_window, {4321, "", "Mozilla Firefox", 0});
    EXPECT_TRUE(has(page_lookup(), L"extended_info_grabber_factory::get_extended_info_grabber() - Finding grabber "
                                   L"for: org.mozilla.firefox"));
    on_worker([&] { grabber.reset(); });  // its chain's link ends the bridge on this thread
}

TEST_F(BrowserGrabber, AChromeWindowIsAskedThroughItsScriptsOnTheMainThread) {
    facts_->set_window(first_window, {::getpid(), "Google-chrome", "News - Google Chrome", 0});
    facts_->set_active(first_window);
    auto engine = std::make_shared<platform::fake_script_engine>(queue_);
    const auto scripts = kes::osx_BrowserScripts::chromiumScriptsFor("com.google.Chrome");
    engine->set_source(scripts->validationScripts(), platform::script_result::answer("true"));
    engine->set_source(scripts->getURLScript(), platform::script_result::answer("https://news.example.org/today"));
    auto grabber = grabber_with(std::make_shared<platform::fake_script_engine>(queue_), engine);
    std::wstring address;
    std::thread::id scanner;
    on_worker([&] {
        scanner = std::this_thread::get_id();
        address = grabber->get_extended_info();
    });
    EXPECT_EQ(address, L"https://news.example.org/today");
    const auto runs = engine->runs();
    ASSERT_EQ(runs.size(), 2u);
    for (const auto& run : runs) {
        EXPECT_TRUE(run.on_main_thread);
        EXPECT_NE(run.thread, scanner);
    }

    // Only scheme and host unless full addresses are recorded.
    kes::config::instance().set_full_urls_enabled(false);
    on_worker([&] { address = grabber->get_extended_info(); });
    EXPECT_EQ(address, L"https://news.example.org");
}

TEST(Grabber, GraphicsTitleRule) {
    EXPECT_EQ(osx_grabber::graphics_title_rule(L"adobe photoshop 2024", L"poster.psd @ 66.7% (RGB/8)"),
              L"poster.psd");
    EXPECT_EQ(osx_grabber::graphics_title_rule(L"indesign", L"@ start"), L"@ start");
    EXPECT_EQ(osx_grabber::graphics_title_rule(L"illustrator", L"no at sign"), L"no at sign");
    EXPECT_EQ(osx_grabber::graphics_title_rule(L"firefox", L"poster.psd @ 66.7%"), L"poster.psd @ 66.7%");
}

TEST(Grabber, ProcessHashIsUpperCaseSha1OrEmpty) {
    const std::string path = kes::testing::private_home() + "/abc.bin";
    std::ofstream(path, std::ios::binary) << "abc";
    EXPECT_EQ(kes::grabber::hash_file(path), L"A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(kes::grabber::hash_file(path + ".missing"), L"");
}

TEST(Grabber, VersionIsReadOnlyFromARegularInfoPlist) {
    const std::string contents = kes::testing::private_home() + "/Odd.app/Contents";
    std::filesystem::create_directories(contents);
    const std::string plist = contents + "/Info.plist";
    std::ofstream(plist) << "<dict>\n  <key>CFBundleVersion</key>\n  <string>2.1 &amp; more</string>\n</dict>\n";
    EXPECT_EQ(platform::info_plist_string(plist, "CFBundleVersion"), "2.1 & more");
    EXPECT_EQ(platform::info_plist_string(plist, "CFBundleName"), "");

    // A pipe in its place must not hold the scanner: the answer is empty at once.
    std::filesystem::remove(plist);
    ASSERT_EQ(::mkfifo(plist.c_str(), 0600), 0);
    std::atomic<bool> answered{false};
    std::thread reader([&] {
        EXPECT_EQ(platform::info_plist_string(plist, "CFBundleVersion"), "");
        answered = true;
    });
    for (int i = 0; i < 200 && !answered; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool in_time = answered;
    if (!in_time) ::close(::open(plist.c_str(), O_WRONLY | O_NONBLOCK));  // releases a blocked reader
    reader.join();
    EXPECT_TRUE(in_time) << "reading a pipe blocked";

    // Nor may an endless file fill the memory.
    std::filesystem::remove(plist);
    std::filesystem::create_symlink("/dev/zero", plist);
    EXPECT_EQ(platform::info_plist_string(plist, "CFBundleVersion"), "");
}

TEST(Grabber, OwnVersionComesFromTheBundleAndNamesAreRead) {
    osx_grabber grabber(std::make_shared<osx_AppleScriptExecutor>(
                            std::make_shared<platform::fake_script_engine>(platform::main_queue::instance()),
                            platform::main_queue::instance()),
                        ":99999");
    // Test programs run outside the bundle, so there is no own version to read.
    EXPECT_EQ(grabber.get_process_version(true), L"");
    EXPECT_FALSE(grabber.get_os_username().empty());
    EXPECT_FALSE(grabber.get_computer_name().empty());
}

}  // namespace
