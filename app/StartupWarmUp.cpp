#include "app/StartupWarmUp.h"

#include "filelist/SingleFileWidget.h"

#include <QFontDatabase>
#include <QImageReader>
#include <QThreadPool>
#include <QtConcurrent>

namespace {

// The warm-up's own threads, which never end before the process does: the
// system ends them with it. A thread of the Windows (MinGW) build that ends
// after Qt matched a regular expression on it crashes in its thread-local
// teardown, and the plugin scan on Windows does match one (the "*.dll"
// filter). The crash is swallowed, but it leaves the threads library's key
// lock taken, and the process then hangs at its exit, after its window has
// gone. Qt's shared pool ends its threads when the application object goes,
// so the warm-up does not use it.
QThreadPool *warmUpThreads()
{
    static QThreadPool *const pool = [] {
        auto *threads = new QThreadPool; // never deleted, so never waited for
        threads->setMaxThreadCount(2);
        threads->setExpiryTimeout(-1);
        return threads;
    }();
    return pool;
}

} // namespace

// Three tasks, because the window wants the plugins first (the title bar's
// pictures), the fonts a little later (the first text), and the list's
// rows only once files are added. Both are safe off
// the GUI thread: the font database guards itself, and plugins are loaded
// under the plugin loader's own lock.
StartupWarmUp::StartupWarmUp()
    : plugins(QtConcurrent::run(warmUpThreads(), [] { QImageReader::supportedImageFormats(); }))
    , fonts(QtConcurrent::run(warmUpThreads(), [] { QFontDatabase::families(); }))
    , rows(QtConcurrent::run(warmUpThreads(), [] { SingleFileWidget::prepareOffThread(); }))
{
}

StartupWarmUp::~StartupWarmUp()
{
    // Never left running into the application object's teardown.
    plugins.waitForFinished();
    fonts.waitForFinished();
    rows.waitForFinished();
}
