#include "Bench.h"

#include "app/MainWidget.h"
#include "app/StartupWarmUp.h"
#include "ui/StyleSheet.h"
#include "frame/FrameLess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QProcess>

#include <cstdio>
#include <memory>

#include <sys/resource.h>

namespace {

struct PaintSpy : QObject
{
    bool painted = false;
    bool eventFilter(QObject *, QEvent *event) override
    {
        painted = painted || event->type() == QEvent::Paint;
        return false;
    }
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
    const double ms = msSince(clock);
    child.waitForFinished(60000);
    output += child.readAllStandardOutput();
    const qsizetype at = output.indexOf("peak-kb ");
    if (child.exitCode() != 0 || at < 0)
        fail(QStringLiteral("Child %1 failed: %2").arg(mode, QString::fromLocal8Bit(child.readAllStandardError())));
    return {ms, output.mid(at + 8).trimmed().toDouble() / 1024.0};
}

} // namespace

// Shows the window as the program's main() does, or a bare one, says when
// it has painted, lists the folder's files if there is one, and says the
// peak memory.
int runStartupChild(int &argc, char **argv)
{
    QApplication app(argc, argv);
    std::unique_ptr<StartupWarmUp> warmUp;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<FrameLess> frameLess;
    if (QByteArray(argv[2]).startsWith("start-bare")) {
        app.setStyleSheet(StyleSheet::application());
        window = std::make_unique<QWidget>();
        // A window with one word on it pays for the system's font set, which
        // the bare one, drawing no letter, never reads.
        if (qstrcmp(argv[2], "start-bare-text") == 0)
            new QLabel(QStringLiteral("Brimlet"), window.get());
    } else {
        warmUp = std::make_unique<StartupWarmUp>();
        StyleSheet::useBundledFont();
        app.setStyleSheet(StyleSheet::application());
        const QIcon icon(QStringLiteral(":/qrc/icon.ico"));
        QGuiApplication::setWindowIcon(icon);
        window = std::make_unique<MainWidget>(nullptr);
        frameLess = std::make_unique<FrameLess>(window.get());
        window->setWindowIcon(icon);
        window->setWindowTitle(QStringLiteral("Brimlet"));
    }
    window->resize(980, 660);
    PaintSpy spy;
    window->installEventFilter(&spy);
    window->show();
    while (!spy.painted)
        app.processEvents(QEventLoop::WaitForMoreEvents);
    std::puts("painted");
    std::fflush(stdout);
    if (auto *mainWidget = qobject_cast<MainWidget *>(window.get()); mainWidget && argc > 3 && argv[3][0]) {
        const QDir folder(QString::fromLocal8Bit(argv[3]));
        QStringList paths;
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name))
            paths << folder.filePath(name);
        emit mainWidget->addFiles(paths);
        settle();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak-kb %ld\n", usage.ru_maxrss);
    return 0;
}

QList<Figure> measureStartup(const Sandbox &sandbox)
{
    const QString bare = QStringLiteral("bare QWidget, same style sheet");
    Figure start{QStringLiteral("Start-up to first paint"), bare, Figure::Goal::RatioAtMost, 2.0};
    Figure text{QStringLiteral("Start-up to first paint"), QStringLiteral("bare QWidget with one word in a QLabel")};
    Figure memory{QStringLiteral("Peak memory at start"), bare};
    Figure listed{QStringLiteral("Peak memory, 1,000 files listed"), QStringLiteral("at start")};
    memory.unit = listed.unit = QStringLiteral("MB");
    // The first start of each warms the disk and font caches; not counted.
    runChild(QStringLiteral("start-main"));
    runChild(QStringLiteral("start-bare"));
    runChild(QStringLiteral("start-bare-text"));
    for (int run = 0; run < 9; ++run) {
        const auto [mainMs, mainMb] = runChild(QStringLiteral("start-main"));
        const auto [bareMs, bareMb] = runChild(QStringLiteral("start-bare"));
        const auto [textMs, textMb] = runChild(QStringLiteral("start-bare-text"));
        start.samples << mainMs;
        start.referenceSamples << bareMs;
        text.samples << mainMs;
        text.referenceSamples << textMs;
        memory.samples << mainMb;
        memory.referenceSamples << bareMb;
    }
    sandbox.makeFiles(QStringLiteral("memory"), 1000, 100);
    for (int run = 0; run < 3; ++run)
        listed.samples << runChild(QStringLiteral("start-main"), sandbox.path(QStringLiteral("memory"))).second;
    listed.referenceSamples = memory.samples;
    return {start, text, memory, listed};
}
