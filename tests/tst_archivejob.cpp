#include "app/ArchiveJob.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using Outcome = ArchiveJob::Outcome;
using namespace TestSupport;

namespace {

QByteArray recorded(const QString &name)
{
    QFile file(QFINDTESTDATA(QStringLiteral("data/archiver/") + name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing recorded output %s", qPrintable(name));
    return file.readAll();
}

} // namespace

// The archiver job on recorded 7-Zip output and with the real 7-Zip.
class TestArchiveJob : public QObject
{
    Q_OBJECT

private slots:
    void judgesOutput_data();
    void judgesOutput();
    void readsProgressInAnyPieces();
    void readsTheFileBeingPacked();
    void unusableInsideAListedFolder();
    void realArchiverTakesThousandsOfNames();
};

void TestArchiveJob::judgesOutput_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("archiveExists");
    QTest::addColumn<Outcome>("expected");

    // A vanished input only warns: the archive lacks it and must not count.
    QTest::newRow("missing input, archive written") << recorded("missing.out") << 1 << true << Outcome::Failed;
    QTest::newRow("marker, error exit, no archive") << QByteArray("Everything is Ok\n") << 2 << false << Outcome::Failed;
    QTest::newRow("marker after erased progress") << QByteArray(" 99%\b\b\b\b    \b\b\b\bEverything is Ok\n") << 3 << true << Outcome::Succeeded;
    QTest::newRow("marker redrawn with CR, CRLF ends") << QByteArray(" 99%\rEverything is Ok\r\n") << 3 << true << Outcome::Succeeded;
    QTest::newRow("marker inside a file name") << QByteArray("  5% + Everything is Ok.txt\n") << 2 << true << Outcome::Failed;
    QTest::newRow("clean exit, no archive") << QByteArray() << 0 << false << Outcome::Failed;
}

void TestArchiveJob::judgesOutput()
{
    QFETCH(QByteArray, out);
    QFETCH(int, exitCode);
    QFETCH(bool, archiveExists);
    QFETCH(Outcome, expected);
    QCOMPARE(ArchiveJob::judge(out, exitCode, archiveExists), expected);
}

void TestArchiveJob::readsProgressInAnyPieces()
{
    const QByteArray output = recorded(QStringLiteral("progress.out"));
    for (int pieceSize : {1, 7, 1024}) {
        ArchiveJob job;
        QSignalSpy spy(&job, &ArchiveJob::progressChanged);
        for (qsizetype at = 0; at < output.size(); at += pieceSize)
            job.consumeOutput(output.mid(at, pieceSize));
        QList<int> seen;
        for (const QList<QVariant> &signal : spy)
            seen << signal.at(0).toInt();
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(seen.size() >= 2 ? seen.last() : -1, 99);
    }
}

void TestArchiveJob::readsTheFileBeingPacked()
{
    const QByteArray output = recorded(QStringLiteral("files.out"));
    for (int pieceSize : {1, 7, 1024}) {
        ArchiveJob job;
        QSignalSpy spy(&job, &ArchiveJob::fileChanged);
        for (qsizetype at = 0; at < output.size(); at += pieceSize)
            job.consumeOutput(output.mid(at, pieceSize));
        QStringList seen;
        for (const QList<QVariant> &signal : spy)
            seen << signal.at(0).toString();
        QCOMPARE(seen, (QStringList{"in/a.bin", "in/b c.bin", "in/d.bin"}));
    }
}

void TestArchiveJob::unusableInsideAListedFolder()
{
#ifndef Q_OS_UNIX
    QSKIP("file modes are a POSIX matter");
#else
    IsolatedEnvironment env;
    const QString folder = env.root() + "/Photos";
    writeFile(folder + "/open.jpg", "o");
    writeFile(folder + "/private.jpg", "p");
    writeFile(folder + "/locked/inner.jpg", "i");
    // Open to others down to the folder: root reads anything, so as root
    // the check runs as the user nobody.
    for (const QString &dir : {folder, env.root(), QFileInfo(env.root()).path()})
        QFile::setPermissions(dir, QFile::permissions(dir) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    QFile::setPermissions(folder + "/private.jpg", QFileDevice::WriteOwner);
    QFile::setPermissions(folder + "/locked", QFileDevice::WriteOwner);
    QStringList command{QCoreApplication::applicationFilePath(), "--unusable", folder, env.root() + "/gone.txt"};
    if (geteuid() == 0)
        command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    QByteArray out;
    if (!runProgram(command.first(), command.mid(1), &out))
        QSKIP("cannot run the check as an unprivileged user");
    QCOMPARE(out, QByteArray("Photos/locked\nPhotos/private.jpg\ngone.txt\n"));
    QFile::setPermissions(folder + "/locked", QFile::permissions(folder) | QFileDevice::ExeOwner);
#endif
}

void TestArchiveJob::realArchiverTakesThousandsOfNames()
{
    const QString program = sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    IsolatedEnvironment env;
    const QString in = env.root() + "/in";
    const QStringList patterns{"-dash %1.txt", "@at %1.txt", "späce ü %1.txt", "名前 %1.txt"};
    QMap<QString, QByteArray> listed;
    for (int i = 0; i < 3000; ++i)
        listed.insert(patterns.at(i % patterns.size()).arg(i), QByteArray::number(i));
#ifdef Q_OS_UNIX
    // Taken literally, not as a pattern that would match "xy.txt" too.
    listed.insert("x*.txt", "star");
    writeFile(in + "/xy.txt", "pattern");
#endif
    // A same-named file in a subfolder stays out.
    writeFile(in + "/sub/-dash 0.txt", "deeper");
    QStringList paths;
    for (auto it = listed.cbegin(); it != listed.cend(); ++it)
        paths << writeFile(in + "/" + it.key(), it.value());
    const QString archive = env.root() + "/out.7z";
    QVERIFY(ArchiveJob::needsListFile(archive, paths));

    ArchiveJob job;
    QSignalSpy finished(&job, &ArchiveJob::finished);
    job.start(program, archive, paths);
    QVERIFY(finished.wait(120000));
    QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::Succeeded);
    // The list file went with the run.
    QCOMPARE(QDir(env.tempPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    QVERIFY(runProgram(program, {"x", "-y", "-o" + env.root() + "/extracted", archive}));
    QCOMPARE(filesUnder(env.root() + "/extracted"), listed);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The check as another user sees it, in a child process.
    if (app.arguments().value(1) == QStringLiteral("--unusable")) {
        for (const QString &name : ArchiveJob::unusableNames(app.arguments().mid(2)))
            std::printf("%s\n", name.toUtf8().constData());
        return 0;
    }
    TestArchiveJob test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_archivejob.moc"
