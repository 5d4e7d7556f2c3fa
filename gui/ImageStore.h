#pragma once
// The preference panes' images from the application bundle, loaded once and
// kept by name (the extension is not part of the key: a second request for
// the name with another extension gets the first image). The resources are
// drawn at double resolution. An image that cannot be loaded is logged once
// and shown as nothing; it never stops the program.
//
// Main thread.

#include <QImage>

#include <map>
#include <set>
#include <string>

class QPixmap;

namespace kes {

class ImageStore {
public:
    explicit ImageStore(std::string resource_dir);

    // The image of the resource `name`.`ext`; null when it cannot be loaded.
    QImage cgImage(const std::string& name, const std::string& ext);
    // That image at scale 2 (half its pixel size in points); null as above.
    QPixmap image(const std::string& name, const std::string& ext);

private:
    std::string resource_dir_;
    std::map<std::string, QImage> images_;
    std::set<std::string> missing_;  // "name.ext" already logged
};

// The logo of the General pane and the login form: white on a dark palette.
QPixmap logoImage(ImageStore& images, bool dark);

}  // namespace kes
