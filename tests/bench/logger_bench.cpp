// The logger's costs: one completed record logged (with and without its
// journal write), and flushing 10,000 typical records to a compressed upload
// file (with and without the journal), beside plain zlib gzip at the same
// level (9) on the same CSV bytes.
#include "core/capture/logger.h"
#include "core/capture/ram_log.h"
#include "core/foundation/config.h"
#include "core/foundation/text.h"

#include <benchmark/benchmark.h>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem.hpp>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

kes::log_entry typical_record(long n) {
    static const wchar_t* const apps[] = {L"mail", L"terminal", L"firefox", L"editor", L"chat"};
    const auto start = boost::posix_time::time_from_string("2024-05-01 09:00:00") + boost::posix_time::seconds(n * 7);
    return kes::log_entry(apps[n % 5], start + boost::posix_time::seconds(5), L"workstation",
                          n % 5 == 2 ? L"https://example.org/page/" + std::to_wstring(n % 97) : L"", L"alice",
                          apps[n % 5], L"", L"12.4." + std::to_wstring(n % 3), start,
                          L"Document " + std::to_wstring(n % 211) + L" - project notes");
}

std::string scratch_folder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kes-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
}

void log_one_record(benchmark::State& state, bool journaled) {
    // Without the per-record trace lines, which would cost more than the record.
    const auto level = kes::config::instance().get_debug_log_level();
    kes::config::instance().set_debug_log_level(1);
    const std::string folder = scratch_folder();
    {
        kes::logger activity({folder + "/activities", folder + "/activities_backup", folder + "/log",
                              journaled ? folder + "/journal" : ""});
        const kes::log_entry record = typical_record(1);
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
    kes::config::instance().set_debug_log_level(level);
}
void BM_LogOneRecordJournaled(benchmark::State& state) { log_one_record(state, true); }
void BM_LogOneRecordWithoutJournal(benchmark::State& state) { log_one_record(state, false); }
BENCHMARK(BM_LogOneRecordJournaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LogOneRecordWithoutJournal)->Unit(benchmark::kMicrosecond);

// With the journal, a flush also seals its segment, writes the commit marker
// and removes both once the file is published.
void flush_10000_records(benchmark::State& state, bool journaled) {
    const std::string folder = scratch_folder();
    kes::logger activity({folder + "/activities", folder + "/activities_backup", folder + "/log",
                          journaled ? folder + "/journal" : ""});
    std::vector<kes::log_entry> records;
    for (long n = 0; n < 10000; ++n) records.push_back(typical_record(n));
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t n = 0; n + 1 < records.size(); ++n) activity.log(records[n]);
        state.ResumeTiming();
        activity.log(records.back());  // the 10,000th record writes the file
        state.PauseTiming();
        boost::filesystem::remove_all(folder + "/activities");
        state.ResumeTiming();
    }
    boost::filesystem::remove_all(folder);
}
void BM_LoggerFlush10000Records(benchmark::State& state) { flush_10000_records(state, false); }
void BM_LoggerFlush10000RecordsJournaled(benchmark::State& state) { flush_10000_records(state, true); }
BENCHMARK(BM_LoggerFlush10000Records)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoggerFlush10000RecordsJournaled)->Unit(benchmark::kMillisecond);

void BM_GzipLevel9SameCsvBytes(benchmark::State& state) {
    kes::ram_log log;
    for (long n = 0; n < 10000; ++n) log.append(typical_record(n));
    const kes::utf8 csv(log.to_csv());
    std::vector<unsigned char> out(csv.size() * 2);
    std::size_t compressed = 0;
    for (auto _ : state) {
        z_stream stream{};
        deflateInit2(&stream, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(csv.c_str()));
        stream.avail_in = static_cast<uInt>(csv.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        if (deflate(&stream, Z_FINISH) != Z_STREAM_END) state.SkipWithError("deflate failed");
        compressed = stream.total_out;
        deflateEnd(&stream);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["csv_bytes"] = static_cast<double>(csv.size());
    state.counters["gzip_bytes"] = static_cast<double>(compressed);
}
BENCHMARK(BM_GzipLevel9SameCsvBytes)->Unit(benchmark::kMillisecond);

// The part of a flush before compression: rows, then their UTF-8 form.
void BM_CsvTextOf10000Records(benchmark::State& state) {
    std::vector<kes::log_entry> records;
    for (long n = 0; n < 10000; ++n) records.push_back(typical_record(n));
    for (auto _ : state) {
        kes::ram_log log;
        for (const auto& record : records) log.append(record);
        const kes::utf8 csv(log.to_csv());
        benchmark::DoNotOptimize(csv.c_str());
    }
}
BENCHMARK(BM_CsvTextOf10000Records)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
