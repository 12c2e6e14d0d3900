#include "app/RunMessages.h"

#include "disk/FolderRights.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace {

constexpr int namesShown = 5;

const char *const existsText = "File with this name already exists";
const char *const unusableText = "Some of the listed files no longer exist or cannot be read: ";
const char *const deniedText = "You are unable to save the file in the specified destination.";
const char *const administratorText =
    " To resolve this, kindly run the app as an administrator or choose an alternative destination.";
const char *const noRoomText = "There is not enough space on the disk for the archive.";
const char *const chooseAnother = "Choose another destination.";
#if defined(Q_OS_WIN)
const QLatin1String temporarySetting("TEMP");
#else
const QLatin1String temporarySetting("TMPDIR");
#endif

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString size(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

const char *const RunMessages::failed = "Compression failed!";

QString RunMessages::exists(const QString &destination)
{
    return QString::fromLatin1(existsText) + QLatin1Char('\n') + shown(destination)
        + QStringLiteral("\nChoose another destination, or choose this file again and answer Yes to replace it.");
}

// A long list would not fit the box: the first few names, then how many more.
QString RunMessages::unusable(const QStringList &names)
{
    QString text = QString::fromLatin1(unusableText) + names.mid(0, namesShown).join(QStringLiteral(", "));
    if (names.size() > namesShown)
        text += QStringLiteral(", and %1 more").arg(names.size() - namesShown);
    return text;
}

// Running as an administrator is the remedy only where an administrator
// may write and this user is one, without those rights now (Windows). A
// program installed for one user is run so, and an elevated program cannot
// take files dropped from Explorer.
QString RunMessages::cannotWrite(const QString &folder)
{
    QString text = QString::fromLatin1(deniedText);
    if (!QFileInfo(folder).isDir())
        return text + QStringLiteral("\nThe folder %1 no longer exists.\n").arg(shown(folder)) + QLatin1String(chooseAnother);
    if (FolderRights::administratorCouldWrite(folder))
        return text + QLatin1String(administratorText) + QLatin1Char('\n') + shown(folder);
    return text + QStringLiteral("\nYou may not write in the folder %1.\n").arg(shown(folder)) + QLatin1String(chooseAnother);
}

QString RunMessages::notEnoughSpace(const QString &folder, qint64 available, qint64 needed)
{
    return QString::fromLatin1(noRoomText)
        + QStringLiteral("\nThe disk that holds %1 has %2 free; the archive of the listed files needs at least %3.\n")
              .arg(shown(folder), size(available), size(needed))
        + QStringLiteral("Make room on it, or choose another destination.");
}

QString RunMessages::diskFull(const QString &folder)
{
    return QString::fromLatin1(failed) + QStringLiteral("\nThe disk that holds %1 is full.\n").arg(shown(folder))
        + QStringLiteral("Make room on it, or choose another destination.");
}

QString RunMessages::temporaryFolder(const QString &folder)
{
    return QString::fromLatin1(failed)
        + QStringLiteral("\nThe temporary folder %1 cannot be written: the list of files for 7-Zip goes there.\n")
              .arg(shown(folder))
        + QStringLiteral("Make room in it, or have the %1 setting name a folder you may write in.").arg(temporarySetting);
}

QString RunMessages::notReplaced(const QString &destination)
{
    return QString::fromLatin1(failed)
        + QStringLiteral("\nThe new archive could not take the place of %1, which stays as it was.\n").arg(shown(destination))
        + QStringLiteral("Close any program that has it open, or choose another destination.");
}

QString RunMessages::failedOn(const QString &file)
{
    return QString::fromLatin1(failed) + (file.isEmpty() ? QString() : QLatin1Char('\n') + file);
}
