#include "app/MainWidget.h"
#include "app/StartupWarmUp.h"
#include "app/StyleSheet.h"
#include "frame/FrameLess.h"

#include <QApplication>
#include <QDirIterator>
#include <QFontDatabase>
#include <QIcon>

namespace {

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
        const StartupWarmUp warmUp;
        useBundledFont();
        app.setStyleSheet(StyleSheet::application());
        // Decoded once, for the application and for the window.
        const QIcon icon(QStringLiteral(":/qrc/icon.ico"));
        QGuiApplication::setWindowIcon(icon);

        // The window lives as long as the process; nothing outlives it that needs it.
        auto *window = new MainWidget(nullptr);
        FrameLess frameLess(window);
        window->setWindowIcon(icon);
        window->setWindowTitle(QStringLiteral("Brimlet"));
        window->resize(980, 660);
        window->show();

        result = app.exec();
    }
    return result;
}
