#include "disk/LongPath.h"

#include <QDir>
#include <QFileInfo>

QString longPathForm(const QString &path)
{
#if defined(Q_OS_WIN)
    const QString native = QDir::toNativeSeparators(path);
    if (native.startsWith(QLatin1String("\\\\?\\")) || native.startsWith(QLatin1String("\\\\.\\")))
        return native;
    // The long form is taken literally: no "." or "..", no forward slashes.
    const QString absolute =
        QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (absolute.startsWith(QLatin1String("\\\\")))
        return QStringLiteral("\\\\?\\UNC\\") + absolute.mid(2);
    return QStringLiteral("\\\\?\\") + absolute;
#else
    return path;
#endif
}

#if defined(Q_OS_WIN)
const wchar_t *longPathWide(const QString &longForm)
{
    return reinterpret_cast<const wchar_t *>(longForm.utf16());
}
#endif
