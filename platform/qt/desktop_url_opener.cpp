#include "platform/qt/desktop_url_opener.h"

#include "platform/main_thread_call.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <sys/stat.h>

namespace platform {

namespace {

bool toolkit_has_desktop_services() {
    const QString name = QGuiApplication::platformName();
    return name != QLatin1String("offscreen") && name != QLatin1String("minimal");
}

open_result launch(const QUrl& url) {
    if (toolkit_has_desktop_services()) {
        if (QDesktopServices::openUrl(url)) return open_result::success();
        return open_result::failure("no application opens " + url.toString().toStdString());
    }
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return open_result::failure("xdg-open is not installed");
    if (!QProcess::startDetached(opener, {QString::fromLatin1(url.toEncoded())})) {
        return open_result::failure("xdg-open could not be started");
    }
    return open_result::success();
}

open_result on_main_thread(main_queue& queue, const QUrl& url) {
    return call_on_main_thread(queue, [&url] { return launch(url); })
        .value_or(open_result::failure("the main loop has ended"));
}

std::string parent_folder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

open_result desktop_url_opener::open_web_page(const std::string& address) {
    if (const auto refusal = web_page_refusal(address)) return open_result::refusal(*refusal);
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(address), QUrl::StrictMode);
    if (!url.isValid()) return open_result::refusal("not a valid address: " + url.errorString().toStdString());
    return on_main_thread(queue_, url);
}

open_result desktop_url_opener::show_in_file_manager(const std::string& path) {
    if (path.empty() || path.front() != '/') return open_result::refusal("not an absolute path: " + path);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return open_result::failure("no such file or folder: " + path);
    const std::string folder = S_ISDIR(info.st_mode) ? path : parent_folder(path);
    return on_main_thread(queue_, QUrl::fromLocalFile(QString::fromStdString(folder)));
}

}  // namespace platform
