#include "app/MainWidget.h"
#include "frame/FrameLess.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>

namespace {

QString applicationStyleSheet()
{
    QFile file(QStringLiteral(":/qrc/style.qss"));
    file.open(QIODevice::ReadOnly);
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

} // namespace

int main(int argc, char **argv)
{
    int result = 0;
    {
        QApplication app(argc, argv);
        useBundledFont();
        app.setStyleSheet(applicationStyleSheet());
        QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/qrc/icon.ico")));

        // The window lives as long as the process; nothing outlives it that needs it.
        auto *window = new MainWidget(nullptr);
        FrameLess frameLess(window);
        window->setWindowIcon(QIcon(QStringLiteral(":/qrc/icon.ico")));
        window->setWindowTitle(QStringLiteral("Brimlet"));
        window->resize(980, 660);
        window->show();

        result = app.exec();
    }
    return result;
}
