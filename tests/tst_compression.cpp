#include "ads/AdvWidget.h"
#include "app/CompressionRun.h"
#include "app/MainWidget.h"
#include "app/MessageBox.h"
#include "filelist/FileWidget.h"
#include "filelist/StagingFolder.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

using TestSupport::FakeArchiver;
using TestSupport::IsolatedEnvironment;

namespace {

const QString failedText = QStringLiteral("Compression failed!");
const QString existsText = QStringLiteral("File with this name already exists");
const QString successText = QStringLiteral("Compression finished successfully!");
const QString deniedText = QStringLiteral(
    "You are unable to save the file in the specified destination. To resolve this, kindly run the "
    "app as an administrator or choose an alternative destination.");
const QString unusableText = QStringLiteral("Some of the listed files no longer exist or cannot be read: ");

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The archiver's process id, once the stand-in has recorded all it records.
qint64 recordedPid(const QString &record)
{
    const QByteArray content = TestSupport::readFile(record);
    if (!content.endsWith('\n'))
        return 0;
    return content.trimmed().split('\n').last().toLongLong();
}

// Acts once condition holds, from the event loop that the run under test keeps going.
void once(QObject *context, std::function<bool()> condition, std::function<void()> action)
{
    auto *timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, condition, action] {
        if (!condition())
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start(10);
}

// A renamed copy as the program makes it: the tidy-up removes only those.
QString stagedCopy(const QString &name, const QByteArray &content)
{
    const QString copy = TestSupport::writeFile(StagingFolder::path() + QLatin1Char('/') + name, content);
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
    void stopsBeforeTheArchiver_data();
    void stopsBeforeTheArchiver();
    void outcomes_data();
    void outcomes();
    void destinationAppearingMidRunIsKept();
    void cancelEndsAtOnceAndLeavesNothing_data();
    void cancelEndsAtOnceAndLeavesNothing();
    void windowKeepsWorkingWhileChecking();
    void killedProgramLeavesNothing_data();
    void killedProgramLeavesNothing();
    void quittingMidRunLeavesNothing();

    void realArchiverWritesExactlyTheName();

private:
    void listFiles(const QStringList &paths);
    QString destination() const;

    std::unique_ptr<IsolatedEnvironment> env;
    std::unique_ptr<MainWidget> window;
    TestSupport::UrlCatcher urls;
    QString record;
};

void TestCompression::init()
{
    env = std::make_unique<IsolatedEnvironment>();
    window = std::make_unique<MainWidget>();
    window->setArchiverProgram(FakeArchiver::program());
    record = env->root() + "/archiver-ran.txt";
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
    env.reset();
}

void TestCompression::listFiles(const QStringList &paths)
{
    window->onDestinationPathInit(paths.first());
    emit window->addFiles(paths);
}

QString TestCompression::destination() const
{
    return window->findChild<QPushButton *>(QStringLiteral("Destination_path"))->text();
}

void TestCompression::defaultDestination_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    QTest::newRow("named after its folder") << "<root>data/Reports/q1.pdf" << "<root>data/Reports/Reports.7z";
    QTest::newRow("spaces and letters") << "<root>home/me/Ünïcode Trip/a b.jpg" << "<root>home/me/Ünïcode Trip/Ünïcode Trip.7z";
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
    const QString a = TestSupport::writeFile(env->root() + "/in/a.txt", "a");
    const QString b = TestSupport::writeFile(env->root() + "/in/b.txt", "b");
    listFiles({a, b});
    const QString chosen = env->root() + "/elsewhere/mine.7z";
    QDir().mkpath(env->root() + "/elsewhere");
    TestSupport::ModalAnswerer answerer;
    answerer.answerWith([chosen](QWidget *dialog) { TestSupport::chooseInFileDialog(dialog, chosen); },
                        [](QWidget *widget) { return qobject_cast<QFileDialog *>(widget) != nullptr; });
    window->onBrowseDestinationFolderClicked();
    QCOMPARE(destination(), chosen);

    auto *list = window->findChild<FileWidget *>();
    list->removeFile(a);
    QCOMPARE(destination(), chosen);

