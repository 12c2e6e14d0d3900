#include "app/ArchiveJob.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using TestSupport::IsolatedEnvironment;
using Outcome = ArchiveJob::Outcome;

namespace {

QByteArray recorded(const QString &name)
{
    const QString path = QFINDTESTDATA(QStringLiteral("data/archiver/") + name);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing recorded output %s", qPrintable(name));
    return file.readAll();
}

} // namespace

class TestArchiveJob : public QObject
{
    Q_OBJECT

private slots:
    void argumentsNameEveryPathLiterally();
    void judgesRecordedOutput_data();
    void judgesRecordedOutput();
    void readsProgressInAnyPieces_data();
    void readsProgressInAnyPieces();
    void findsUnusablePaths();
    void runsFakeArchivers_data();
    void runsFakeArchivers();
    void passesExactlyTheArguments();
    void reportsProgressWhileRunning();
    void cancelStopsAndRemovesThePartialArchive_data();
    void cancelStopsAndRemovesThePartialArchive();
};

void TestArchiveJob::argumentsNameEveryPathLiterally()
{
    const QStringList args = ArchiveJob::arguments(QStringLiteral("/out/a b.7z"),
                                                   {QStringLiteral("/in/A.txt"), QStringLiteral("/in/x*.txt")});
    QCOMPARE(args, (QStringList{"a", "-tzip", "-spd", "-sse", "-bsp1", "/out/a b.7z", "/in/A.txt", "/in/x*.txt"}));
}

void TestArchiveJob::judgesRecordedOutput_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("archiveExists");
    QTest::addColumn<Outcome>("expected");

    QTest::newRow("success") << recorded("success.out") << recorded("success.err") << 0 << true << Outcome::Succeeded;
    QTest::newRow("big file with progress") << recorded("progress.out") << QByteArray() << 0 << true << Outcome::Succeeded;
    // A vanished input only warns: the archive lacks it and must not count.
    QTest::newRow("missing input, archive written") << recorded("missing.out") << recorded("missing.err") << 1 << true << Outcome::Failed;
    // An input that turns unreadable after the check: no archive, never a success.
    QTest::newRow("input unreadable during the run") << recorded("unreadable.out") << recorded("unreadable.err") << 2 << false << Outcome::AccessDenied;
    QTest::newRow("destination not writable") << recorded("denied.out") << recorded("denied.err") << 2 << false << Outcome::AccessDenied;
    QTest::newRow("windows wording") << QByteArray("Error:\r\ncannot open file\r\nAccess is denied.\r\n") << QByteArray() << 2 << false << Outcome::AccessDenied;
    QTest::newRow("marker in other case") << QByteArray("everything is ok\n") << QByteArray() << 0 << false << Outcome::Failed;
    QTest::newRow("marker inside a file name") << QByteArray("  5% + Everything is Ok.txt\n") << QByteArray() << 2 << false << Outcome::Failed;
    QTest::newRow("marker with windows line ends") << QByteArray("Archive size: 1\r\nEverything is Ok\r\n") << QByteArray() << 0 << false << Outcome::Succeeded;
    QTest::newRow("clean exit, archive, no marker") << QByteArray("done\n") << QByteArray() << 0 << true << Outcome::Succeeded;
    QTest::newRow("other output, nothing written") << QByteArray("Command Line Error\n") << QByteArray() << 7 << false << Outcome::Failed;
}

void TestArchiveJob::judgesRecordedOutput()
{
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(int, exitCode);
    QFETCH(bool, archiveExists);
    QFETCH(Outcome, expected);
    QCOMPARE(ArchiveJob::judge(out, err, exitCode, archiveExists), expected);
}

void TestArchiveJob::readsProgressInAnyPieces_data()
{
    QTest::addColumn<int>("pieceSize");
    QTest::newRow("one byte") << 1;
    QTest::newRow("seven bytes") << 7;
    QTest::newRow("a kilobyte") << 1024;
    QTest::newRow("all at once") << (1 << 20);
}

void TestArchiveJob::readsProgressInAnyPieces()
{
    QFETCH(int, pieceSize);
    const QByteArray output = recorded(QStringLiteral("progress.out"));
    ArchiveJob job;
    QSignalSpy spy(&job, &ArchiveJob::progressChanged);
    for (qsizetype at = 0; at < output.size(); at += pieceSize)
        job.consumeOutput(output.mid(at, pieceSize));

    QCOMPARE(job.percent(), 99);
    QList<int> seen;
    for (const QList<QVariant> &signal : spy)
        seen << signal.at(0).toInt();
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    if (pieceSize == 1)
        QCOMPARE(seen, (QList<int>{5, 11, 17, 23, 29, 35, 41, 47, 53, 60, 66, 72, 77, 82, 88, 94, 99}));
}

void TestArchiveJob::findsUnusablePaths()
{
    IsolatedEnvironment env;
    const QString present = TestSupport::writeFile(env.root() + "/present.txt", "x");
    const QString secret = TestSupport::writeFile(env.root() + "/secret.txt", "x");
    QFile::setPermissions(secret, QFileDevice::WriteOwner);
    const QString gone = env.root() + "/gone.txt";

    QStringList expected{gone};
#ifdef Q_OS_UNIX
    // Root reads anything; Windows has no permission bit that takes reading away.
    if (geteuid() != 0)
        expected << secret;
#endif
    QCOMPARE(ArchiveJob::unusablePaths({present, gone, secret}), expected);
}

