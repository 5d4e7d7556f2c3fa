// Builds an icon family ("icns") from a vector image: the image drawn at the
// family's sizes, each stored as PNG. Used by the build for the bundle's icon
// files.
//   kes_make_icns IMAGE.svg OUT.icns

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>

namespace {

void append_big_endian_32(QByteArray& out, quint32 value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.append(static_cast<char>((value >> shift) & 0xFF));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IMAGE OUT.icns\n", argv[0]);
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int app_argc = 1;
    QGuiApplication app(app_argc, argv);

    // The PNG members of an icon family, by size.
    const struct {
        const char* type;
        int size;
    } members[] = {{"icp4", 16}, {"icp5", 32}, {"ic07", 128}, {"ic08", 256}, {"ic09", 512}};

    QByteArray body;
    for (const auto& member : members) {
        QImageReader reader(QString::fromLocal8Bit(argv[1]));
        reader.setScaledSize(QSize(member.size, member.size));
        const QImage image = reader.read();
        if (image.isNull()) {
            std::fprintf(stderr, "%s: cannot read %s: %s\n", argv[0], argv[1], qPrintable(reader.errorString()));
            return 1;
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) return 1;
        body.append(member.type, 4);
        append_big_endian_32(body, static_cast<quint32>(png.size() + 8));
        body.append(png);
    }
    QByteArray family("icns");
    append_big_endian_32(family, static_cast<quint32>(body.size() + 8));
    family.append(body);

    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(family) != family.size()) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
