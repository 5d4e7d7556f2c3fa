#pragma once
// The activities folder, the queue between recording and uploading. An upload
// file is "<uuid>.kesg" (gzip) or "<uuid>.kesc" (plain CSV). It is first
// staged whole and synced as "<uuid>.tmp", then published under its final
// name, which the pusher alone takes away again. Between the two steps a
// caller may record durably what the staged file holds, so that after a
// crash it is published exactly once (`finish`) instead of being written
// again; staged files nobody recorded are removed at start.

#include "core/foundation/files/exclusive_file.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

// The names of the folder's files; nothing else spells them.
namespace upload_names {
inline constexpr std::string_view gzip_extension = ".kesg";
inline constexpr std::string_view plain_extension = ".kesc";
inline constexpr std::string_view staged_extension = ".tmp";

inline std::string_view extension_for(bool gzipped) { return gzipped ? gzip_extension : plain_extension; }
// A whole upload file: the name ends in exactly one of the two final
// extensions (not "x.kesc.tmp", not "x.kesg.old").
bool is_upload_file_name(std::string_view name);
}  // namespace upload_names

// One upload file as it is sent: the service files it under the UUID its
// name holds and unpacks it when the name says gzip. Any file of the folder
// with a final extension goes out, so the UUID is read leniently: the name
// cut at its last ".kesc", then at its last ".kesg", whichever it holds.
struct upload_file {
    // A path names its upload file.
    upload_file(std::string file_path);  // NOLINT(google-explicit-constructor)

    std::string path;
    std::string name;  // the text after the last "/"
    std::string uuid;
    bool gzipped = false;  // the name holds ".kesg"
    // The steps that found the UUID, for the log: the name cut at ".kesc",
    // then at ".kesg", each when the text held it.
    std::optional<std::string> cut_plain;
    std::optional<std::string> cut_gzip;
};

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
    std::string staged_path(const staged_upload& upload) const {
        return path_ + "/" + upload.uuid + std::string(upload_names::staged_extension);
    }
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