void TestArchiveJob::runsFakeArchivers_data()
{
    // The destination is the archiver's sixth argument.
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("executable");
    QTest::addColumn<Outcome>("expected");
    QTest::addColumn<bool>("archiveLeft");

    QTest::newRow("marker") << QByteArray("echo 'Everything is Ok'\n") << true << Outcome::Succeeded << false;
    QTest::newRow("marker in other case") << QByteArray("echo 'everything is ok'\n") << true << Outcome::Failed << false;
    QTest::newRow("archive, clean exit") << QByteArray(": > \"$6\"\n") << true << Outcome::Succeeded << true;
    QTest::newRow("archive, warning exit") << QByteArray(": > \"$6\"\nexit 1\n") << true << Outcome::Failed << false;
    QTest::newRow("access is denied") << QByteArray("echo 'Access is denied.'\nexit 2\n") << true << Outcome::AccessDenied << false;
    QTest::newRow("permission denied on stderr") << QByteArray("echo 'errno=13 : Permission denied' >&2\nexit 2\n") << true << Outcome::AccessDenied << false;
    QTest::newRow("other output") << QByteArray("echo 'Something else'\nexit 2\n") << true << Outcome::Failed << false;
    QTest::newRow("crash after the marker") << QByteArray("echo 'Everything is Ok'\nkill -SEGV $$\n") << true << Outcome::Failed << false;
    QTest::newRow("cannot be started") << QByteArray("echo 'Everything is Ok'\n") << false << Outcome::Failed << false;
}

void TestArchiveJob::runsFakeArchivers()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, executable);
    QFETCH(Outcome, expected);
    QFETCH(bool, archiveLeft);

    IsolatedEnvironment env;
    const QString program = TestSupport::writeScript(env.root() + "/util/7z.exe", script);
    if (!executable)
        QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QString destination = env.root() + "/out.7z";
    const QString input = TestSupport::writeFile(env.root() + "/in.txt", "data");

    ArchiveJob job;
    QSignalSpy finished(&job, &ArchiveJob::finished);
    job.start(program, destination, {input});
    QVERIFY(finished.count() == 1 || finished.wait());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).value<Outcome>(), expected);
    QVERIFY(!job.isRunning());
    QCOMPARE(QFile::exists(destination), archiveLeft);
    // The run's process object goes once the run is over.
    QTRY_VERIFY(job.findChildren<QProcess *>().isEmpty());
    QCOMPARE(finished.count(), 1);
}

void TestArchiveJob::passesExactlyTheArguments()
{
    IsolatedEnvironment env;
    const QString record = env.root() + "/args.txt";
    const QString program = TestSupport::writeScript(
        env.root() + "/util/7z.exe",
        "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record.toUtf8() + "'; done\necho 'Everything is Ok'\n");
    const QStringList paths{env.root() + "/B file.txt", env.root() + "/a*.txt", env.root() + "/ünï.txt"};
    const QString destination = env.root() + "/dest folder/out.7z";

    ArchiveJob job;
    QSignalSpy finished(&job, &ArchiveJob::finished);
    job.start(program, destination, paths);
    QVERIFY(finished.wait());

    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList received = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(received, ArchiveJob::arguments(destination, paths));
}

void TestArchiveJob::reportsProgressWhileRunning()
{
    IsolatedEnvironment env;
    const QString program = TestSupport::writeScript(
        env.root() + "/util/7z.exe", "printf '  42%% + in.txt\\b\\b\\b\\b\\b\\b\\b\\b\\b\\b\\b\\b\\b\\b\\b'\necho\necho 'Everything is Ok'\n");
    ArchiveJob job;
    QSignalSpy progress(&job, &ArchiveJob::progressChanged);
    QSignalSpy finished(&job, &ArchiveJob::finished);
    job.start(program, env.root() + "/out.7z", {env.root() + "/in.txt"});
    QVERIFY(finished.wait());
    QCOMPARE(progress.count(), 1);
    QCOMPARE(progress.at(0).at(0).toInt(), 42);
}

void TestArchiveJob::cancelStopsAndRemovesThePartialArchive_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::newRow("stops when asked") << QByteArray(": > \"$6\"\nexec sleep 600\n");
    // Killed after the grace period.
    QTest::newRow("ignores the request") << QByteArray("trap '' TERM\n: > \"$6\"\nwhile :; do sleep 1; done\n");
}

void TestArchiveJob::cancelStopsAndRemovesThePartialArchive()
{
    QFETCH(QByteArray, script);
    IsolatedEnvironment env;
    const QString program = TestSupport::writeScript(env.root() + "/util/7z.exe", script);
    const QString destination = env.root() + "/out.7z";

    ArchiveJob job;
    QSignalSpy finished(&job, &ArchiveJob::finished);
    job.start(program, destination, {env.root() + "/in.txt"});
    QTRY_VERIFY(QFile::exists(destination));
    QVERIFY(job.isRunning());

    job.cancel();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::Cancelled);
    QVERIFY(!QFile::exists(destination));
    QTRY_VERIFY(job.findChildren<QProcess *>().isEmpty());
}

QTEST_GUILESS_MAIN(TestArchiveJob)
#include "tst_archivejob.moc"
