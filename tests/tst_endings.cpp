#include "app/MainWidget.h"
#include "support/RunFixture.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace TestSupport;

// Every way the program can end during a run or after a rename, in a child
// process of the test: nothing of a run and none of our copies is left.
class TestEndings : public QObject, private RunFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void killedProgramLeavesNothing_data();
    void killedProgramLeavesNothing();
    void quittingMidRunLeavesNothing();
    void endingsRemoveOwnCopies_data();
    void endingsRemoveOwnCopies();
    void askedToEndAsTheArchiverEnds();
    void stuckReadDoesNotKeepTheProgram_data();
    void stuckReadDoesNotKeepTheProgram();
};

void TestEndings::killedProgramLeavesNothing_data()
{
    QTest::addColumn<bool>("asked");
    // Nothing can be tidied, but the archiver ends and the destination stays empty.
    QTest::newRow("killed outright") << false;
#ifdef Q_OS_UNIX
    // As at logout: the run is stopped and its temporary archive removed.
    QTest::newRow("SIGTERM") << true;
#endif
}

void TestEndings::killedProgramLeavesNothing()
{
    QFETCH(bool, asked);
    FakeArchiver fake("write;" + never);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--child", "compress-until-killed", writeFile(in + "/a.txt", "a")});
    QTRY_VERIFY_WITH_TIMEOUT(recordedPid(record) > 0, 20000);

#ifdef Q_OS_UNIX
    if (asked)
        ::kill(pid_t(child.processId()), SIGTERM);
#endif
    if (!asked)
        child.kill();
    QVERIFY(child.waitForFinished());

    QTRY_VERIFY(processEnded(recordedPid(record)));
    QVERIFY(!QFileInfo::exists(in + "/in.7z"));
    if (asked) {
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(entriesOf(in), QStringList{"a.txt"});
    }
}

void TestEndings::quittingMidRunLeavesNothing()
{
    // As the title bar's close button does it, from the program's event loop.
    FakeArchiver fake("write;ignore_term;" + never);
    listFiles({writeFile(in + "/a.txt", "a")});
    whenArchiverRuns(&QCoreApplication::quit);
    QTimer::singleShot(0, window.get(), &MainWidget::onCompressClicked);
    QCoreApplication::exec();
    QCOMPARE(entriesOf(in), QStringList{"a.txt"});
    QCOMPARE(MessageBox::answeredTexts(), QStringList());
}

void TestEndings::endingsRemoveOwnCopies_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "cancel";
    QTest::newRow("window closed") << "close";
#ifdef Q_OS_UNIX
    QTest::newRow("SIGTERM, as at logout") << "signal";
#endif
}

// However the program ends that it has a say in, the copies it made of the
// user's files go with it.
void TestEndings::endingsRemoveOwnCopies()
{
    QFETCH(QString, how);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--child", "rename-then", how, writeFile(in + "/a.txt", "a")});
    QVERIFY(child.waitForReadyRead(20000));
    const QString copy = QString::fromUtf8(child.readLine()).trimmed().section(' ', 1);
    QVERIFY2(QFileInfo(copy).fileName() == "renamed.txt", qPrintable(copy));
#ifdef Q_OS_UNIX
    if (how == "signal")
        ::kill(pid_t(child.processId()), SIGTERM);
#endif
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(copy));
    QVERIFY(!QFileInfo::exists(QFileInfo(copy).path()));
    QCOMPARE(entriesOf(in), QStringList{"a.txt"});
}

// Asked to end just as the archiver ends, the program ends after the run
// is finished or undone, instead of keeping the request for the next run.
void TestEndings::askedToEndAsTheArchiverEnds()
{
#ifdef Q_OS_UNIX
    FakeArchiver fake("write;term_parent");
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--child", "compress-and-stay", writeFile(in + "/a.txt", "a")});
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    const QStringList left = entriesOf(in);
    QVERIFY2(left == QStringList{"a.txt"} || (left == QStringList{"a.txt", "in.7z"} && readFile(in + "/in.7z").startsWith("PK")),
             qPrintable(left.join(", ")));
#else
    QSKIP("Windows asks a program to end through its windows");
#endif
}

void TestEndings::stuckReadDoesNotKeepTheProgram_data()
{
    QTest::addColumn<QString>("work");
    QTest::newRow("a rename's copy") << "rename";
    QTest::newRow("the check before a run") << "check";
}

// Work abandoned in a read that never returns (a dead network share) does
// not keep the program once its window has gone.
void TestEndings::stuckReadDoesNotKeepTheProgram()
{
    QFETCH(QString, work);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--child", "stuck-then-close", work, writeFile(in + "/a.txt", "a")});
    QVERIFY(child.waitForReadyRead(20000));
    QElapsedTimer sinceClose;
    sinceClose.start();
    QVERIFY(child.waitForFinished(5000));
    QCOMPARE_LT(sinceClose.elapsed(), 1000);
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (isChild(app.arguments()))
        return runChild(app.arguments());
    TestEndings test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endings.moc"
