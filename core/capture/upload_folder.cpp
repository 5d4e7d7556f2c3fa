#include "core/capture/upload_folder.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/files/paths.h"
#include "core/foundation/files/private_files.h"
#include "core/foundation/text.h"

#include <boost/filesystem.hpp>

#include <unistd.h>

#include <algorithm>

namespace kes {
namespace {

bool is_uuid_text(std::string_view text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool hyphen_place = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen_place ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

std::string cut_at_last(const std::string& text, std::string_view part) {
    const auto at = text.rfind(part);
    return at == std::string::npos ? text : text.substr(0, at);
}

std::string_view extension_of(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

}  // namespace

bool upload_names::is_upload_file_name(std::string_view name) {
    const std::string_view extension = extension_of(name);
    return extension == gzip_extension || extension == plain_extension;
}

upload_file::upload_file(std::string file_path) : path(std::move(file_path)) {
    const auto slash = path.rfind('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    uuid = name;
    if (uuid.find(upload_names::plain_extension) != std::string::npos) {
        uuid = cut_at_last(uuid, upload_names::plain_extension);
        cut_plain = uuid;
    }
    if (uuid.find(upload_names::gzip_extension) != std::string::npos) {
        uuid = cut_at_last(uuid, upload_names::gzip_extension);
        cut_gzip = uuid;
    }
    gzipped = name.find(upload_names::gzip_extension) != std::string::npos;
}

std::optional<staged_upload> staged_upload::from_file_name(std::string_view name) {
    constexpr std::size_t uuid_length = 36;
    if (name.size() <= uuid_length) return std::nullopt;
    const std::string_view extension = name.substr(uuid_length);
    if (extension != upload_names::gzip_extension && extension != upload_names::plain_extension) return std::nullopt;
    if (!is_uuid_text(name.substr(0, uuid_length))) return std::nullopt;
    return staged_upload{std::string(name.substr(0, uuid_length)), std::string(extension)};
}

fs::exclusive_write_outcome upload_folder::stage(const staged_upload& upload, std::string_view content) const {
    try {
        fs::create_private_directories(path_);
    } catch (const std::exception& e) {
        return {fs::exclusive_write_result::failed, e.what()};
    }
    // The final name must still be free too, or publishing would fail later.
    if (filesystem::exists(final_path(upload))) {
        return {fs::exclusive_write_result::name_taken, "the name " + upload.file_name() + " is taken"};
    }
    return fs::stage_file(staged_path(upload), content);
}

fs::exclusive_write_outcome upload_folder::publish(const staged_upload& upload) const {
    return fs::publish_staged_file(staged_path(upload), final_path(upload));
}

void upload_folder::discard(const staged_upload& upload) const { ::unlink(staged_path(upload).c_str()); }

fs::exclusive_write_outcome upload_folder::finish(const staged_upload& upload) const {
    if (!filesystem::exists(staged_path(upload))) return {fs::exclusive_write_result::written, {}};
    auto outcome = publish(upload);
    if (outcome.result == fs::exclusive_write_result::name_taken) {
        // Published by a link whose second half a crash cut off: the final
        // file is the one to keep.
        discard(upload);
        return {fs::exclusive_write_result::written, {}};
    }
    return outcome;
}

void upload_folder::remove_unfinished_files(const std::vector<staged_upload>& keep) const {
    if (!filesystem::is_directory(path_)) return;
    for (const auto& path : filesystem::list_directory(path_)) {
        if (filesystem::extension(path) != upload_names::staged_extension || !filesystem::is_regular_file(path)) {
            continue;
        }
        const bool kept = std::any_of(keep.begin(), keep.end(),
                                      [&](const staged_upload& upload) { return staged_path(upload) == path; });
        if (kept) continue;
        // Left by a crash while writing: its records were never taken from
        // memory or a journal, and a partial file must never be sent.
        log(L"[logger:ctor] Removing unfinished upload file " + util::utf8_to_wstring_lossy(path), log_level::error);
        boost::system::error_code ignored;
        boost::filesystem::remove(path, ignored);
    }
}

}  // namespace kes
