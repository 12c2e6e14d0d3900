#include "app/ArchiveJob.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using TestSupport::FakeArchiver;
using Outcome = ArchiveJob::Outcome;

namespace {

QByteArray recorded(const QString &name)
{
    QFile file(QFINDTESTDATA(QStringLiteral("data/archiver/") + name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing recorded output %s", qPrintable(name));
    return file.readAll();
}

} // namespace

// The archiver job on recorded 7-Zip output and with the stand-in archiver.
class TestArchiveJob : public QObject
{
    Q_OBJECT

private slots:
    void judgesOutput_data();
    void judgesOutput();
    void readsProgressInAnyPieces_data();
    void readsProgressInAnyPieces();
    void longListsGoInAListFile();
    void runs_data();
    void runs();
    void cancelEndsAtOnce_data();
    void cancelEndsAtOnce();
};

void TestArchiveJob::judgesOutput_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("archiveExists");
    QTest::addColumn<Outcome>("expected");

    QTest::newRow("success") << recorded("success.out") << 0 << true << Outcome::Succeeded;
    QTest::newRow("big file with progress") << recorded("progress.out") << 0 << true << Outcome::Succeeded;
    // A vanished input only warns: the archive lacks it and must not count.
    QTest::newRow("missing input, archive written") << recorded("missing.out") << 1 << true << Outcome::Failed;
    QTest::newRow("destination not writable") << recorded("denied.out") << 2 << false << Outcome::Failed;
    QTest::newRow("marker, error exit, no archive") << QByteArray("Everything is Ok\n") << 2 << false << Outcome::Failed;
    QTest::newRow("marker after erased progress") << QByteArray(" 99%\b\b\b\b    \b\b\b\bEverything is Ok\n") << 3 << true << Outcome::Succeeded;
    QTest::newRow("marker redrawn with CR, CRLF ends") << QByteArray(" 99%\rEverything is Ok\r\n") << 3 << true << Outcome::Succeeded;
    QTest::newRow("marker in other case") << QByteArray("everything is ok\n") << 2 << true << Outcome::Failed;
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

void TestArchiveJob::readsProgressInAnyPieces_data()
{
    QTest::addColumn<int>("pieceSize");
    QTest::newRow("one byte") << 1;
    QTest::newRow("seven bytes") << 7;
    QTest::newRow("a kilobyte") << 1024;
}

void TestArchiveJob::readsProgressInAnyPieces()
{
    QFETCH(int, pieceSize);
    const QByteArray output = recorded(QStringLiteral("progress.out"));
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

void TestArchiveJob::longListsGoInAListFile()
{
    // About 60 characters a path: a thousand of them would pass what Windows
    // takes on a command line.
    const QString folder = QStringLiteral("C:/Users/someone/Pictures/2024 holiday/");
    QStringList paths;
    for (int i = 0; i < 1000; ++i)
        paths << folder + QStringLiteral("IMG_%1.jpg").arg(i, 6, 10, QLatin1Char('0'));
    QVERIFY(ArchiveJob::needsListFile(folder + "out.7z", paths));
    QVERIFY(!ArchiveJob::needsListFile(folder + "out.7z", paths.mid(0, 20)));
}

void TestArchiveJob::runs_data()
{
    QTest::addColumn<QString>("orders");
    QTest::addColumn<Outcome>("expected");

    QTest::newRow("archive, clean exit") << "write" << Outcome::Succeeded;
    QTest::newRow("marker, no archive") << "stdout=Everything is Ok\\n" << Outcome::Failed;
    // Written, then a warning: the archive lacks a file.
    QTest::newRow("archive, warning exit") << "write;exit=1" << Outcome::Failed;
    QTest::newRow("cannot be started") << "missing" << Outcome::Failed;
}

void TestArchiveJob::runs()
{
    QFETCH(QString, orders);
    QFETCH(Outcome, expected);
    TestSupport::IsolatedEnvironment env;
    FakeArchiver fake(orders);
    const QString program = orders == "missing" ? env.root() + "/none" : FakeArchiver::program();
    const QString archive = env.root() + "/out.7z";

    ArchiveJob job;
    QSignalSpy finished(&job, &ArchiveJob::finished);
    job.start(program, archive, {TestSupport::writeFile(env.root() + "/in.txt", "data")});
    QVERIFY(finished.count() == 1 || finished.wait());
    QCOMPARE(finished.at(0).at(0).value<Outcome>(), expected);
    // Only a success leaves the archive; nothing else lies around.
    QCOMPARE(QFile::exists(archive), expected == Outcome::Succeeded);
    QCOMPARE(QDir(env.tempPath()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestArchiveJob::cancelEndsAtOnce_data()
{
    QTest::addColumn<QString>("orders");
    QTest::newRow("stops when asked") << "write;wait_ms=forever";
    // Windows' console programs ignore a polite request; so does this one.
    QTest::newRow("ignores a request to stop") << "write;wait_ms=forever;ignore_term";
}

void TestArchiveJob::cancelEndsAtOnce()
{
    QFETCH(QString, orders);
    TestSupport::IsolatedEnvironment env;
    const QString record = env.root() + "/ran.txt";
    FakeArchiver fake(orders + ";record=" + record);
    const QString archive = env.root() + "/out.7z";

    ArchiveJob job;
    QSignalSpy finished(&job, &ArchiveJob::finished);
    job.start(FakeArchiver::program(), archive, {env.root() + "/in.txt"});
    QTRY_VERIFY(QFile::exists(record));

    QElapsedTimer clock;
    clock.start();
    job.cancel();
    QVERIFY(finished.wait(5000));
    QCOMPARE_LT(clock.elapsed(), 1000);
    QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::Cancelled);
    QVERIFY(!QFile::exists(archive));
}

QTEST_GUILESS_MAIN(TestArchiveJob)
#include "tst_archivejob.moc"
