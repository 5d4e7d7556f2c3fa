// Quitting the real application loop while the scanner waits on the main
// queue: the run returns, the one orderly end writes the records held in
// memory (python's gzip and csv read them) and no worker thread is left.
#include "core/capture/logger.h"
#include "core/ui/tray_items.h"
#include "app/orderly_end.h"
#include "app/osx_daemon.h"
#include "platform/qt/alert_dialog.h"
#include "platform/qt/qt_alert_presenter.h"
#include "tests/gui/controller_fixture.h"
#include "tests/support_qt/alert_driver.h"

#include <QTimer>

#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <set>

namespace kes::testing {
namespace {

namespace stdfs = std::filesystem;

// A scanner whose every pass hands work to the main thread and waits for it.
struct main_thread_scanner : scanner {
    platform::main_queue* queue = nullptr;
    std::atomic<int> passes{0};
    std::atomic<bool> waiting{false};
    void scan() override {
        waiting = true;
        queue->sync([this] { ++passes; });
        waiting = false;
    }
};

// The threads of this process by id (the toolkit has some of its own).
std::set<std::string> thread_ids() {
    std::set<std::string> ids;
    for (const auto& entry : stdfs::directory_iterator("/proc/self/task")) ids.insert(entry.path().filename());
    return ids;
}

class QuitInOrder : public ControllerTest {
protected:
    QuitInOrder() {
        config::instance().set_scan_interval(100);  // passes as often as the daemon allows
        activities_ = system::create()->get_data_dir() + "/activities";
        logger::get_instance().write_current_log_to_disk();
        stdfs::remove_all(activities_);
    }

    void hold_records() {
        const auto start = boost::posix_time::second_clock::local_time() - boost::posix_time::minutes(10);
        for (const wchar_t* name : {L"alpha", L"beta", L"gamma"}) {
            log_entry record(name, start + boost::posix_time::minutes(1), L"box", L"", L"ana", name, L"", L"1.0",
                             start, std::wstring(L"window of ") + name);
            logger::get_instance().log(record);
        }
    }

    // Starts the daemon, runs the controller's loop until something quits it
    // (starting `quit_clock_`), then ends as `main` does; answers the seconds
    // from the quit to the end.
    double run_and_end(const std::function<void()>& arrange_quit) {
        const std::set<std::string> before = thread_ids();
        agent_ = std::make_unique<osx_daemon>([this] {
            daemon_workers workers;
            auto waiting = std::make_unique<main_thread_scanner>();
            waiting->queue = &queue;
            scanner_ = waiting.get();
            workers.scanner = std::move(waiting);
            workers.pusher = std::make_unique<pusher>();
            workers.puller = std::make_unique<puller>();
            return workers;
        });
        ui::seams with = bridge_seams();
        with.wait_for_stop = {};  // the daemon's own UI slot
        bridge_ = std::make_unique<osx_ui>(services(), with);
        bridge_->init();
        agent_->start(bridge_.get());
        for (const std::string& id : thread_ids()) {
            if (!before.count(id)) workers_.insert(id);
        }
        EXPECT_EQ(workers_.size(), 4u);  // scanner, pusher, puller, UI
        arrange_quit();
        EXPECT_EQ(KestrelController::runGui(*bridge_, seams()), 0);
        EXPECT_TRUE(end_in_order(*agent_, logger::get_instance(), queue));
        const double seconds = static_cast<double>(quit_clock_.elapsed()) / 1000;
        std::fprintf(stderr, "[ figures ] from the quit to the orderly end's last line: %.3f s\n", seconds);
        return seconds;
    }

    void expect_records_in_one_upload_file() {
        const std::string rows = run_python_rows();
        EXPECT_EQ(rows, "12 alpha window of alpha\n12 beta window of beta\n12 gamma window of gamma\n") << rows;
        const std::set<std::string> after = thread_ids();
        for (const std::string& worker : workers_) EXPECT_EQ(after.count(worker), 0u) << "thread " << worker;
    }

    std::string run_python_rows() {
        const std::string script =
            "import csv,glob,gzip,io,sys\n"
            "files = glob.glob(sys.argv[1] + \"/*.kes[gc]\")\n"
            "assert len(files) == 1, files\n"
            "data = gzip.open(files[0]).read() if files[0].endswith(\"g\") else open(files[0], \"rb\").read()\n"
            "for row in csv.reader(io.StringIO(data.decode())): print(len(row), row[0], row[3])\n";
        const std::string command = "/usr/bin/python3 -c '" + script + "' '" + activities_ + "' 2>&1";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
        std::string out;
        std::array<char, 256> buffer{};
        while (pipe && std::fgets(buffer.data(), buffer.size(), pipe.get())) out += buffer.data();
        return out;
    }

    std::string activities_;
    std::unique_ptr<osx_daemon> agent_;
    main_thread_scanner* scanner_ = nullptr;
    std::set<std::string> workers_;
    QElapsedTimer quit_clock_;
};

TEST_F(QuitInOrder, QuitFromTheMenuWhileTheScannerWaitsOnTheMainQueue) {
    hold_records();
    QTimer menu_choice;
    menu_choice.setInterval(50);
    QObject::connect(&menu_choice, &QTimer::timeout, [&] {
        if (scanner_->passes.load() < 2) return;
        menu_choice.stop();
        // The main thread is busy here: the scanner's next pass waits for it.
        while (!scanner_->waiting.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        quit_clock_.start();
        bridge_->get_tray_menu()->notify_listener(k_tray_item_quit);
    });
    const double seconds = run_and_end([&] { menu_choice.start(); });
    EXPECT_LT(seconds, 5.0);
    EXPECT_TRUE(was_logged(L"[User Action] Quitting Kestrel from the menu."));
    EXPECT_TRUE(was_logged(L"***** Exiting Kestrel *****"));
    expect_records_in_one_upload_file();
    EXPECT_TRUE(queue.is_closed());
}

// A termination while an alert is up: the alert holds nothing, so the
// scanner, which waits on the main queue at every pass, goes on being served;
// the end comes at once.
TEST_F(QuitInOrder, ATerminationWhileAnAlertIsUpAndTheScannerIsServedMeanwhile) {
    hold_records();
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    queue.watch_fd(pipe_fds[0], [&] {
        char signal_byte = 0;
        (void)::read(pipe_fds[0], &signal_byte, 1);
        bridge_->quit();  // as the termination-signal watch does
    });
    int passes_at_show = -1;
    int passes_while_shown = 0;
    int polls = 0;
    platform::testing::alert_driver driver([&](platform::alert_dialog&) {
        if (passes_at_show < 0) passes_at_show = scanner_->passes.load();
        passes_while_shown = scanner_->passes.load() - passes_at_show;
        // A held queue would never serve the scanner: give up after 20 s.
        if (passes_while_shown < 3 && ++polls < 4000) return false;
        quit_clock_.start();
        (void)::write(pipe_fds[1], "T", 1);
        return true;  // nobody answers the alert: the termination ends the agent
    });
    platform::qt_alert_presenter presenter;
    const double seconds = run_and_end([&] {
        queue.async([&presenter] {
            platform::alert shown;
            shown.message = "shown";
            presenter.show(shown, {});
        });
    });
    EXPECT_LT(seconds, 5.0);
    EXPECT_GE(passes_while_shown, 3);
    expect_records_in_one_upload_file();
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
}

}  // namespace
}  // namespace kes::testing
