#pragma once

#include "Figure.h"

#include <QList>
#include <QString>

class Sandbox;

// The whole compression job on about 200 MB of mixed files against the
// archiver run directly with the same arguments, and how long the event loop
// waited at most meanwhile.
namespace CompressionBench {

QList<Figure> measure(const Sandbox &sandbox, const QString &archiver);

// The archiver's version line, for the record.
QString archiverVersion(const QString &archiver);

}
