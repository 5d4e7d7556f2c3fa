#include "platform/resident_memory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

// Pages of files mapped into this process (statm's third figure), in pages.
long resident_file_pages() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0, shared = 0;
    statm >> size >> resident >> shared;
    return shared;
}

// Each lives in a writable segment: .data written at run time, and a table
// the loader relocated before making it read-only. Neither may go back to
// the file's bytes.
int written_at_run_time = 1;
const char* const relocated_names[] = {"alpha", "beta"};

}  // namespace

TEST(ResidentMemory, ReleasedCodeComesBackAndNothingWrittenIsLost) {
    written_at_run_time = 42;
    auto heap_block = std::make_unique<std::string>(100000, 'k');
    const platform::resident_memory pages;
    ASSERT_GT(pages.noted_bytes(), 0u);

    const long before = resident_file_pages();
    const auto started = std::chrono::steady_clock::now();
    pages.release();
    const auto took = std::chrono::steady_clock::now() - started;
    const long after = resident_file_pages();
    std::printf("released %ld of %ld resident file pages in %.2f ms\n", before - after, before,
                std::chrono::duration<double, std::milli>(took).count());
    EXPECT_LT(after, before);

    EXPECT_EQ(written_at_run_time, 42);
    EXPECT_EQ(std::string(relocated_names[1]), "beta");
    EXPECT_EQ(*heap_block, std::string(100000, 'k'));
    // Code and read-only data come back from the page cache as they run.
    EXPECT_EQ(std::to_string(1234567), "1234567");
    pages.release();
    EXPECT_EQ(written_at_run_time, 42);
}
