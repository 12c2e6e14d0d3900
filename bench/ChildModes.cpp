#include "ChildModes.h"

#include "Sandbox.h"

#include "app/MainWidget.h"
#include "frame/FrameLess.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QIcon>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>

namespace {

// Calls back once, after the watched window's first paint has been done and
// shown, not when it begins.
class FirstPaintWatcher : public QObject
{
public:
    FirstPaintWatcher(QWidget *window, std::function<void()> onPainted)
        : QObject(window)
        , onPainted(std::move(onPainted))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            QTimer::singleShot(0, this, [this] { onPainted(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onPainted;
    bool seen = false;
};

void say(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString applicationStyleSheet()
{
    QFile file(QStringLiteral(":/qrc/style.qss"));
    file.open(QIODevice::ReadOnly);
    return QString::fromLatin1(file.readAll());
}

QStringList filesIn(const QString &folder)
{
    const QDir dir(folder);
    QStringList paths;
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

// Shows the window, says when it first painted, lists the files if asked,
// reports the peak memory and ends the event loop.
int showAndReport(QWidget *window, const QString &filesFolder)
{
    new FirstPaintWatcher(window, [window, filesFolder] {
        say("painted");
        if (!filesFolder.isEmpty()) {
            if (auto *mainWindow = qobject_cast<MainWidget *>(window))
                emit mainWindow->addFiles(filesIn(filesFolder));
            settle();
        }
        say("peak-kb " + QByteArray::number(ChildModes::peakResidentKb()));
        QCoreApplication::quit();
    });
    window->show();
    return QCoreApplication::exec();
}

// The window as the program's main() builds it; like the program's, it lives
// as long as the process.
int runMainWindow(const QString &filesFolder)
{
    qApp->setStyleSheet(applicationStyleSheet());
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/qrc/icon.ico")));
    auto *window = new MainWidget(nullptr);
    FrameLess frameLess(window);
    window->setWindowIcon(QIcon(QStringLiteral(":/qrc/icon.ico")));
    window->setWindowTitle(QStringLiteral("Brimlet"));
    window->resize(980, 660);
    return showAndReport(window, filesFolder);
}

// The reference: an empty window of the same size, shown the same way.
int runBareWindow()
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Brimlet"));
    window.resize(980, 660);
    return showAndReport(&window, QString());
}

} // namespace

namespace ChildModes {

qint64 peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

int run(int &argc, char **argv, const QString &mode, const QString &filesFolder)
{
    QApplication app(argc, argv);
    if (mode == QLatin1String(startMain))
        return runMainWindow(filesFolder);
    if (mode == QLatin1String(startBare))
        return runBareWindow();
    return 2;
}

} // namespace ChildModes
