#include "app/MainWidget.h"
#include "app/StartupWarmUp.h"
#include "filelist/StagingFolder.h"
#include "frame/FrameLess.h"
#include "ui/ReturnPressesButton.h"
#include "ui/StyleSheet.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

int main(int argc, char **argv)
{
    int result = 0;
    {
        QApplication app(argc, argv);
        const StartupWarmUp warmUp;
        StyleSheet::useBundledFont();
        app.setStyleSheet(StyleSheet::application());
        app.installEventFilter(new ReturnPressesButton(&app));
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
