#include "gui/bundle_images.h"

#include "platform/bundle.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace kes {
namespace {

constexpr qint64 max_image_file_size = 8 * 1024 * 1024;

quint32 big_endian_32(const QByteArray& bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) { return static_cast<quint32>(static_cast<unsigned char>(bytes[at + i])); };
    return (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
}

QImage read_image(const std::string& path, int size) {
    QImageReader reader(QString::fromStdString(path));
    if (!reader.canRead()) return {};
    // A vector image is drawn at the size asked for; a bitmap stays as stored.
    if (reader.format() == "svg") reader.setScaledSize(QSize(size, size));
    return reader.read();
}

}  // namespace

QImage icns_image(const QByteArray& family, int size) {
    static const QByteArray png_signature("\x89PNG\r\n\x1a\n", 8);
    constexpr qsizetype png_width_at = 16;  // in the header chunk that follows the signature
    if (family.size() < 8 || !family.startsWith("icns")) return {};
    const qsizetype declared = static_cast<qsizetype>(big_endian_32(family, 4));
    const qsizetype end = std::min(declared, family.size());
    struct entry {
        quint32 width;
        QByteArray png;
    };
    std::vector<entry> entries;
    for (qsizetype at = 8; at + 8 <= end;) {
        const qsizetype length = static_cast<qsizetype>(big_endian_32(family, at + 4));
        if (length < 8 || length > end - at) break;
        QByteArray data = family.mid(at + 8, length - 8);
        if (data.startsWith(png_signature) && data.size() >= png_width_at + 4) {
            entries.push_back({big_endian_32(data, png_width_at), std::move(data)});
        }
        at += length;
    }
    // Ordered by the width each header states, so that only the image used is
    // decoded (and the next where one is damaged).
    const auto limit = static_cast<quint32>(std::max(size, 0));
    std::stable_sort(entries.begin(), entries.end(), [limit](const entry& a, const entry& b) {
        const bool a_fits = a.width <= limit;
        const bool b_fits = b.width <= limit;
        if (a_fits != b_fits) return a_fits;
        return a_fits ? a.width > b.width : a.width < b.width;
    });
    for (const entry& candidate : entries) {
        QImage image;
        if (image.loadFromData(candidate.png, "PNG")) return image;
    }
    return {};
}

bundle_image load_image_file(const std::string& name, const std::string& type, const std::string& resource_dir,
                             int size) {
    bundle_image found{platform::bundle_resource_path(name, type, resource_dir), {}};
    if (found.path.empty()) return found;
    if (type == "icns") {
        QFile file(QString::fromStdString(found.path));
        if (file.size() <= max_image_file_size && file.open(QIODevice::ReadOnly)) {
            found.image = icns_image(file.readAll(), size);
        }
        return found;
    }
    found.image = read_image(found.path, 64);
    return found;
}

bundle_image load_named_image(const std::string& name, const std::string& resource_dir, int size) {
    for (const char* type : {"svg", "png"}) {
        bundle_image found{platform::bundle_resource_path(name, type, resource_dir), {}};
        if (found.path.empty()) continue;
        found.image = read_image(found.path, size);
        return found;
    }
    return {};
}

QImage template_image(const bundle_image& image, const QColor& colour) {
    if (!image.loaded()) return {};
    QImage tinted = image.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&tinted);
    // Only the image's coverage is kept, in the colour given.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(tinted.rect(), colour);
    return tinted;
}

}  // namespace kes
