#include "disk/PrivateFolder.h"

#include "disk/OwnerOnlyFolder.h"

#include <QDir>

PrivateFolder::PrivateFolder(const QString &parent)
    : folder(OwnerOnlyFolder::makeUnique(QDir::cleanPath(parent), QStringLiteral(".brimlet-")))
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
