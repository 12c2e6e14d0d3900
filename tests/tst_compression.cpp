#include "ads/AdvWidget.h"
#include "app/CompressionRun.h"
#include "app/MainWidget.h"
#include "app/NoReplaceMove.h"
#include "ui/MessageBox.h"
#include "filelist/FileWidget.h"
#include "filelist/StagingFolder.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

using namespace TestSupport;

namespace {

const QString failedText = QStringLiteral("Compression failed!");
const QString existsText = QStringLiteral("File with this name already exists");
const QString successText = QStringLiteral("Compression finished successfully!");
const QString unusableText = QStringLiteral("Some of the listed files no longer exist or cannot be read: ");

// The archiver's process id, once the stand-in has written it whole.
qint64 recordedPid(const QString &record)
{
    const QByteArray content = readFile(record);
    return content.endsWith('\n') ? content.trimmed().toLongLong() : 0;
}

// A renamed copy as the program makes it: the tidy-up removes only those.
QString stagedCopy(const QString &name, const QByteArray &content)
{
    const QString copy = writeFile(StagingFolder::path() + QLatin1Char('/') + name, content);
    StagingFolder::ofThisProgram().recordCopy(copy);
    return copy;
}

// In the child process: the program's road, until the parent kills it.
int compressUntilKilled(const QString &file)
{
    MainWidget window;
    window.setArchiverProgram(FakeArchiver::program());
    window.onDestinationPathInit(file);
    emit window.addFiles({file});
    window.onCompressClicked();
    return 0;
}

} // namespace

// The compression run as the main window drives it, with the stand-in
// archiver and with the real 7-Zip.
class TestCompression : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaultDestination_data();
    void defaultDestination();
    void chosenDestinationSurvivesARemoval();
    void tellsTheOutcome_data();
    void tellsTheOutcome();
    void cancelEndsAtOnceAndLeavesNothing_data();
    void cancelEndsAtOnceAndLeavesNothing();
    void windowKeepsWorkingWhileChecking();
    void archiveReachesADeepFolder();
    void longPathForm_data();
    void longPathForm();
    void killedProgramLeavesNothing_data();
    void killedProgramLeavesNothing();
    void quittingMidRunLeavesNothing();

    void realArchiverWritesExactlyTheName();

private:
    void listFiles(const QStringList &paths);
    QString destination() const;
    void whenArchiverRuns(std::function<void()> action);

    std::unique_ptr<IsolatedEnvironment> env;
    std::unique_ptr<FakeArchiver> recorder;
    std::unique_ptr<MainWidget> window;
    UrlCatcher urls;
    QString in;     // the user's files
    QString record; // written by the stand-in once it runs
    QString never;  // waited for by a stand-in that must run until stopped
};

void TestCompression::init()
{
    env = std::make_unique<IsolatedEnvironment>();
    in = env->root() + "/in";
    record = env->root() + "/archiver-ran.txt";
    never = "wait_for=" + env->root() + "/never";
    recorder = std::make_unique<FakeArchiver>("record=" + record);
    window = std::make_unique<MainWidget>();
    window->setArchiverProgram(FakeArchiver::program());
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &urls, "open");
    urls.opened.clear();
}

void TestCompression::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    CompressionRun::setCheckForTests({});
    MessageBox::clearAnswers();
    window.reset();
    StagingFolder::ofThisProgram().release();
    recorder.reset();
    env.reset();
}

void TestCompression::listFiles(const QStringList &paths)
{
    window->onDestinationPathInit(paths.first());
    emit window->addFiles(paths);
}

QString TestCompression::destination() const
{
    return QDir::fromNativeSeparators(window->findChild<QPushButton *>(QStringLiteral("Destination_path"))->text());
}

// Acts from the event loop that the run under test keeps going.
void TestCompression::whenArchiverRuns(std::function<void()> action)
{
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, timer, [this, timer, action] {
        if (!QFile::exists(record))
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start(10);
}

void TestCompression::defaultDestination_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    QTest::newRow("staging copy keeps it") << "<staging>/renamed.txt" << "C:/Users/username/Documents/compressed_files";
    // A root has no name: the file gives it.
    QTest::newRow("file at the root") << "<root>a.txt" << "<root>a.7z";
}

void TestCompression::defaultDestination()
{
    QFETCH(QString, file);
    QFETCH(QString, expected);
    for (QString *text : {&file, &expected}) {
        text->replace(QStringLiteral("<staging>"), StagingFolder::path());
        text->replace(QStringLiteral("<root>"), QDir::rootPath());
    }
    window->onDestinationPathInit(file);
    QCOMPARE(destination(), expected);
}

