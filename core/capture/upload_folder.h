#pragma once
// The activities folder, the queue between recording and uploading. An upload
// file is "<uuid>.kesg" (gzip) or "<uuid>.kesc" (plain CSV). It is first
// staged whole and synced as "<uuid>.tmp", then published under its final
// name, which the pusher alone takes away again. Between the two steps a
// caller may record durably what the staged file holds, so that after a
// crash it is published exactly once (`finish`) instead of being written
// again; staged files nobody recorded are removed at start.

#include "core/foundation/exclusive_file.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

struct staged_upload {
    std::string uuid;       // "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx"
    std::string extension;  // ".kesg" or ".kesc"

    // "<uuid><extension>", the final file name; and back (nothing for any other text).
    std::string file_name() const { return uuid + extension; }
    static std::optional<staged_upload> from_file_name(std::string_view name);
};

class upload_folder {
public:
    explicit upload_folder(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    std::string staged_path(const staged_upload& upload) const { return path_ + "/" + upload.uuid + ".tmp"; }
    std::string final_path(const staged_upload& upload) const { return path_ + "/" + upload.file_name(); }

    // Creates the folder when missing (mode 0700) and stages the content.
    fs::exclusive_write_outcome stage(const staged_upload& upload, std::string_view content) const;
    // Makes a staged file visible; on failure it stays staged.
    fs::exclusive_write_outcome publish(const staged_upload& upload) const;
    // Removes a staged file that will not be published.
    void discard(const staged_upload& upload) const;
    // For a staged file that a record of the last run names: published when
    // it is still staged; nothing when it was published (or sent) already.
    fs::exclusive_write_outcome finish(const staged_upload& upload) const;
    // Removes every staged file but those kept (recorded ones that could not
    // be published); for the start, after `finish` of the recorded ones.
    void remove_unfinished_files(const std::vector<staged_upload>& keep) const;

private:
    std::string path_;
};

}  // namespace kes
