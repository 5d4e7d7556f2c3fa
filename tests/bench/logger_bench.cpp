// The logger's costs: one completed record logged (with and without its
// journal write), and flushing 10,000 records to a compressed upload file
// (with and without the journal), beside plain zlib gzip at the same level
// (9) on the same CSV bytes. Uniform records repeat a few short texts, which
// deflate finds cheaply; realistic ones vary as a working day does.
#include "core/capture/logger.h"
#include "core/capture/ram_log.h"
#include "core/foundation/config.h"
#include "core/foundation/text.h"

#include <benchmark/benchmark.h>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem.hpp>
#include <zlib.h>

#include <cstdlib>
#include <random>
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

// A working day's records: 18 applications with their own versions, titles
// that name documents, mail subjects, chats and commands (some with accents
// and other scripts), browsers on many sites with paths and queries, and
// records from a few seconds to half an hour long. Drawn from a fixed seed,
// so every run flushes the same text.
std::vector<kes::log_entry> realistic_records(long count) {
    struct application {
        const wchar_t* name;
        const wchar_t* version;
        bool browser;
    };
    static const application applications[] = {
        {L"firefox", L"115.9.1", true},      {L"chromium", L"123.0.6312.105", true},
        {L"thunderbird", L"115.10.0", false}, {L"xterm", L"379", false},
        {L"code", L"1.88.1", false},         {L"libreoffice", L"7.4.7.2", false},
        {L"evince", L"43.1", false},         {L"slack", L"4.37.101", false},
        {L"gimp", L"2.10.34", false},        {L"inkscape", L"1.2.2", false},
        {L"nautilus", L"43.2", false},       {L"zoom", L"5.17.11", false},
        {L"spotify", L"1.2.31", false},      {L"keepassxc", L"2.7.4", false},
        {L"obsidian", L"1.5.12", false},     {L"vlc", L"3.0.20", false},
        {L"gnome-calculator", L"43.0.1", false}, {L"okular", L"22.12.3", false}};
    static const wchar_t* const subjects[] = {
        L"Quarterly report", L"Re: budget review for Q3", L"Invoice 2024-0412", L"Déjà vu: the migration plan",
        L"Meeting notes – design sync", L"Fwd: travel booking confirmation", L"Release checklist v2.14",
        L"Über die neue Preisliste", L"Candidate interview feedback", L"日本語のドキュメント",
        L"Server outage post-mortem", L"Lunch on Friday?", L"Customer onboarding guide", L"Résumé draft (final)"};
    static const wchar_t* const places[] = {L"~/src/kestrel", L"/var/log", L"~/Documents/contracts",
                                            L"~/Pictures/2024/holiday", L"/etc/nginx/sites-enabled",
                                            L"~/Downloads", L"~/work/infra/terraform"};
    static const wchar_t* const sites[] = {
        L"https://mail.example.com", L"https://docs.example.org", L"https://github.com",
        L"https://stackoverflow.com", L"https://en.wikipedia.org", L"https://news.ycombinator.com",
        L"https://calendar.example.com", L"https://www.bbc.co.uk", L"https://jira.example.net",
        L"https://confluence.example.net", L"https://www.youtube.com", L"https://drive.example.com",
        L"https://translate.example.com", L"https://www.amazon.de", L"https://maps.example.com",
        L"https://developer.mozilla.org", L"https://www.reddit.com", L"https://status.example.io",
        L"https://login.example.com", L"https://intranet.corp.example"};
    static const wchar_t* const paths[] = {L"/", L"/inbox", L"/wiki/Special:Search", L"/questions/tagged/c%2B%2B",
                                           L"/pulls", L"/browse/OPS-", L"/watch?v=", L"/d/", L"/r/linux/comments/",
                                           L"/en-US/docs/Web/API/", L"/search?q=quarterly+report&page="};
    std::mt19937 draw(20240501);
    const auto pick = [&draw](std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size - 1)(draw); };
    const auto number = [&draw](int low, int high) { return std::uniform_int_distribution<int>(low, high)(draw); };

    std::vector<kes::log_entry> records;
    records.reserve(static_cast<std::size_t>(count));
    auto start = boost::posix_time::time_from_string("2024-05-01 08:12:07");
    for (long n = 0; n < count; ++n) {
        const application& app = applications[pick(std::size(applications))];
        std::wstring title;
        std::wstring address;
        if (app.browser) {
            const std::wstring site = sites[pick(std::size(sites))];
            const std::wstring path = paths[pick(std::size(paths))] + std::to_wstring(number(1, 99999));
            title = std::wstring(subjects[pick(std::size(subjects))]) + L" - " + site.substr(8) + L" - " +
                    (app.name[0] == L'f' ? L"Mozilla Firefox" : L"Chromium");
            address = number(0, 3) == 0 ? site : site + path;
        } else if (std::wstring(app.name) == L"xterm") {
            title = std::wstring(L"alice@workstation: ") + places[pick(std::size(places))];
        } else {
            title = std::wstring(subjects[pick(std::size(subjects))]) + L" (" + std::to_wstring(number(1, 400)) +
                    L") - " + app.name;
        }
        const auto length = boost::posix_time::seconds(number(0, 9) == 0 ? number(60, 1800) : number(2, 90));
        records.emplace_back(app.name, start + length, L"workstation", address, L"alice", app.name, L"", app.version,
                             start, title);
        start += length + boost::posix_time::seconds(number(0, 3));
    }
    return records;
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
std::vector<kes::log_entry> typical_records(long count) {
    std::vector<kes::log_entry> records;
    for (long n = 0; n < count; ++n) records.push_back(typical_record(n));
    return records;
}

void flush_records(benchmark::State& state, const std::vector<kes::log_entry>& records, bool journaled) {
    const std::string folder = scratch_folder();
    kes::logger activity({folder + "/activities", folder + "/activities_backup", folder + "/log",
                          journaled ? folder + "/journal" : ""});
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
void BM_LoggerFlush10000Records(benchmark::State& state) { flush_records(state, typical_records(10000), false); }
void BM_LoggerFlush10000RecordsJournaled(benchmark::State& state) {
    flush_records(state, typical_records(10000), true);
}
void BM_LoggerFlush10000RealisticRecords(benchmark::State& state) {
    flush_records(state, realistic_records(10000), false);
}
BENCHMARK(BM_LoggerFlush10000Records)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoggerFlush10000RecordsJournaled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoggerFlush10000RealisticRecords)->Unit(benchmark::kMillisecond);

// zlib alone, as the upload file asks for it (level 9, gzip wrapping), into
// room made once.
void gzip_level9(benchmark::State& state, const std::vector<kes::log_entry>& records) {
    kes::ram_log log;
    for (const auto& record : records) log.append(record);
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
void BM_GzipLevel9SameCsvBytes(benchmark::State& state) { gzip_level9(state, typical_records(10000)); }
void BM_GzipLevel9SameRealisticCsv(benchmark::State& state) { gzip_level9(state, realistic_records(10000)); }
BENCHMARK(BM_GzipLevel9SameCsvBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GzipLevel9SameRealisticCsv)->Unit(benchmark::kMillisecond);

// The part of a flush before compression: rows, then their UTF-8 form.
void BM_CsvTextOf10000Records(benchmark::State& state) {
    const std::vector<kes::log_entry> records = typical_records(10000);
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
