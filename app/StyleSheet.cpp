#include "app/StyleSheet.h"

#include <QFile>

namespace StyleSheet {

QString application()
{
    QFile file(QStringLiteral(":/qrc/style.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // Plain ASCII; read as one byte per character.
    return QString::fromLatin1(file.readAll());
}

} // namespace StyleSheet
