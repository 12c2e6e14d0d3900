#include "app/MainWidget.h"
#include "app/StartupWarmUp.h"
#include "filelist/StagingFolder.h"
#include "frame/FrameLess.h"
#include "ui/OnScreenGuard.h"
#include "ui/ReturnPressesButton.h"
#include "ui/StyleSheet.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

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
        app.installEventFilter(new ReturnPressesButton(&app));
        app.installEventFilter(new OnScreenGuard(&app));
        // Decoded once, for the application and for the window.
        const QIcon icon(QStringLiteral(":/qrc/icon.ico"));
        QGuiApplication::setWindowIcon(icon);

        // The window lives as long as the process; nothing outlives it that needs it.
        auto *window = new MainWidget(nullptr);
        FrameLess frameLess(window);
        window->setWindowIcon(icon);
        window->setWindowTitle(QStringLiteral("Brimlet"));
        window->showInsideScreen(QSize(980, 660));
        // Once the window is up: what earlier copies of the program that
        // died left in the temporary folder goes.
        QTimer::singleShot(0, window, [] { StagingFolder::removeWhatDeadCopiesLeft(QDir::tempPath()); });

        result = app.exec();
    }
    return result;
}
