#include "platform/fake/fake_url_opener.h"
#include "platform/qt/desktop_url_opener.h"
#include "tests/support_qt/qt_test_fixture.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace platform {
namespace {

using namespace std::chrono_literals;

// A fake xdg-open first on PATH: it only writes its arguments, one per line,
// to a log; no browser or file manager ever starts.
class DesktopUrlOpener : public testing::QtLoopTest {
protected:
    void SetUp() override {
        static int counter = 0;
        folder_ = kes::testing::private_home() + "/opener-" + std::to_string(++counter);
        ASSERT_EQ(::mkdir(folder_.c_str(), 0700), 0);
        log_ = folder_ + "/opened.txt";
        const std::string bin = folder_ + "/bin";
        ASSERT_EQ(::mkdir(bin.c_str(), 0700), 0);
        std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$KES_OPENED_LOG\"\n";
        ::chmod((bin + "/xdg-open").c_str(), 0700);
        saved_path_ = std::getenv("PATH");
        ::setenv("PATH", (bin + ":" + saved_path_).c_str(), 1);
        ::setenv("KES_OPENED_LOG", log_.c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", saved_path_.c_str(), 1); }

    // The lines the fake wrote, once there are `count` of them (it runs detached).
    std::vector<std::string> opened(std::size_t count) const {
        std::vector<std::string> lines;
        for (auto deadline = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(10ms)) {
            lines.clear();
            std::ifstream in(log_);
            for (std::string line; std::getline(in, line);) lines.push_back(line);
            if (lines.size() >= count) break;
        }
        return lines;
    }

    std::string folder_;
    std::string log_;
    std::string saved_path_;
    desktop_url_opener opener{queue};
};

TEST_F(DesktopUrlOpener, OpensEscapedWebPagesAsOneArgumentWithoutAShell) {
    const std::string marker = folder_ + "/shell-ran";
    const std::string address = "https://app.kestrel.example/block?u=a%2Fb%20c&t=%C3%A9&x=$(touch%20" + marker + ")";
    const open_result result = opener.open_web_page(address);
    ASSERT_TRUE(result.opened()) << result.reason;
    EXPECT_EQ(opened(1), std::vector<std::string>{address});
    EXPECT_NE(::access(marker.c_str(), F_OK), 0);
}

TEST_F(DesktopUrlOpener, RefusesEverythingButHttpAndHttpsAndSaysWhy) {
    for (const char* address : {"file:///etc/passwd", "javascript:alert(1)", "https://host/with space"}) {
        const open_result result = opener.open_web_page(address);
        EXPECT_EQ(result.status, open_result::outcome::refused) << address;
        EXPECT_FALSE(result.reason.empty());
    }
    EXPECT_EQ(opener.open_web_page("https://host/%zz").status, open_result::outcome::refused);
    // Nothing refused reached the fake: the next address is the first it sees.
    ASSERT_TRUE(opener.open_web_page("http://127.0.0.1:9/ok").opened());
    EXPECT_EQ(opened(1), std::vector<std::string>{"http://127.0.0.1:9/ok"});
}

TEST_F(DesktopUrlOpener, ShowsFoldersAndTheFolderOfAFile) {
    const std::string folder = folder_ + "/Kestrel Data ü";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    std::ofstream(folder + "/debug_log.txt") << "log";
    ASSERT_TRUE(opener.show_in_file_manager(folder).opened());
    ASSERT_TRUE(opener.show_in_file_manager(folder + "/debug_log.txt").opened());
    const std::string expected = "file://" + folder_ + "/Kestrel%20Data%20%C3%BC";
    EXPECT_EQ(opened(2), (std::vector<std::string>{expected, expected}));

    EXPECT_EQ(opener.show_in_file_manager(folder + "/missing").status, open_result::outcome::failed);
    EXPECT_EQ(opener.show_in_file_manager("relative/path").status, open_result::outcome::refused);
}

TEST_F(DesktopUrlOpener, AWorkerThreadsRequestOpensOnTheMainThread) {
    open_result result;
    std::thread worker([&] {
        result = opener.open_web_page("https://app.kestrel.example/help");
        queue.quit(0);
    });
    loop.run();
    worker.join();
    EXPECT_TRUE(result.opened()) << result.reason;
    EXPECT_EQ(opened(1), std::vector<std::string>{"https://app.kestrel.example/help"});
}

TEST_F(DesktopUrlOpener, WithoutAnOpenerProgramItFailsAndSaysSo) {
    ::setenv("PATH", (folder_ + "/nothing-here").c_str(), 1);
    const open_result result = opener.open_web_page("https://app.kestrel.example/");
    EXPECT_EQ(result.status, open_result::outcome::failed);
    EXPECT_EQ(result.reason, "xdg-open is not installed");
}

TEST(FakeUrlOpener, RefusesWhatTheRealOneRefusesAndRecordsTheRest) {
    fake_url_opener opener;
    EXPECT_EQ(opener.open_web_page("javascript:alert(1)").status, open_result::outcome::refused);
    EXPECT_TRUE(opener.open_web_page("https://app.kestrel.example/a%2Fb").opened());
    EXPECT_EQ(opener.opened_pages(), std::vector<std::string>{"https://app.kestrel.example/a%2Fb"});
    EXPECT_EQ(opener.requests().size(), 2u);
}

}  // namespace
}  // namespace platform