    // An emptied list forgets the choice.
    list->removeFile(b);
    QCoreApplication::processEvents();
    listFiles({a});
    QCOMPARE(destination(), env->root() + "/in/in.7z");
}

void TestCompression::stopsBeforeTheArchiver_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty list") << "empty" << "Please select at least one file to compress";
    QTest::newRow("destination exists") << "exists" << existsText;
    QTest::newRow("seven files gone") << "gone"
        << unusableText + "gone 1.txt, gone 2.txt, gone 3.txt, gone 4.txt, gone 5.txt, and 2 more";
#ifdef Q_OS_UNIX
    QTest::newRow("destination folder closed") << "closed" << deniedText;
#endif
}

void TestCompression::stopsBeforeTheArchiver()
{
    QFETCH(QString, situation);
    QFETCH(QString, message);
    FakeArchiver fake("write;record=" + record);
    const QString in = env->root() + "/in";
    QStringList paths{TestSupport::writeFile(in + "/kept.txt", "k")};
    for (int i = 1; situation == "gone" && i <= 7; ++i)
        paths << TestSupport::writeFile(in + QStringLiteral("/gone %1.txt").arg(i), "g");
    if (situation != "empty")
        listFiles(paths);
    for (const QString &path : paths.mid(1))
        QFile::remove(path);
    if (situation == "exists")
        TestSupport::writeFile(destination(), "old");
#ifdef Q_OS_UNIX
    if (situation == "closed" && geteuid() == 0)
        QSKIP("root can write into any folder");
#endif
    if (situation == "closed")
        QFile::setPermissions(in, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QStringList before = entriesOf(in);
    const int adBefore = AdvWidget::nextAdvIndex();
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QFile::setPermissions(in, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(MessageBox::answeredTexts(), QStringList{message});
    QVERIFY(!QFile::exists(record));
    QCOMPARE(AdvWidget::nextAdvIndex(), adBefore);
    QCOMPARE(entriesOf(in), before);
}

void TestCompression::outcomes_data()
{
    QTest::addColumn<QString>("orders");
    QTest::addColumn<QString>("message");
    QTest::newRow("cannot be started") << "missing" << failedText;
    QTest::newRow("marker, error exit, no archive") << "stdout=Everything is Ok\\n;exit=2" << failedText;
    QTest::newRow("archive, warning exit") << "write;exit=1" << failedText;
    // Blamed on the file, whatever words the system has for it.
    QTest::newRow("listed file gone mid-run") << "remove=<staging>/b.txt;exit=2" << unusableText + "b.txt";
    QTest::newRow("archive, clean exit") << "write" << successText;
}

void TestCompression::outcomes()
{
    QFETCH(QString, orders);
    QFETCH(QString, message);
    FakeArchiver fake(orders.replace("<staging>", StagingFolder::path()));
    if (orders == "missing")
        window->setArchiverProgram(env->root() + "/none");
    const QString in = env->root() + "/in";
    listFiles({TestSupport::writeFile(in + "/a.txt", "a"),
               stagedCopy("b.txt", "b")});
    const QString archive = destination();
    const int adBefore = AdvWidget::nextAdvIndex();
    MessageBox::setNextAnswer(QMessageBox::Yes);

    window->onCompressClicked();

    const bool success = message == successText;
    QCOMPARE(MessageBox::answeredTexts(), QStringList{success ? message + "\n7z file is saved in " + archive : message});
    QCOMPARE(AdvWidget::nextAdvIndex(), adBefore + 1);
    const QList<QUrl> opened = success ? QList<QUrl>{QUrl::fromLocalFile(in)} : QList<QUrl>();
    QCOMPARE(urls.opened, opened);
    // The destination holds a finished archive or nothing, and no temporary one is left.
    const QStringList left = success ? QStringList{"a.txt", "in.7z"} : QStringList{"a.txt"};
    QCOMPARE(entriesOf(in), left);
    QCOMPARE(window->findChild<FileWidget *>()->getFiles().isEmpty(), success);
    QCOMPARE(QFileInfo::exists(StagingFolder::path()), !success);
}

void TestCompression::destinationAppearingMidRunIsKept()
{
    const QString go = env->root() + "/go";
    FakeArchiver fake("write;record=" + record + ";wait_for=" + go);
    const QString in = env->root() + "/in";
    listFiles({TestSupport::writeFile(in + "/a.txt", "a")});
    const QString archive = destination();
    once(this, [&] { return QFile::exists(record); }, [&] {
        TestSupport::writeFile(archive, "the user's own");
        TestSupport::writeFile(go, "");
    });
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QCOMPARE(MessageBox::answeredTexts(), QStringList{existsText});
    QCOMPARE(TestSupport::readFile(archive), QByteArray("the user's own"));
    QCOMPARE(entriesOf(in), (QStringList{"a.txt", "in.7z"}));
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
    FakeArchiver fake("write;wait_ms=forever;ignore_term;record=" + record);
    const QString in = env->root() + "/in";
    listFiles({TestSupport::writeFile(in + "/a.txt", "a")});
    QElapsedTimer sinceCancel;
    once(this, [&] { return QFile::exists(record); }, [&] {
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
    listFiles({TestSupport::writeFile(env->root() + "/in/a.txt", "a")});
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QVERIFY(checkSawTimer);
    QCOMPARE(MessageBox::answeredTexts().value(0).section('\n', 0, 0), successText);
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
    FakeArchiver fake("write;wait_ms=forever;record=" + record);
    const QString in = env->root() + "/in";
    const QString file = TestSupport::writeFile(in + "/a.txt", "a");
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--compress-until-killed", file});
    QTRY_VERIFY_WITH_TIMEOUT(recordedPid(record) > 0, 20000);

#ifdef Q_OS_UNIX
    if (asked)
        ::kill(pid_t(child.processId()), SIGTERM);
#endif
    if (!asked)
        child.kill();
    QVERIFY(child.waitForFinished());

    QTRY_VERIFY(TestSupport::processEnded(recordedPid(record)));
    QVERIFY(!QFileInfo::exists(in + "/in.7z"));
    if (asked) {
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(entriesOf(in), QStringList{"a.txt"});
    }
}

void TestCompression::quittingMidRunLeavesNothing()
{
    // As the title bar's close button does it, from the program's event loop.
    FakeArchiver fake("write;wait_ms=forever;ignore_term;record=" + record);
    const QString in = env->root() + "/in";
    listFiles({TestSupport::writeFile(in + "/a.txt", "a")});
    once(this, [&] { return QFile::exists(record); }, &QCoreApplication::quit);
    QTimer::singleShot(0, window.get(), &MainWidget::onCompressClicked);
    QCoreApplication::exec();
    QCOMPARE(entriesOf(in), QStringList{"a.txt"});
    QCOMPARE(MessageBox::answeredTexts(), QStringList());
}

void TestCompression::realArchiverWritesExactlyTheName()
{
    const QString program = TestSupport::sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    window->setArchiverProgram(program);
    const QString out = env->root() + "/out";
    const QString precious = TestSupport::writeFile(env->root() + "/keep/precious.txt", "precious\n");
    // An archive of the extensionless name plus ".zip", which 7-Zip would add to.
    QVERIFY(TestSupport::runProgram(program, {"a", "-tzip", out + "/backup.zip", precious}));
    const QByteArray zipBefore = TestSupport::readFile(out + "/backup.zip");
    listFiles({TestSupport::writeFile(env->root() + "/in/a.txt", "a\n"),
               TestSupport::writeFile(env->root() + "/in/b c ü.txt", "b\n")});
    window->findChild<QPushButton *>(QStringLiteral("Destination_path"))->setText(out + "/backup");
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QCOMPARE(MessageBox::answeredTexts().value(0).section('\n', 0, 0), successText);
    QCOMPARE(TestSupport::readFile(out + "/backup.zip"), zipBefore);
    QCOMPARE(entriesOf(out), (QStringList{"backup", "backup.zip"}));
    QVERIFY(TestSupport::runProgram(program, {"x", "-y", "-o" + env->root() + "/extracted", out + "/backup"}));
    QCOMPARE(TestSupport::filesUnder(env->root() + "/extracted"),
             (QMap<QString, QByteArray>{{"a.txt", "a\n"}, {"b c ü.txt", "b\n"}}));
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
