#pragma once

#include <QString>

// The form in which Windows' wide-character file functions take a path of
// any length: absolute, cleaned, backslashes, behind \\?\ (\\?\UNC\ for a
// share), to which the old 260-character limit does not apply. A path
// already in that form, or a device path (\\.\), stays as it is. Elsewhere
// the path is returned unchanged. Every call to Windows that takes a path
// the user chose goes through here.
QString longPathForm(const QString &path);

#if defined(Q_OS_WIN)
// The same, as the system's wide characters, for passing straight on.
const wchar_t *longPathWide(const QString &longForm);
#endif
