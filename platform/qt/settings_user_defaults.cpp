#include "platform/qt/settings_user_defaults.h"

#include "core/foundation/files/regular_file.h"
#include "platform/bundle.h"

#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <optional>

namespace platform {

namespace {

// Makes the folder (and missing parents) and sets it to 0700 when it is ours.
bool make_private_folder(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
        const std::string parent = folder.substr(0, slash);
        if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    return (info.st_mode & 0777) == 0700 || ::chmod(folder.c_str(), 0700) == 0;
}

// The file exists as a regular file of mode 0600 before the toolkit writes
// it: its atomic save keeps the mode of the file it replaces. A pipe put in
// its place is refused at once, not waited on.
bool make_private_file(const std::string& file) {
    const kes::fs::opened_file opened = kes::fs::open_regular_file(file, O_WRONLY | O_CREAT | O_NOFOLLOW);
    return opened.is_open() && ::fchmod(opened.fd.get(), 0600) == 0;
}

std::optional<bool> truth_value(QString text) {
    text = text.trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("yes") || text == QLatin1String("1")) return true;
    if (text == QLatin1String("false") || text == QLatin1String("no") || text == QLatin1String("0")) return false;
    return std::nullopt;
}

QString key_of(const std::string& key) { return QString::fromStdString(key); }

// The toolkit reads the file as it opens it, and reading a pipe waits for a
// writer that may never come; a device would be taken for settings.
bool holds_no_file_to_use(const std::string& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

std::string settings_user_defaults::default_folder() { return user_config_dir() + "/kestrel"; }

settings_user_defaults::settings_user_defaults(std::string folder)
    : folder_(std::move(folder)),
      file_(folder_ + "/Kestrel.conf") {
    if (!holds_no_file_to_use(file_)) {
        settings_ = std::make_unique<QSettings>(QString::fromStdString(file_), QSettings::IniFormat);
    }
}

settings_user_defaults::~settings_user_defaults() = default;

void settings_user_defaults::register_defaults(const std::map<std::string, value>& defaults) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, fallback] : defaults) registered_[key] = fallback;
}

const user_defaults::value* settings_user_defaults::registered(const std::string& key) const {
    const auto it = registered_.find(key);
    return it == registered_.end() ? nullptr : &it->second;
}

std::optional<QString> settings_user_defaults::stored_locked(const std::string& key) const {
    if (!settings_) {
        const auto kept = this_run_only_.find(key);
        return kept == this_run_only_.end() ? std::nullopt : std::optional<QString>(kept->second);
    }
    if (!settings_->contains(key_of(key))) return std::nullopt;
    return settings_->value(key_of(key)).toString();
}

bool settings_user_defaults::get_bool(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto stored = stored_locked(key)) {
        if (const auto flag = truth_value(*stored)) return *flag;
    }
    const value* fallback = registered(key);
    const bool* flag = fallback ? std::get_if<bool>(fallback) : nullptr;
    return flag && *flag;
}

std::string settings_user_defaults::get_string(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto stored = stored_locked(key)) return stored->toStdString();
    const value* fallback = registered(key);
    const std::string* text = fallback ? std::get_if<std::string>(fallback) : nullptr;
    return text ? *text : std::string();
}

bool settings_user_defaults::set_bool(const std::string& key, bool flag) {
    return store(key, flag ? QStringLiteral("true") : QStringLiteral("false"));
}

bool settings_user_defaults::set_string(const std::string& key, const std::string& text) {
    return store(key, QString::fromStdString(text));
}

bool settings_user_defaults::store(const std::string& key, const QString& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!settings_) {
        this_run_only_[key] = text;
        return false;
    }
    settings_->setValue(key_of(key), text);
    return write_locked();
}

bool settings_user_defaults::synchronize() {
    std::lock_guard<std::mutex> lock(mutex_);
    return write_locked();
}

bool settings_user_defaults::write_locked() {
    // Never written where it would not stay private; the values then hold
    // for this run only.
    if (!settings_ || !make_private_folder(folder_) || !make_private_file(file_)) return false;
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

}  // namespace platform
