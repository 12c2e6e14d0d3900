#include "app/StartupWarmUp.h"

#include <QFontDatabase>
#include <QImageReader>
#include <QtConcurrent>

// Two tasks, because the window wants the plugins first (the title bar's
// pictures) and the fonts a little later (the first text). Both are safe off
// the GUI thread: the font database guards itself, and plugins are loaded
// under the plugin loader's own lock.
StartupWarmUp::StartupWarmUp()
    : plugins(QtConcurrent::run([] { QImageReader::supportedImageFormats(); }))
    , fonts(QtConcurrent::run([] { QFontDatabase::families(); }))
{
}

StartupWarmUp::~StartupWarmUp()
{
    // Never left running into the application object's teardown.
    plugins.waitForFinished();
    fonts.waitForFinished();
}
