#include "disk/FolderRights.h"

#if defined(Q_OS_WIN)
#include "disk/LongPath.h"

#include <aclapi.h>
#include <qt_windows.h>

namespace {

// The same user's token with the administrator's rights, when the program
// runs without them and could have them; null otherwise.
HANDLE elevatedToken()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    const bool limited = GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &size)
        && type == TokenElevationTypeLimited
        && GetTokenInformation(token, TokenLinkedToken, &linked, sizeof(linked), &size);
    CloseHandle(token);
    return limited ? linked.LinkedToken : nullptr;
}

} // namespace

bool FolderRights::administratorCouldWrite(const QString &folder)
{
    HANDLE elevated = elevatedToken();
    if (!elevated)
        return false;
    const QString longForm = longPathForm(folder);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool allowed = false;
    if (GetNamedSecurityInfoW(longPathWide(longForm), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor)
        == ERROR_SUCCESS) {
        GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
        PRIVILEGE_SET privileges = {};
        DWORD privilegesSize = sizeof(privileges);
        DWORD granted = 0;
        BOOL status = FALSE;
        // The archive's folder is made in there first.
        allowed = AccessCheck(descriptor, elevated, FILE_ADD_SUBDIRECTORY, &mapping, &privileges, &privilegesSize,
                              &granted, &status)
            && status;
        LocalFree(descriptor);
    }
    CloseHandle(elevated);
    return allowed;
}

#else

bool FolderRights::administratorCouldWrite(const QString &)
{
    return false;
}

#endif
