#pragma once
// An old binary activity log built byte by byte, as earlier versions wrote
// them (the python writer in tests/e2e checks the same format independently).

#include "core/foundation/files/paths.h"
#include "tests/support/test_environment.h"

#include <cstdint>
#include <fstream>
#include <string>

namespace kes::testing {

struct old_log_file {
    std::string bytes;

    old_log_file& count(std::uint64_t n) {
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
        return *this;
    }
    old_log_file& text(const std::wstring& value) {
        count(value.size());
        for (const wchar_t ch : value) {
            for (int i = 0; i < 4; ++i)
                bytes.push_back(static_cast<char>((static_cast<std::uint32_t>(ch) >> (8 * i)) & 0xFF));
        }
        return *this;
    }
    old_log_file& raw(const std::string& value) {
        bytes += value;
        return *this;
    }
    old_log_file& header() { return text(L"version").raw("2"); }
    old_log_file& record(const std::wstring& app, const std::wstring& title, int version,
                         const std::wstring& entry_type = L"") {
        text(app).raw("2013-Jan-05 14:03:22").text(L"host").text(L"https://example.org").text(L"user");
        text(app).text(L"").text(L"1.0").raw("2013-Jan-05 14:00:00").text(title);
        if (version >= 2) text(entry_type).text(L"").text(L"").text(L"").text(L"");
        return *this;
    }
    std::string save_in(const std::string& folder, const std::string& name) const {
        filesystem::create_directories_if_missing(folder);
        const std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }
    std::string save(const std::string& name) const { return save_in(private_home() + "/old-logs", name); }
};

// The upload row of a record built by `old_log_file::record`.
inline std::wstring old_log_row(const std::wstring& app, const std::wstring& title, const std::wstring& type) {
    return L"\"" + app + L"\",\"1.0\",\"\",\"" + title +
           L"\",\"https://example.org\",\"2013-01-05 14:00:00\",\"2013-01-05 14:03:22\",\"" + type +
           L"\",\"\",\"\",\"\",\"\"\n";
}

}  // namespace kes::testing
