#include "Sandbox.h"

#include "Figure.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>

Sandbox::Sandbox()
    : dir(QDir::tempPath() + QStringLiteral("/brimlet-bench-XXXXXX"))
{
    if (!dir.isValid())
        return;
    QDir root(dir.path());
    root.mkpath(QStringLiteral("tmp"));
    root.mkpath(QStringLiteral("home"));
    root.mkpath(QStringLiteral("runtime"));
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

QStringList Sandbox::makeSmallFiles(const QString &folder, int count, int size) const
{
    const QString folderPath = path(folder);
    QDir().mkpath(folderPath);
    const QByteArray content(size, 'x');
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString filePath = folderPath + QStringLiteral("/file-%1.txt").arg(i, 5, 10, QLatin1Char('0'));
        QFile file(filePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != size)
            throw BenchError(QStringLiteral("Cannot write %1").arg(filePath));
        paths << filePath;
    }
    paths.sort();
    return paths;
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
