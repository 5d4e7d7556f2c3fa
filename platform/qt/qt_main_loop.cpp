#include "platform/qt/qt_main_loop.h"

#include "platform/main_queue.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace platform {

class qt_main_loop::bridge {
public:
    explicit bridge(main_queue& queue) : queue_(queue), wake_(queue.wake_fd(), QSocketNotifier::Read) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&wake_, &QSocketNotifier::activated, [this] { drain(); });
        QObject::connect(&timer_, &QTimer::timeout, [this] { drain(); });
        adopt_new_watches();
        arm_timer();
    }

    int run() {
        if (!queue_.quit_requested()) {
            const int code = QCoreApplication::exec();
            queue_.quit(code);  // ended by the toolkit itself: the queue learns it too
        }
        return queue_.exit_code();
    }

private:
    void drain() {
        // Before the tasks: one of them may hold the queue in a modal loop,
        // and the descriptors are served there too.
        adopt_new_watches();
        // Refused inside a running task: that task's drain re-arms everything
        // when it ends, so nothing is re-armed here (a due timer would spin).
        if (queue_.run_pending()) {
            adopt_new_watches();
            arm_timer();
        }
        end_if_quit();
    }

    void arm_timer() {
        const auto next = queue_.time_to_next_timer();
        if (!next) {
            timer_.stop();
            return;
        }
        // QTimer takes an int; a later wake-up simply re-arms it.
        timer_.start(static_cast<int>(std::min<long long>(next->count(), 60'000)));
    }

    void adopt_new_watches() {
        const std::vector<main_queue::watch> watches = queue_.watches();
        for (std::size_t i = watchers_.size(); i < watches.size(); ++i) {
            auto notifier = std::make_unique<QSocketNotifier>(watches[i].fd, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated,
                             [this, handler = watches[i].on_readable] {
                                 try {
                                     handler();
                                 } catch (...) {
                                     // Nothing may unwind through the toolkit's loop; handlers log their own errors.
                                 }
                                 end_if_quit();
                             });
            watchers_.push_back(std::move(notifier));
        }
    }

    void end_if_quit() {
        // Ends every running loop, modal ones included, and keeps any loop
        // started later from running (a task still queued behind this one).
        if (queue_.quit_requested()) QCoreApplication::exit(queue_.exit_code());
    }

    main_queue& queue_;
    QSocketNotifier wake_;
    QTimer timer_;
    std::vector<std::unique_ptr<QSocketNotifier>> watchers_;
};

qt_main_loop::qt_main_loop(main_queue& queue) : bridge_(std::make_unique<bridge>(queue)) {}

qt_main_loop::~qt_main_loop() = default;

int qt_main_loop::run() { return bridge_->run(); }

}  // namespace platform
