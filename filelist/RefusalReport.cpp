#include "filelist/RefusalReport.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace {

const char *const existsText = "The file with the name you provided exists";
const char *const exceededText = "You can't add more than 500 MB of files";

QString thousands(qsizetype number)
{
    return QLocale(QLocale::English).toString(number);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// As the rows show a size: KB below one MB, else MB with two decimals.
QString sizeText(double megabytes)
{
    if (megabytes < 1.0)
        return QStringLiteral("%1 KB").arg(qMax(0, int(megabytes * 1024.0)));
    return QStringLiteral("%1 MB").arg(megabytes, 0, 'f', 2);
}

} // namespace

RefusalReport::RefusalReport(qsizetype paths)
    : pathCount(paths)
{
}

void RefusalReport::Kind::note(const QString &line)
{
    if (shown.size() < namesShown)
        shown << line;
    ++count;
}

QString RefusalReport::Kind::lines() const
{
    QString text = shown.join(QLatin1Char('\n'));
    if (count > shown.size())
        text += QStringLiteral("\nand %1 more").arg(thousands(count - shown.size()));
    return text;
}

void RefusalReport::nameTaken(const QString &path, const QString &holder, bool holderIsRenamedCopy)
{
    // Our copy's path would mean nothing to the user; the name given does.
    const QString holding = holderIsRenamedCopy
        ? QStringLiteral("the file you renamed %1").arg(QFileInfo(holder).fileName())
        : QStringLiteral("the listed ") + native(holder);
    taken.note(QStringLiteral("%1 (%2 has its name)").arg(native(path), holding));
}

void RefusalReport::overLimit(const QString &path, qint64 bytes)
{
    overTheLimit.note(QStringLiteral("%1 (%2)").arg(native(path), sizeText(double(bytes) / 1048576.0)));
}

void RefusalReport::added(const QString &name)
{
    addedNames.note(name);
}

bool RefusalReport::hasRefusals() const
{
    return taken.count > 0 || overTheLimit.count > 0;
}

bool RefusalReport::isAboutTheLimitOnly() const
{
    return taken.count == 0 && overTheLimit.count > 0;
}

QString RefusalReport::text(float roomLeft) const
{
    QStringList parts;
    if (taken.count > 0) {
        parts << QString::fromLatin1(existsText)
              << (taken.count == 1 ? QStringLiteral("Not added, as a listed file has its name:")
                                   : QStringLiteral("Not added, as listed files have their names:"))
              << taken.lines();
    }
    if (overTheLimit.count > 0) {
        parts << QString::fromLatin1(exceededText)
              << QStringLiteral("Not added, with %1 left under the limit:").arg(sizeText(qMax(0.0f, roomLeft)))
              << overTheLimit.lines();
    }
    if (pathCount > 1)
        parts << addedLine();
    return parts.join(QLatin1Char('\n'));
}

QString RefusalReport::addedLine() const
{
    if (addedNames.count == 0)
        return QStringLiteral("Nothing was added.");
    const QString files = addedNames.count == 1 ? QStringLiteral("1 file") : thousands(addedNames.count) + QStringLiteral(" files");
    QString line = QStringLiteral("Added: %1: %2").arg(files, addedNames.shown.join(QStringLiteral(", ")));
    if (addedNames.count > addedNames.shown.size())
        line += QStringLiteral(" and %1 more").arg(thousands(addedNames.count - addedNames.shown.size()));
    return line + QLatin1Char('.');
}
