#pragma once

#include <QString>

// What running the program with other rights would change.
namespace FolderRights {

// Whether this user could write in folder if the program ran as an
// administrator: on Windows, a user of the Administrators group runs
// programs without those rights until asked, and some folders (Program
// Files, the root of the system drive) let only administrators write. False
// elsewhere, and wherever that would not help.
bool administratorCouldWrite(const QString &folder);

} // namespace FolderRights
