#include "filelist/StagingFolder.h"

#include <QDir>

QString StagingFolder::path() { return QDir::tempPath() + QStringLiteral("/velmora"); }
bool StagingFolder::prepare() { return false; }
void StagingFolder::remove() {}
