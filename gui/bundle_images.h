#pragma once
// Images of the application bundle, found by resource name and type as the
// controller names them ("kestrel_icon_normal", "kestrel_icon_color" of type
// "icns", ...). Images come as SVG or PNG; an "icns" file is an icon family
// of PNG images, of which the largest is read.

#include <QColor>
#include <QImage>

#include <string>

namespace kes {

struct bundle_image {
    std::string path;  // empty: no such resource
    QImage image;      // null: the resource cannot be read as an image

    bool loaded() const { return !image.isNull(); }
};

// "<name>.svg", else "<name>.png", in the resource folder; drawn at `size`
// pixels (a vector image) or as stored.
bundle_image load_named_image(const std::string& name, const std::string& resource_dir, int size = 64);

// "<name>.<type>"; an "icns" type is read as an icon family, of which the
// image for `size` pixels is kept (see icns_image).
bundle_image load_image_file(const std::string& name, const std::string& type, const std::string& resource_dir,
                             int size = 128);

// A template image: its shape, drawn in one colour (the way a control
// shows it in its own text colour). Null for an image not loaded.
QImage template_image(const bundle_image& image, const QColor& colour);

// The PNG image of an icon family's bytes drawn for `size` pixels: the
// largest no wider than that, else the narrowest; null when there is none.
// A family holds images up to 512 pixels (a megabyte each, decoded), far
// beyond what a task bar or a window shows.
QImage icns_image(const QByteArray& family, int size);

}  // namespace kes
