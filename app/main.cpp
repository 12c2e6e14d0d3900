#include "app/MainWidget.h"
#include "app/StartupWarmUp.h"
#include "ui/StyleSheet.h"
#include "frame/FrameLess.h"

#include <QApplication>
#include <QIcon>

#if defined(Q_OS_WIN)
#include <qt_windows.h>
#endif

int main(int argc, char **argv)
{
#if defined(Q_OS_WIN)
    // Held for as long as the program runs (the system lets it go when the
    // process ends), so that the installer can tell that Brimlet is running
    // and its files are in use (dist/windows/brimlet.nsi asks for it by this
    // name). A second copy of the program opens the same mutex and runs all
    // the same.
    CreateMutexW(nullptr, FALSE, L"Local\\BrimletRunning");
#endif
    int result = 0;
    {
        QApplication app(argc, argv);
        const StartupWarmUp warmUp;
        StyleSheet::useBundledFont();
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