void TestCompression::chosenDestinationSurvivesARemoval()
{
    const QString a = writeFile(in + "/a.txt", "a");
    const QString b = writeFile(in + "/b.txt", "b");
    listFiles({a, b});
    const QString chosen = env->root() + "/elsewhere/mine.7z";
    MainWidget::setNextDestinationAnswer(chosen);
    window->onBrowseDestinationFolderClicked();
    QCOMPARE(destination(), chosen);

    auto *list = window->findChild<FileWidget *>();
    list->removeFile(a);
    QCOMPARE(destination(), chosen);

    // An emptied list forgets the choice.
    list->removeFile(b);
    QCoreApplication::processEvents();
    listFiles({a});
    QCOMPARE(destination(), in + "/in.7z");
}

void TestCompression::tellsTheOutcome_data()
{
    QTest::addColumn<QString>("before"); // what stops the run before the archiver starts
    QTest::addColumn<QString>("orders");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty list") << "empty" << "write" << "Please select at least one file to compress";
    QTest::newRow("destination exists") << "exists" << "write" << existsText;
    QTest::newRow("seven files gone") << "gone" << "write"
        << unusableText + "gone 1.txt, gone 2.txt, gone 3.txt, gone 4.txt, gone 5.txt, and 2 more";
    QTest::newRow("cannot be started") << "" << "missing" << failedText;
    QTest::newRow("crash after the marker") << "" << "write;crash" << failedText;
    // The file 7-Zip names as failed, under the verdict: the system's words
    // for why are in the user's language, the path is the path.
    QTest::newRow("7-Zip names the file it failed on")
        << "" << "write;exit=2;print=\r\nWARNING: Zugriff verweigert\r\n<named>\r\n" << failedText + "\n<named>";
    // Blamed on the file, whatever words the system has for it.
    QTest::newRow("listed file gone mid-run") << "" << "write;remove=<staging>/b.txt;exit=2" << unusableText + "b.txt";
    QTest::newRow("destination appears mid-run") << "" << "write;touch=<in>/in.7z" << existsText;
    QTest::newRow("archive, clean exit") << "" << "write" << successText;
}

void TestCompression::tellsTheOutcome()
{
    QFETCH(QString, before);
    QFETCH(QString, orders);
    QFETCH(QString, message);
    const QString named = QDir::toNativeSeparators(in + "/a.txt");
    message.replace("<named>", named);
    FakeArchiver fake(orders.replace("<staging>", StagingFolder::path()).replace("<in>", in).replace("<named>", named));
    if (orders == "missing")
        window->setArchiverProgram(env->root() + "/none");
    QStringList paths{writeFile(in + "/a.txt", "a"), stagedCopy("b.txt", "b")};
    for (int i = 1; before == "gone" && i <= 7; ++i)
        paths << writeFile(in + QStringLiteral("/gone %1.txt").arg(i), "g");
    if (before != "empty")
        listFiles(paths);
    for (const QString &path : paths.mid(2))
        QFile::remove(path);
    if (before == "exists")
        writeFile(destination(), "the user's own");
    const int adBefore = AdvWidget::nextAdvIndex();
    MessageBox::setNextAnswer(QMessageBox::Yes);

    window->onCompressClicked();

    const bool success = message == successText;
    QCOMPARE(MessageBox::answeredTexts(), QStringList{success ? message + "\n7z file is saved in " + QDir::toNativeSeparators(in + "/in.7z") : message});
    QCOMPARE(AdvWidget::nextAdvIndex(), adBefore + (before.isEmpty() ? 1 : 0));
    if (!before.isEmpty())
        QVERIFY(!QFile::exists(record));
    QCOMPARE(urls.opened, success ? QList<QUrl>{QUrl::fromLocalFile(in)} : QList<QUrl>());
    // The destination holds the finished archive, the user's own file or nothing; no temporary one is left.
    const QByteArray left = readFile(in + "/in.7z");
    QCOMPARE(entriesOf(in), left.isEmpty() ? QStringList{"a.txt"} : (QStringList{"a.txt", "in.7z"}));
    QCOMPARE(left.startsWith("PK"), success);
    QCOMPARE(left == "the user's own", message == existsText);
    QCOMPARE(window->findChild<FileWidget *>()->getFiles().isEmpty(), success || before == "empty");
    QCOMPARE(QFileInfo::exists(StagingFolder::path()), !success);
}

void TestCompression::cancelEndsAtOnceAndLeavesNothing_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("cancel button") << false;
    QTest::newRow("escape key") << true;
}

void TestCompression::cancelEndsAtOnceAndLeavesNothing()
{
    QFETCH(bool, byEscape);
    // As a console program on Windows: a polite request to stop goes unheard.
    FakeArchiver fake("write;ignore_term;" + never);
    listFiles({writeFile(in + "/a.txt", "a")});
    QElapsedTimer sinceCancel;
    whenArchiverRuns([&] {
        auto *dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        auto *button = dialog->findChild<QPushButton *>();
        sinceCancel.start();
        if (byEscape)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            button->click();
        // Until the archiver has ended, the dialog stays and says so.
        QVERIFY(dialog->isVisible());
        QVERIFY(button->isHidden());
        QCOMPARE(dialog->findChild<QLabel *>()->text(), QStringLiteral("Cancelling..."));
    });
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QVERIFY(sinceCancel.isValid());
    QCOMPARE_LT(sinceCancel.elapsed(), 1000);
    QCOMPARE(MessageBox::answeredTexts(), QStringList{"Compression cancelled."});
    QCOMPARE(entriesOf(in), QStringList{"a.txt"});
}

