// Draws a vector image as a PNG of the given pixel size. Used by the build for
// the bundle's double-resolution images.
//   kes_render_png IMAGE.svg OUT.png WIDTH HEIGHT

#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s IMAGE OUT.png WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int app_argc = 1;
    QGuiApplication app(app_argc, argv);
    const int width = std::atoi(argv[3]);
    const int height = std::atoi(argv[4]);
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "%s: the size must be positive\n", argv[0]);
        return 2;
    }
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    reader.setScaledSize(QSize(width, height));
    const QImage image = reader.read();
    if (image.isNull()) {
        std::fprintf(stderr, "%s: cannot read %s: %s\n", argv[0], argv[1], qPrintable(reader.errorString()));
        return 1;
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
