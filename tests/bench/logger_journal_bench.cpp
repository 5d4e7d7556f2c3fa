// What the record journal costs: one completed record logged (with its one
// journal write) beside the same without a journal.
#include "core/capture/logger.h"
#include "core/foundation/config.h"

#include <benchmark/benchmark.h>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem.hpp>

#include <cstdlib>
#include <string>

namespace {

kes::log_entry record_number(long n) {
    const auto start = boost::posix_time::time_from_string("2024-05-01 09:00:00") + boost::posix_time::seconds(n * 7);
    return kes::log_entry(L"editor", start + boost::posix_time::seconds(5), L"workstation", L"", L"alice", L"editor",
                          L"", L"12.4.1", start, L"Document " + std::to_wstring(n % 211) + L" - project notes");
}

std::string scratch() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kes-journal-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
}

void log_records(benchmark::State& state, bool journaled) {
    kes::config::instance().set_debug_log_level(1);
    const std::string folder = scratch();
    {
        kes::logger activity({folder + "/activities", folder + "/activities_backup", folder + "/log",
                              journaled ? folder + "/journal" : ""});
        const kes::log_entry record = record_number(1);
        long logged = 0;
        for (auto _ : state) {
            activity.log(record);
            // Flush outside the timing, before the automatic one at 10,000.
            if (++logged % 5000 == 0) {
                state.PauseTiming();
                activity.write_current_log_to_disk();
                state.ResumeTiming();
            }
        }
    }
    boost::filesystem::remove_all(folder);
}

void BM_LogOneRecordJournaled(benchmark::State& state) { log_records(state, true); }
void BM_LogOneRecordWithoutJournal(benchmark::State& state) { log_records(state, false); }
BENCHMARK(BM_LogOneRecordJournaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LogOneRecordWithoutJournal)->Unit(benchmark::kMicrosecond);

}  // namespace
