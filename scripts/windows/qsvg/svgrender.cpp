// Draws SVG files through whatever SVG image plugin Qt loads, so that the
// Windows plugin's pictures can be compared with Debian's Linux plugin.
//   svgrender <out-folder> <size> file.svg...   writes <out-folder>/<name>.png
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: svgrender out-folder size file.svg...\n");
        return 2;
    }
    const QDir out(args.at(0));
    const int size = args.at(1).toInt();
    int failures = 0;
    for (const QString &path : args.mid(2)) {
        QImageReader reader(path, "svg");
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        const QString target = out.filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".png"));
        if (image.isNull() || !image.save(target, "PNG")) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(reader.errorString()));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
