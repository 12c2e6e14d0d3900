#include "disk/OwnerOnlyFolder.h"

#include "disk/LongPath.h"

#include <QFile>

#if defined(Q_OS_WIN)
#include <QByteArray>
#include <QRandomGenerator>
#include <aclapi.h>
#include <qt_windows.h>
#include <sddl.h>
#else
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Tries more names than a clash of six random characters could ever need.
constexpr int mostAttempts = 100;

#if defined(Q_OS_WIN)
// The user this process runs as, from its token.
QByteArray currentUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return QByteArray();
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    QByteArray buffer(int(size), Qt::Uninitialized);
    QByteArray sid;
    if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        PSID user = reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid;
        sid = QByteArray(static_cast<const char *>(user), int(GetLengthSid(user)));
    }
    CloseHandle(token);
    return sid;
}

// "D:P" is an access list that takes nothing from the folder above;
// "(A;OICI;FA;;;sid)" gives this user, and no one else, everything, for the
// folder and all it will hold.
class OwnerOnlySecurity
{
public:
    OwnerOnlySecurity()
    {
        QByteArray sid = currentUserSid();
        LPWSTR text = nullptr;
        if (sid.isEmpty() || !ConvertSidToStringSidW(sid.data(), &text))
            return;
        const QString descriptor = QStringLiteral("D:P(A;OICI;FA;;;%1)").arg(QString::fromWCharArray(text));
        LocalFree(text);
        ConvertStringSecurityDescriptorToSecurityDescriptorW(reinterpret_cast<LPCWSTR>(descriptor.utf16()),
                                                             SDDL_REVISION_1, &security, nullptr);
    }
    ~OwnerOnlySecurity()
    {
        if (security)
            LocalFree(security);
    }
    OwnerOnlySecurity(const OwnerOnlySecurity &) = delete;
    OwnerOnlySecurity &operator=(const OwnerOnlySecurity &) = delete;

    bool isValid() const { return security != nullptr; }
    SECURITY_ATTRIBUTES *attributes()
    {
        forCreation = {sizeof(forCreation), security, FALSE};
        return &forCreation;
    }
    PACL accessList() const
    {
        BOOL present = FALSE, defaulted = FALSE;
        PACL list = nullptr;
        GetSecurityDescriptorDacl(security, &present, &list, &defaulted);
        return present ? list : nullptr;
    }

private:
    PSECURITY_DESCRIPTOR security = nullptr;
    SECURITY_ATTRIBUTES forCreation = {};
};

bool makeFolder(const QString &path, OwnerOnlySecurity &security)
{
    const QString longForm = longPathForm(path);
    return security.isValid() && CreateDirectoryW(longPathWide(longForm), security.attributes());
}

// A user who runs the program as an administrator makes files that the
// Administrators group owns.
bool isThisUser(PSID owner)
{
    QByteArray user = currentUserSid();
    if (owner && !user.isEmpty() && EqualSid(owner, user.data()))
        return true;
    BOOL member = FALSE;
    return owner && IsWellKnownSid(owner, WinBuiltinAdministratorsSid) && CheckTokenMembership(nullptr, owner, &member)
        && member;
}

bool ownedByThisUser(const QString &longForm)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(longPathWide(longForm), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor)
        != ERROR_SUCCESS)
        return false;
    const bool ours = isThisUser(owner);
    LocalFree(descriptor);
    return ours;
}
#endif

} // namespace

QString OwnerOnlyFolder::makeUnique(const QString &parent, const QString &prefix)
{
    const QString start = (parent.endsWith(QLatin1Char('/')) ? parent : parent + QLatin1Char('/')) + prefix;
#if defined(Q_OS_WIN)
    OwnerOnlySecurity security;
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < mostAttempts; ++attempt) {
        QString name = start;
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(letters[QRandomGenerator::system()->bounded(36)]);
        if (makeFolder(name, security))
            return name;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    return QString();
#else
    // Made owner-only, under a name the system picks at random.
    QByteArray name = QFile::encodeName(start) + "XXXXXX";
    if (!::mkdtemp(name.data()))
        return QString();
    return QFile::decodeName(name);
#endif
}

bool OwnerOnlyFolder::ensure(const QString &path)
{
#if defined(Q_OS_WIN)
    OwnerOnlySecurity security;
    if (makeFolder(path, security))
        return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS || !isOwn(path))
        return false;
    // Left by an earlier run, maybe open to others then: closed again.
    const QString longForm = longPathForm(path);
    return security.isValid()
        && SetNamedSecurityInfoW(const_cast<wchar_t *>(longPathWide(longForm)), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, security.accessList(), nullptr)
               == ERROR_SUCCESS;
#else
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) == 0)
        return true;
    struct stat info;
    if (errno != EEXIST || ::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::geteuid())
        return false;
    // Left by an earlier run, maybe open to others then: closed again.
    return (info.st_mode & 077) == 0 || ::chmod(name.constData(), 0700) == 0;
#endif
}

bool OwnerOnlyFolder::isOwn(const QString &path)
{
#if defined(Q_OS_WIN)
    const QString longForm = longPathForm(path);
    const DWORD attributes = GetFileAttributesW(longPathWide(longForm));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)
        || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return ownedByThisUser(longForm);
#else
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
#endif
}

#if defined(Q_OS_WIN)
bool OwnerOnlyFolder::ownsHandle(void *handle)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor)
        != ERROR_SUCCESS)
        return false;
    const bool ours = isThisUser(owner);
    LocalFree(descriptor);
    return ours;
}
#endif
