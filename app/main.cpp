#include "app/MainWidget.h"
#include "app/StartupWarmUp.h"
#include "ui/ReturnPressesButton.h"
#include "ui/StyleSheet.h"
#include "frame/FrameLess.h"

#include <QApplication>
#include <QIcon>

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

        result = app.exec();
    }
    return result;
}