void TestCompression::windowKeepsWorkingWhileChecking()
{
    FakeArchiver fake("write");
    // The check returns only once the window's own timer has fired.
    std::atomic_bool timerFired = false;
    bool checkSawTimer = false;
    CompressionRun::setCheckForTests([&](const QStringList &) {
        for (int i = 0; i < 500 && !timerFired; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        checkSawTimer = timerFired;
        return QStringList();
    });
    QTimer::singleShot(0, window.get(), [&] { timerFired = true; });
    listFiles({writeFile(in + "/a.txt", "a")});
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QVERIFY(checkSawTimer);
    QCOMPARE(MessageBox::answeredTexts().value(0).section('\n', 0, 0), successText);
}

void TestCompression::archiveReachesADeepFolder()
{
    // Deeper than the 260 characters that Windows takes a path of without
    // its long form: 7-Zip writes there, and the finished archive is moved
    // to its name there.
    FakeArchiver fake("write");
    QString deep = env->root() + "/deep";
    while (deep.size() <= 300)
        deep += "/a folder named at some length";
    QVERIFY(QDir().mkpath(deep));
    const QString archive = deep + "/in.7z";
    listFiles({writeFile(in + "/a.txt", "a")});
    MainWidget::setNextDestinationAnswer(archive);
    window->onBrowseDestinationFolderClicked();
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QCOMPARE(MessageBox::answeredTexts(), QStringList{successText + "\n7z file is saved in " + QDir::toNativeSeparators(archive)});
    QVERIFY(readFile(archive).startsWith("PK"));
    QCOMPARE(entriesOf(deep), QStringList{"in.7z"});
}

void TestCompression::longPathForm_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
#ifdef Q_OS_WIN
    // Taken literally by the system: absolute, cleaned, backslashes.
    QTest::newRow("drive") << "C:/Users/anna/../anna/Trip/Trip.7z" << "\\\\?\\C:\\Users\\anna\\Trip\\Trip.7z";
    QTest::newRow("share") << "//server/share/Trip/Trip.7z" << "\\\\?\\UNC\\server\\share\\Trip\\Trip.7z";
    QTest::newRow("already long") << "\\\\?\\C:\\a\\b.7z" << "\\\\?\\C:\\a\\b.7z";
#else
    QTest::newRow("elsewhere as it is") << "/home/anna/../anna/Trip.7z" << "/home/anna/../anna/Trip.7z";
#endif
}

void TestCompression::longPathForm()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(::longPathForm(path), expected);
}

void TestCompression::killedProgramLeavesNothing_data()
{
    QTest::addColumn<bool>("asked");
    // Nothing can be tidied, but the archiver ends and the destination stays empty.
    QTest::newRow("killed outright") << false;
#ifdef Q_OS_UNIX
    // As at logout: the run is stopped and its temporary archive removed.
    QTest::newRow("SIGTERM") << true;
#endif
}

void TestCompression::killedProgramLeavesNothing()
{
    QFETCH(bool, asked);
    FakeArchiver fake("write;" + never);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--compress-until-killed", writeFile(in + "/a.txt", "a")});
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

void TestCompression::quittingMidRunLeavesNothing()
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

void TestCompression::realArchiverWritesExactlyTheName()
{
    const QString program = sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    window->setArchiverProgram(program);
    const QString out = env->root() + "/out";
    // An archive of the extensionless name plus ".zip", which 7-Zip would add to.
    QVERIFY(runProgram(program, {"a", "-tzip", out + "/backup.zip", writeFile(env->root() + "/precious.txt", "p")}));
    const QByteArray zipBefore = readFile(out + "/backup.zip");
    listFiles({writeFile(in + "/a.txt", "a\n"), writeFile(in + "/b c ü.txt", "b\n")});
    window->findChild<QPushButton *>(QStringLiteral("Destination_path"))->setText(out + "/backup");
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QCOMPARE(MessageBox::answeredTexts().value(0).section('\n', 0, 0), successText);
    QCOMPARE(readFile(out + "/backup.zip"), zipBefore);
    QCOMPARE(entriesOf(out), (QStringList{"backup", "backup.zip"}));
    QVERIFY(runProgram(program, {"x", "-y", "-o" + env->root() + "/extracted", out + "/backup"}));
    QCOMPARE(filesUnder(env->root() + "/extracted"), (QMap<QString, QByteArray>{{"a.txt", "a\n"}, {"b c ü.txt", "b\n"}}));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (app.arguments().value(1) == QStringLiteral("--compress-until-killed"))
        return compressUntilKilled(app.arguments().value(2));
    TestCompression test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_compression.moc"
