#pragma once
// A logger's folders of the test's own, and the rows its upload files hold.

#include "core/capture/logger.h"
#include "core/foundation/files/paths.h"
#include "tests/support/test_environment.h"
#include "tests/support/upload_files.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kes::testing {

// Folders under the private home, all inside one named `name`.
inline logger::folders logger_folders(const std::string& name) {
    const std::string base = private_home() + "/" + name;
    return {base + "/activities", base + "/activities_backup", base + "/log", base + "/journal"};
}

// The rows of each upload file, in the file's order; a staged file left
// behind fails the test.
inline std::vector<std::vector<std::string>> upload_file_rows(const logger::folders& folders) {
    std::vector<std::vector<std::string>> files;
    for (const auto& name : folder_names(folders.activities)) {
        EXPECT_NE(filesystem::extension(name), ".tmp") << name;
        files.push_back(lines_of(upload_text(folders.activities + "/" + name)));
    }
    return files;
}

// Every upload file's rows, counted.
inline std::map<std::string, int> upload_row_counts(const logger::folders& folders) {
    std::map<std::string, int> counts;
    for (const auto& file : upload_file_rows(folders)) {
        for (const auto& row : file) ++counts[row];
    }
    return counts;
}

}  // namespace kes::testing
