#include "Sandbox.h"

#include "Figure.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTimer>

Sandbox::Sandbox()
    : dir(QDir::tempPath() + QStringLiteral("/brimlet-bench-XXXXXX"))
{
    if (!dir.isValid())
        return;
    for (const char *name : {"tmp", "home", "runtime"})
        QDir(dir.path()).mkpath(QString::fromLatin1(name));
    QFile::setPermissions(path(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("TMPDIR", path(QStringLiteral("tmp")).toLocal8Bit());
    qputenv("HOME", path(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", path(QStringLiteral("runtime")).toLocal8Bit());
    // Unset, these follow HOME; set, they would lead back to the real ones.
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR"})
        qunsetenv(name);
}

bool Sandbox::isValid() const
{
    return dir.isValid();
}

QString Sandbox::path(const QString &relative) const
{
    return dir.filePath(relative);
}

QStringList Sandbox::makeFiles(const QString &folder, int count, qint64 size) const
{
    QDir().mkpath(path(folder));
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        QFile file(path(QStringLiteral("%1/file-%2.txt").arg(folder).arg(i, 6, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
            fail(QStringLiteral("Cannot write %1").arg(file.fileName()));
        paths << file.fileName();
    }
    paths.sort();
    return paths;
}

QString Sandbox::makeFolderTree(const QString &folder, int folders, int filesEach) const
{
    for (int i = 0; i < folders; ++i)
        QDir().mkpath(path(QStringLiteral("%1/part-%2").arg(folder).arg(i)));
    for (int i = 0; i < folders; ++i)
        makeFiles(QStringLiteral("%1/part-%2").arg(folder).arg(i), filesEach, 0);
    return path(folder);
}

void settle()
{
    // A layout request can post another one for the parent, and showing a
    // widget posts its first paint: a few rounds leave nothing behind.
    for (int round = 0; round < 5; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

double longestGapWhile(const std::function<void()> &work)
{
    QElapsedTimer sinceLastTurn;
    qint64 longest = 0;
    const auto turn = [&] {
        longest = qMax(longest, sinceLastTurn.nsecsElapsed());
        sinceLastTurn.restart();
    };
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &timer, turn);
    sinceLastTurn.start();
    timer.start(10);
    work();
    turn();
    return double(longest) / 1e6;
}
