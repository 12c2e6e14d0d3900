#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/time.h>
#endif

namespace TestSupport {

namespace {

// Environments may overlap (a new one made before the old one goes, as with
// `env = std::make_unique<...>()`): the newest one alive is always in force,
// and the machine's own values come back only when the last one goes.
QList<IsolatedEnvironment *> liveEnvironments;

// The variable QDir::tempPath() answers from: Windows reads TMP, not TMPDIR.
#ifdef Q_OS_WIN
const char tempVariable[] = "TMP";
#else
const char tempVariable[] = "TMPDIR";
#endif

QByteArray originalTmp;
QByteArray originalHome;

// Beside, never inside, a live environment's folders, which go with it.
QString scratchTemplate()
{
    QString base = QDir::tempPath();
    if (!liveEnvironments.isEmpty())
        base = originalTmp.isEmpty() ? QStringLiteral("/tmp") : QString::fromLocal8Bit(originalTmp);
    return base + QStringLiteral("/brimlet-test-XXXXXX");
}

QString makeFile(const QString &path, const QByteArray &content, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()
        || (size >= 0 && !file.resize(size)))
        return QString();
    return path;
}

} // namespace

IsolatedEnvironment::IsolatedEnvironment()
    : dir(scratchTemplate())
{
    for (const char *folder : {"tmp", "home", "work"})
        QDir(dir.path()).mkpath(QLatin1String(folder));
    if (liveEnvironments.isEmpty()) {
        originalTmp = qgetenv(tempVariable);
        originalHome = qgetenv("HOME");
    }
    liveEnvironments.append(this);
    apply();
    QStandardPaths::setTestModeEnabled(true);
}

IsolatedEnvironment::~IsolatedEnvironment()
{
    liveEnvironments.removeOne(this);
    if (!liveEnvironments.isEmpty()) {
        liveEnvironments.last()->apply();
        return;
    }
    qputenv(tempVariable, originalTmp);
    qputenv("HOME", originalHome);
}

void IsolatedEnvironment::apply() const
{
    qputenv(tempVariable, tempPath().toLocal8Bit());
    qputenv("HOME", homePath().toLocal8Bit());
}

QString writeFile(const QString &path, const QByteArray &content)
{
    return makeFile(path, content, -1);
}

QString makeSparseFile(const QString &path, qint64 size)
{
    return makeFile(path, QByteArray(), size);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden, QDir::Name);
}

QMap<QString, QByteArray> filesUnder(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readFile(path));
    }
    return files;
}

QStringList copiesIn(const QString &stagingFolder)
{
    return entriesOf(stagingFolder);
}

bool setModified(const QString &path, qint64 secondsSinceEpoch)
{
#ifdef Q_OS_UNIX
    const timeval then{time_t(secondsSinceEpoch), 0};
    const timeval times[2] = {then, then};
    return ::utimes(QFile::encodeName(path).constData(), times) == 0;
#else
    QFile file(path);
    return file.open(QIODevice::ReadWrite)
        && file.setFileTime(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch), QFileDevice::FileModificationTime);
#endif
}

QStringList signalTexts(const QList<QList<QVariant>> &caught)
{
    QStringList all;
    for (const QList<QVariant> &signal : caught)
        all << signal.value(0).toString();
    return all;
}

QStringList firstLines(const QList<QList<QVariant>> &caught)
{
    QStringList lines;
    for (const QString &text : signalTexts(caught))
        lines << text.section(QLatin1Char('\n'), 0, 0);
    return lines;
}

bool runProgram(const QString &program, const QStringList &args, QByteArray *out)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    const bool ok = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (out)
        *out = process.readAllStandardOutput();
    return ok;
}

QString sevenZip()
{
#ifdef Q_OS_WIN
    // The Windows build lays out the shipped 7z.exe beside the tests.
    return QStandardPaths::findExecutable(QStringLiteral("7z"),
                                          {QCoreApplication::applicationDirPath() + QStringLiteral("/util")});
#else
    return QStandardPaths::findExecutable(QStringLiteral("7zz"));
#endif
}

bool processEnded(qint64 pid)
{
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    const bool ended = !process || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    if (process)
        CloseHandle(process);
    return ended;
#else
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
#endif
}

FakeArchiver::FakeArchiver(const QString &orders)
{
    for (const QString &part : orders.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        const QByteArray name = "FAKE_ARCHIVER_" + part.left(equals).toUpper().toLatin1();
        qputenv(name, equals < 0 ? QByteArray("1") : part.mid(equals + 1).toUtf8());
        names << name;
    }
}

FakeArchiver::~FakeArchiver()
{
    for (const QByteArray &name : names)
        qunsetenv(name);
}

QString FakeArchiver::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("fakearchiver"), {QCoreApplication::applicationDirPath()});
}

} // namespace TestSupport
