#include "app/StartupWarmUp.h"

#include <QFontDatabase>
#include <QImageReader>
#include <QtConcurrent>

StartupWarmUp::StartupWarmUp()
    : work(QtConcurrent::run([] {
        // Both are safe off the GUI thread: the font database guards itself,
        // and plugins are loaded under the plugin loader's own lock.
        QFontDatabase::families();
        QImageReader::supportedImageFormats();
    }))
{
}

StartupWarmUp::~StartupWarmUp()
{
    // Never left running into the application object's teardown.
    work.waitForFinished();
}
