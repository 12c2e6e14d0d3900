#include "app/ArchiveJob.h"
#include "app/ArchiverCommand.h"
#include "disk/FileNames.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

using Outcome = ArchiveJob::Outcome;
using namespace TestSupport;

// The archiver job with the real 7-Zip.
class TestArchiveJob : public QObject
{
    Q_OBJECT

private slots:
    void realArchiverTakesThousandsOfNames_data();
    void realArchiverTakesThousandsOfNames();
};

void TestArchiveJob::realArchiverTakesThousandsOfNames_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("3,000 names") << 3000;
    // Under Wine, writing and packing this many files takes minutes.
    if (FileNames::thisSystem() != FileNames::System::Windows)
        QTest::newRow("20,000 names") << 20000;
}

// Every listed name is packed exactly, whatever the count: then they go
// through a list file, which the archiver reads with its own rules.
void TestArchiveJob::realArchiverTakesThousandsOfNames()
{
    QFETCH(int, count);
    const QString program = sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    IsolatedEnvironment env;
    const QString in = env.root() + "/in";
    const QStringList patterns{"-dash %1.txt", "@at %1.txt", "späce ü %1.txt", "名前 %1.txt"};
    QMap<QString, QByteArray> listed;
    for (int i = 0; i < count; ++i)
        listed.insert(patterns.at(i % patterns.size()).arg(i), QByteArray::number(i));
#ifdef Q_OS_UNIX
    // Taken literally, not as a pattern that would match "xy.txt" too.
    listed.insert("x*.txt", "star");
    writeFile(in + "/xy.txt", "pattern");
    // Names a list file would lose (trimmed, unquoted, split), one of them
    // beside the file its trimmed name would be, which is not listed.
    listed.insert("report.txt ", "trailing space");
    writeFile(in + "/report.txt", "not listed");
    listed.insert(" leading.txt", "leading space");
    listed.insert("\"quoted\"", "quotes at both ends");
    listed.insert("\ttab.txt\t", "tabs");
    listed.insert("line\nbreak.txt", "line break");
    listed.insert("carriage\rreturn.txt", "carriage return");
#endif
    // A same-named file in a subfolder stays out.
    writeFile(in + "/sub/-dash 0.txt", "deeper");
    QStringList paths;
    for (auto it = listed.cbegin(); it != listed.cend(); ++it)
        paths << writeFile(in + "/" + it.key(), it.value());
    const QString archive = env.root() + "/out.7z";
    QVERIFY(ArchiverCommand::needsListFile(archive, paths));

    ArchiveJob job;
    QSignalSpy finished(&job, &ArchiveJob::finished);
    job.start(program, archive, paths);
    QVERIFY(finished.wait(300000));
    QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::Succeeded);
    // The list file went with the run.
    QCOMPARE(QDir(env.tempPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    QVERIFY(runProgram(program, {"x", "-y", "-o" + env.root() + "/extracted", archive}));
    QCOMPARE(filesUnder(env.root() + "/extracted"), listed);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The program's own run of the archiver, its job and its arguments, for
    // the tests under Wine and for recording what 7-Zip prints: packs the
    // paths into the archive with the shipped 7-Zip, writes what the
    // archiver printed to standard output as it came, and ends with 0 only
    // when the run succeeded.
    if (app.arguments().value(1) == QStringLiteral("--pack")) {
        ArchiveJob job;
        Outcome outcome = Outcome::Failed;
        QEventLoop loop;
        QObject::connect(&job, &ArchiveJob::finished, &loop, [&](Outcome result) {
            outcome = result;
            loop.quit();
        });
        job.start(sevenZip(), app.arguments().value(2), app.arguments().mid(3));
        if (job.isRunning())
            loop.exec();
#ifdef Q_OS_WIN
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        std::fwrite(job.output().constData(), 1, size_t(job.output().size()), stdout);
        return outcome == Outcome::Succeeded ? 0 : 1;
    }
    TestArchiveJob test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_archivejob.moc"
