#pragma once

#include <QString>

// A rename that fails when something is already at the target, so that a
// file that appeared there meanwhile is never replaced. It takes paths of
// any length: on Windows it hands the system the long form of each path
// (\\?\C:\..., \\?\UNC\server\share\...), to which the old 260-character
// limit does not apply.
bool moveWithoutReplacing(const QString &from, const QString &to);

// The form in which Windows' wide-character file functions take a path of
// any length: absolute, cleaned, backslashes, behind \\?\ (\\?\UNC\ for a
// share). A path already in that form, or a device path (\\.\), stays as it
// is. Elsewhere the path is returned unchanged.
QString longPathForm(const QString &path);
