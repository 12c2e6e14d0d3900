#include "app/BackgroundPicture.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPixmapCache>

#include <cstring>

namespace {

const char single[] = ":/qrc/background.png";
const char doubled[] = ":/qrc/background@2x.png";

bool wantsDouble(qreal ratio)
{
    return ratio > 1.0;
}

QImage decoded(const char *path, qreal ratio)
{
    QImage picture(QString::fromLatin1(path));
    picture.setDevicePixelRatio(ratio);
    return picture;
}

// A number as Qt writes it into its keys: each byte as it lies in memory,
// low half first.
template <typename Number>
void appendHex(QString &key, Number value)
{
    static const char digits[] = "0123456789abcdef";
    unsigned char bytes[sizeof(Number)];
    std::memcpy(bytes, &value, sizeof(Number));
    for (unsigned char byte : bytes)
    {
        key += QLatin1Char(digits[byte & 0xf]);
        key += QLatin1Char(digits[byte >> 4]);
    }
}

// The key under which QPixmap, loading a file on the window's thread, looks
// in the cache first: the file's path, time and size, and the kind of
// pixmap (0, a plain one).
QString keyOf(const QString &file)
{
    const QFileInfo info(file);
    QString key = QStringLiteral("qt_pixmap") + info.absoluteFilePath();
    appendHex(key, uint(info.lastModified().toSecsSinceEpoch()));
    appendHex(key, quint64(info.size()));
    appendHex(key, uint(0));
    return key;
}

} // namespace

// Each decoded once, by whichever thread asks first; the other waits.
QImage BackgroundPicture::image(qreal ratio)
{
    if (wantsDouble(ratio)) {
        static const QImage twice = decoded(doubled, 2.0);
        return twice;
    }
    // Stored as the pixels themselves (PPM, not compressed): read in a
    // sixth of the time the PNG takes, for 2 MB more in the program.
    static const QImage once = decoded(":/qrc/background.ppm", 1.0);
    return once;
}

QPixmap BackgroundPicture::prime(qreal ratio)
{
    const QString file = QString::fromLatin1(wantsDouble(ratio) ? doubled : single);
    const QString key = keyOf(file);
    QPixmap picture;
    if (QPixmapCache::find(key, &picture))
        return picture;
    // Made at the ratio the style sheet gives it, so that it is not copied
    // again to take that ratio.
    picture = QPixmap::fromImage(image(ratio));
    // Qt's cache holds 10 MB at first, less than the @2x picture alone: it
    // would not keep it, and every window styled after would decode it anew.
    const int kilobytes = int(picture.width() * qint64(picture.height()) * picture.depth() / 8 / 1024);
    if (QPixmapCache::cacheLimit() < 2 * kilobytes)
        QPixmapCache::setCacheLimit(2 * kilobytes);
    QPixmapCache::insert(key, picture);
    return picture;
}
