#include "app/StartupWarmUp.h"

#include "app/BackgroundPicture.h"
#include "filelist/SingleFileWidget.h"

#include <QFontDatabase>
#include <QGuiApplication>
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

// The one warm-up, while it lives: only it waits for what it started.
StartupWarmUp *running = nullptr;

} // namespace

// Two tasks, because the window wants the plugins and its background first
// (the title bar's pictures, the first paint), the fonts a little later
// (the first text). All are safe off the GUI thread: the font database guards itself, plugins
// are loaded under the plugin loader's own lock, and pictures are decoded
// into images, which only become pixmaps on the GUI thread.
StartupWarmUp::StartupWarmUp()
    : plugins(QtConcurrent::run(warmUpThreads(), [ratio = qApp->devicePixelRatio()] {
        QImageReader(QStringLiteral(":/qrc/file-all.svg")).read();
        BackgroundPicture::image(ratio);
        QImageReader::supportedImageFormats();
    }))
    , fonts(QtConcurrent::run(warmUpThreads(), [] { QFontDatabase::families(); }))
{
    running = this;
}

// Before the first paint it would only take time from it.
void StartupWarmUp::afterFirstPaint()
{
    if (running && !std::exchange(running->rowsStarted, true))
        running->rows = QtConcurrent::run(warmUpThreads(), [] { SingleFileWidget::prepareOffThread(); });
}

StartupWarmUp::~StartupWarmUp()
{
    // Never left running into the application object's teardown.
    plugins.waitForFinished();
    fonts.waitForFinished();
    rows.waitForFinished();
    running = nullptr;
}
