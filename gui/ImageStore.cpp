#include "gui/ImageStore.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "gui/bundle_images.h"

#include <QPixmap>

namespace kes {

ImageStore::ImageStore(std::string resource_dir) : resource_dir_(std::move(resource_dir)) {}

QImage ImageStore::cgImage(const std::string& name, const std::string& ext) {
    if (const auto cached = images_.find(name); cached != images_.end()) return cached->second;
    const std::string file = name + "." + ext;
    if (missing_.count(file) != 0) return {};
    const bundle_image loaded = load_image_file(name, ext, resource_dir_);
    if (!loaded.loaded()) {
        log(L"[ImageStore:cgImage] Could not load the image " + util::utf8_to_wstring_lossy(file) +
                L" from the main bundle; it is left out.",
            log_level::ui_error);
        missing_.insert(file);
        return {};
    }
    images_.emplace(name, loaded.image);
    return loaded.image;
}

QPixmap ImageStore::image(const std::string& name, const std::string& ext) {
    const QImage loaded = cgImage(name, ext);
    if (loaded.isNull()) return {};
    QPixmap shown = QPixmap::fromImage(loaded);
    shown.setDevicePixelRatio(2.0);
    return shown;
}

QPixmap logoImage(ImageStore& images, bool dark) {
    return images.image(dark ? "kestrel_logo_white" : "kestrel_logo", "png");
}

}  // namespace kes
