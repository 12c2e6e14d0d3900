#include "Bench.h"

#include "app/MainWidget.h"
#include "app/StartupWarmUp.h"
#include "app/StyleSheet.h"
#include "frame/FrameLess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QProcess>
#include <QTimer>

#include <cstdio>

#include <sys/resource.h>

namespace {

// Once the window has first painted: says so, lists the folder's files if
// there is one, says the peak memory and quits.
class FirstPaintWatcher : public QObject
{
public:
    FirstPaintWatcher(QWidget *window, const QString &folder) : QObject(window), folder(folder)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *window, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            window->removeEventFilter(this);
            // After the paint, not when it begins.
            QTimer::singleShot(0, this, [this, window] { report(qobject_cast<MainWidget *>(window)); });
        }
        return false;
    }

private:
    void report(MainWidget *window)
    {
        std::puts("painted");
        std::fflush(stdout);
        if (window && !folder.isEmpty()) {
            QStringList paths;
            for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name))
                paths << QDir(folder).filePath(name);
            emit window->addFiles(paths);
            settle();
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("peak-kb %ld\n", usage.ru_maxrss);
        QCoreApplication::quit();
    }

    QString folder;
};

// Milliseconds from starting the child to its first paint, and its peak MB.
QPair<double, double> runChild(const QString &mode, const QString &folder = QString())
{
    QProcess child;
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), mode, folder});
    QByteArray output;
    while (!output.contains("painted\n") && child.waitForReadyRead(60000))
        output += child.readAllStandardOutput();
    const double ms = msSince(0, clock.nsecsElapsed());
    child.waitForFinished(60000);
    output += child.readAllStandardOutput();
    const qsizetype at = output.indexOf("peak-kb ");
    if (child.exitCode() != 0 || at < 0)
        fail(QStringLiteral("Child %1 failed: %2").arg(mode, QString::fromLocal8Bit(child.readAllStandardError())));
    return {ms, output.mid(at + 8).trimmed().toDouble() / 1024.0};
}

} // namespace

int runStartupChild(int &argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    if (qstrcmp(argv[2], "start-bare") == 0) {
        app.setStyleSheet(StyleSheet::application());
        QWidget window;
        window.resize(980, 660);
        new FirstPaintWatcher(&window, QString());
        window.show();
        return app.exec();
    }
    // As the program's main() does.
    const StartupWarmUp warmUp;
    app.setStyleSheet(StyleSheet::application());
    const QIcon icon(QStringLiteral(":/qrc/icon.ico"));
    QGuiApplication::setWindowIcon(icon);
    auto *window = new MainWidget(nullptr);
    FrameLess frameLess(window);
    window->setWindowIcon(icon);
    window->setWindowTitle(QStringLiteral("Brimlet"));
    window->resize(980, 660);
    new FirstPaintWatcher(window, folder);
    window->show();
    return app.exec();
}

QList<Figure> measureStartup(const Sandbox &sandbox)
{
    const QString bare = QStringLiteral("bare QWidget, same style sheet");
    Figure start(QStringLiteral("Start-up to first paint"), bare);
    start.goal = Figure::Goal::RatioAtMost;
    start.limit = 2.0;
    Figure memory(QStringLiteral("Peak memory at start"), bare, QStringLiteral("MB"));
    Figure listed(QStringLiteral("Peak memory, 1,000 files listed"), QStringLiteral("at start"), QStringLiteral("MB"));

    // The first start of each warms the disk and font caches; not counted.
    runChild(QStringLiteral("start-main"));
    runChild(QStringLiteral("start-bare"));
    for (int run = 0; run < 9; ++run) {
        const auto [mainMs, mainMb] = runChild(QStringLiteral("start-main"));
        const auto [bareMs, bareMb] = runChild(QStringLiteral("start-bare"));
        start.samples << mainMs;
        start.referenceSamples << bareMs;
        memory.samples << mainMb;
        memory.referenceSamples << bareMb;
    }
    sandbox.makeFiles(QStringLiteral("memory"), 1000, 100);
    for (int run = 0; run < 3; ++run)
        listed.samples << runChild(QStringLiteral("start-main"), sandbox.path(QStringLiteral("memory"))).second;
    listed.referenceSamples = memory.samples;
    return {start, memory, listed};
}
