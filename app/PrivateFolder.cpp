#include "app/PrivateFolder.h"

#include "app/NoReplaceMove.h"

#include <QDir>
#include <QFile>

#if defined(Q_OS_WIN)
#include <QRandomGenerator>
#include <qt_windows.h>
#include <sddl.h>
#else
#include <cstdlib>
#endif

namespace {

const char namePrefix[] = "/.brimlet-";

#if defined(Q_OS_WIN)
// "D:P" is an access list that takes nothing from the folder above;
// "(A;OICI;FA;;;sid)" gives this user, and no one else, everything, for
// the folder and all it will hold.
QString ownerOnlyDescriptor()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return QString();
    QString descriptor;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    QByteArray buffer(int(size), Qt::Uninitialized);
    LPWSTR sid = nullptr;
    if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)
        && ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid, &sid)) {
        descriptor = QStringLiteral("D:P(A;OICI;FA;;;%1)").arg(QString::fromWCharArray(sid));
        LocalFree(sid);
    }
    CloseHandle(token);
    return descriptor;
}

QString makeFolder(const QString &parent)
{
    const QString descriptor = ownerOnlyDescriptor();
    PSECURITY_DESCRIPTOR security = nullptr;
    if (descriptor.isEmpty()
        || !ConvertStringSecurityDescriptorToSecurityDescriptorW(reinterpret_cast<LPCWSTR>(descriptor.utf16()),
                                                                 SDDL_REVISION_1, &security, nullptr))
        return QString();
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), security, FALSE};
    QString made;
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100 && made.isEmpty(); ++attempt) {
        QString name = parent + QLatin1String(namePrefix);
        for (int i = 0; i < 10; ++i)
            name += QLatin1Char(letters[QRandomGenerator::system()->bounded(36)]);
        if (CreateDirectoryW(reinterpret_cast<LPCWSTR>(longPathForm(name).utf16()), &attributes))
            made = name;
        else if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    LocalFree(security);
    return made;
}
#else
QString makeFolder(const QString &parent)
{
    QByteArray name = QFile::encodeName(parent + QLatin1String(namePrefix)) + "XXXXXXXXXX";
    // Created owner-only, under a name the system picks at random.
    if (!::mkdtemp(name.data()))
        return QString();
    return QFile::decodeName(name);
}
#endif

} // namespace

PrivateFolder::PrivateFolder(const QString &parent)
    : folder(makeFolder(QDir::cleanPath(parent)))
{
}

PrivateFolder::~PrivateFolder()
{
    if (!folder.isEmpty())
        QDir(folder).removeRecursively();
}

bool PrivateFolder::isValid() const
{
    return !folder.isEmpty();
}

QString PrivateFolder::path() const
{
    return folder;
}

QString PrivateFolder::filePath(const QString &name) const
{
    return folder + QLatin1Char('/') + name;
}
