#include "ui/StyleSheet.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>

namespace StyleSheet {

QString application()
{
    QFile file(QStringLiteral(":/qrc/style.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // Plain ASCII; read as one byte per character.
    return QString::fromLatin1(file.readAll());
}

// Noto Sans is not on every system (Windows has none), so the program brings
// its own and makes it the default: Qt reads size and weight from the style
// sheet's "16px/22px Noto Sans" but drops the family after the line height.
void useBundledFont()
{
    QDirIterator fonts(QStringLiteral(":/fonts"));
    while (fonts.hasNext())
        QFontDatabase::addApplicationFont(fonts.next());
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Noto Sans")});
    QApplication::setFont(font);
}

} // namespace StyleSheet
