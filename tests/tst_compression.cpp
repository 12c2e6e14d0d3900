#include "ads/AdvWidget.h"
#include "app/CompressionRun.h"
#include "app/FileDialogs.h"
#include "app/MainWidget.h"
#include "filelist/BackgroundWork.h"
#include "filelist/FileList.h"
#include "filelist/FileWidget.h"
#include "filelist/StagingFolder.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"
#include "ui/ProgressDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/inotify.h>
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
    const QString source = writeFile(QDir::tempPath() + QStringLiteral("/sources/") + name, content);
    BackgroundWork work;
    return StagingFolder::ofThisProgram().copyUnderName(source, name, work).path;
}

void say(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// In a child process: the program as its user runs it, for the endings a
// test cannot go through in its own process. What it says goes to standard
// output, a line each.
int runAsChild(const QStringList &args)
{
    const QString mode = args.value(0);
    MainWidget window;
    window.setArchiverProgram(FakeArchiver::program());
    const QString file = args.last();
    window.onDestinationPathInit(file);
    emit window.addFiles(mode == QLatin1String("compress") ? args.mid(3) : QStringList{file});
    if (mode == QLatin1String("compress-until-killed")) {
        window.onCompressClicked();
        return 0;
    }
    if (mode == QLatin1String("compress-and-stay")) {
        QTimer::singleShot(0, &window, &MainWidget::onCompressClicked);
        return QCoreApplication::exec();
    }
    if (mode == QLatin1String("compress")) {
        window.setArchiverProgram(args.value(1));
        FileDialogs::setNextArchiveAnswer(args.value(2));
        window.onBrowseDestinationFolderClicked();
        MessageBox::setNextAnswer(QMessageBox::Ok);
        window.onCompressClicked();
        for (const QString &text : MessageBox::answeredTexts())
            say(text.section(QLatin1Char('\n'), 0, 0));
        return 0;
    }
    // "rename-then <how>": a renamed copy, then the program ends that way.
    auto *list = window.findChild<FileWidget *>()->fileList();
    list->rename(file, QStringLiteral("renamed.txt"));
    say(QStringLiteral("renamed ") + list->paths().value(0));
    window.show();
    if (args.value(1) == QLatin1String("cancel"))
        window.onCancelClicked();
    if (args.value(1) == QLatin1String("close"))
        QTimer::singleShot(0, &window, &QWidget::close);
    return QCoreApplication::exec();
}

#ifdef Q_OS_LINUX
// In a child process, as another user who may write in the destination's
// folder: whatever name goes there, or goes from there, gets a ZIP of its
// own at once, and any new folder gets one at the archive's name inside.
int plantArchives(const QString &folder, const QString &zip, const QString &archiveName)
{
    const QByteArray evil = readFile(zip);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 || ::inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_CREATE | IN_DELETE | IN_MOVED_FROM) < 0)
        return 1;
    say(QStringLiteral("watching"));
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(watch, buffer, sizeof(buffer));
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            const QString path = folder + QLatin1Char('/') + QFile::decodeName(event->name);
            QStringList targets;
            if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                targets << path;
            if ((event->mask & IN_CREATE) && (event->mask & IN_ISDIR))
                targets << path + QLatin1Char('/') + archiveName;
            for (const QString &target : targets) {
                const int fd = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_EXCL, 0666);
                if (fd >= 0) {
                    [[maybe_unused]] const ssize_t written = ::write(fd, evil.constData(), size_t(evil.size()));
                    ::close(fd);
                }
            }
        }
    }
}
#endif

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
    void cancelWhileCheckingEndsAtOnce();
    void archiveReachesADeepFolder();
    void killedProgramLeavesNothing_data();
    void killedProgramLeavesNothing();
    void quittingMidRunLeavesNothing();
    void dialogSaysWhatIsBeingPacked();
    void endingsRemoveOwnCopies_data();
    void endingsRemoveOwnCopies();
    void askedToEndAsTheArchiverEnds();
    void secondWriterCannotAddToTheArchive();

    void realArchiverWritesExactlyTheName();
    void realArchiverTakesALongDestinationName();

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
    return window->destinationPath();
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
    if (file.contains("<staging>"))
        stagedCopy(QStringLiteral("renamed.txt"), "r");
    for (QString *text : {&file, &expected}) {
        text->replace(QStringLiteral("<staging>"), StagingFolder::ofThisProgram().path());
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
    FileDialogs::setNextArchiveAnswer(chosen);
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
#ifdef Q_OS_UNIX
    // 7-Zip would read it for ever.
    QTest::newRow("link to /dev/zero in a listed folder") << "special" << "write" << unusableText + "Photos/zero";
#endif
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
    QStringList paths{writeFile(in + "/a.txt", "a"), stagedCopy("b.txt", "b")};
    FakeArchiver fake(orders.replace("<staging>", StagingFolder::ofThisProgram().path()).replace("<in>", in).replace("<named>", named));
    if (orders == "missing")
        window->setArchiverProgram(env->root() + "/none");
    for (int i = 1; before == "gone" && i <= 7; ++i)
        paths << writeFile(in + QStringLiteral("/gone %1.txt").arg(i), "g");
    if (before == "special") {
        const QString photos = env->root() + "/Photos";
        writeFile(photos + "/fine.jpg", "f");
        QVERIFY(QFile::link("/dev/zero", photos + "/zero"));
        paths << photos;
    }
    if (before != "empty")
        listFiles(paths);
    for (const QString &path : paths.mid(2)) {
        if (before == "gone")
            QFile::remove(path);
    }
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
    QCOMPARE(QFileInfo::exists(StagingFolder::ofThisProgram().path()), !success);
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

// The check of a large folder on a slow disk may take long; Cancel does
// not wait for it.
void TestCompression::cancelWhileCheckingEndsAtOnce()
{
    FakeArchiver fake("write");
    auto stuck = std::make_shared<QSemaphore>();
    CompressionRun::setCheckForTests([stuck](const QStringList &) {
        stuck->acquire();
        return QStringList();
    });
    listFiles({writeFile(in + "/a.txt", "a")});
    QElapsedTimer sinceCancel;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
        // A run that still waits for the check fails the test instead of hanging it.
        if (sinceCancel.isValid() && sinceCancel.elapsed() > 2000)
            stuck->release();
        auto *dialog = QApplication::activeModalWidget();
        if (!dialog || sinceCancel.isValid())
            return;
        sinceCancel.start();
        dialog->findChild<QPushButton *>()->click();
    });
    ticker.start(10);

    window->onCompressClicked();

    stuck->release(2);
    QVERIFY(sinceCancel.isValid());
    QCOMPARE_LT(sinceCancel.elapsed(), 1000);
    QCOMPARE(MessageBox::answeredTexts(), QStringList());
    QVERIFY(!QFile::exists(record));
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
    FileDialogs::setNextArchiveAnswer(archive);
    window->onBrowseDestinationFolderClicked();
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QCOMPARE(MessageBox::answeredTexts(), QStringList{successText + "\n7z file is saved in " + QDir::toNativeSeparators(archive)});
    QVERIFY(readFile(archive).startsWith("PK"));
    QCOMPARE(entriesOf(deep), QStringList{"in.7z"});
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

void TestCompression::dialogSaysWhatIsBeingPacked()
{
    const QString go = env->root() + "/go";
    FakeArchiver fake("write;progress=1;wait_for=" + go);
    const QString file = writeFile(in + "/report.pdf", "r");
    listFiles({file});
    bool programsOwn = false;
    QString text;
    bool named = false;
    whenArchiverRuns([&] {
        if (auto *dialog = qobject_cast<ProgressDialog *>(QApplication::activeModalWidget())) {
            programsOwn = (dialog->windowFlags() & Qt::FramelessWindowHint)
                          && !(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
            text = dialog->text();
            named = QTest::qWaitFor([&] { return dialog->detail() == file; });
        }
        // Released whatever was seen, so that a failure does not hang.
        writeFile(go, "go");
    });
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QVERIFY(programsOwn);
    QCOMPARE(text, QStringLiteral("Compressing..."));
    QVERIFY(named);
}

void TestCompression::endingsRemoveOwnCopies_data()
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
void TestCompression::endingsRemoveOwnCopies()
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
void TestCompression::askedToEndAsTheArchiverEnds()
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

// Another user who may write beside the destination plants archives at
// every name that appears or goes there, as fast as the system tells it: the
// archive still holds exactly the listed files.
void TestCompression::secondWriterCannotAddToTheArchive()
{
#ifdef Q_OS_LINUX
    if (::geteuid() != 0)
        QSKIP("acting as two users needs root");
    const QString program = sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    // Everyone may pass down to the test's folders, and write in the shared one.
    for (QString folder = env->root(); folder != QDir::tempPath() && folder.size() > 1; folder = QFileInfo(folder).path())
        QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ExeOther | QFile::ReadOther);
    const QString shared = env->root() + "/shared";
    QVERIFY(QDir().mkpath(shared));
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QString zip = env->root() + "/evil.zip";
    QVERIFY(runProgram(program, {"a", "-tzip", zip, writeFile(env->root() + "/evil/EVIL.exe", "evil")}));
    const QStringList files{writeFile(in + "/a.txt", "a"), writeFile(in + "/private.txt", "p")};
    const QString home = env->root() + "/home-of-nobody";
    QVERIFY(QDir().mkpath(home + "/tmp"));
    for (const QString &folder : {home, home + "/tmp"})
        QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);

    const auto as = [](int uid) {
        return QStringList{QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid), "--clear-groups",
                           QCoreApplication::applicationFilePath(), "--child"};
    };
    QProcess planter;
    planter.start("setpriv", as(65533) << "plant" << shared << zip << "mine.7z");
    QVERIFY(planter.waitForReadyRead(20000));
    QProcess user;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("TMPDIR", home + "/tmp");
    user.setProcessEnvironment(environment);
    user.start("setpriv", as(65534) << "compress" << program << shared + "/mine.7z" << files);
    QVERIFY(user.waitForFinished(120000));
    planter.kill();
    planter.waitForFinished();

    QCOMPARE(QString::fromUtf8(user.readAllStandardOutput()).trimmed(), successText);
    QByteArray listing;
    QVERIFY(runProgram(program, {"l", "-slt", shared + "/mine.7z"}, &listing));
    QStringList packed;
    for (const QByteArray &line : listing.split('\n')) {
        if (line.startsWith("Path = ") && !line.contains(shared.toUtf8()))
            packed << QString::fromUtf8(line.mid(7));
    }
    QCOMPARE(packed, (QStringList{"a.txt", "private.txt"}));
#else
    QSKIP("Linux's file system events stand in for the other user here");
#endif
}

// The archive is made under the destination's own name, which may be as
// long as the system takes.
void TestCompression::realArchiverTakesALongDestinationName()
{
    const QString program = sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    window->setArchiverProgram(program);
    const QString name = QString(246, 'n') + ".zip";
    listFiles({writeFile(in + "/a.txt", "a\n")});
    FileDialogs::setNextArchiveAnswer(env->root() + "/out/" + name);
    QDir().mkpath(env->root() + "/out");
    window->onBrowseDestinationFolderClicked();
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QCOMPARE(MessageBox::answeredTexts().value(0).section('\n', 0, 0), successText);
    QCOMPARE(entriesOf(env->root() + "/out"), QStringList{name});
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
    // A file given another name goes in as it is, its date included.
    const QString dated = writeFile(in + "/dated.txt", "d\n");
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(1500000000);
    {
        QFile file(dated);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    listFiles({writeFile(in + "/a.txt", "a\n"), writeFile(in + "/b c ü.txt", "b\n"), dated});
    window->findChild<FileWidget *>()->fileList()->rename(dated, "renamed.txt");
    FileDialogs::setNextArchiveAnswer(out + "/backup");
    window->onBrowseDestinationFolderClicked();
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QCOMPARE(MessageBox::answeredTexts().value(0).section('\n', 0, 0), successText);
    QCOMPARE(readFile(out + "/backup.zip"), zipBefore);
    QCOMPARE(entriesOf(out), (QStringList{"backup", "backup.zip"}));
    const QString extracted = env->root() + "/extracted";
    QVERIFY(runProgram(program, {"x", "-y", "-o" + extracted, out + "/backup"}));
    QCOMPARE(filesUnder(extracted),
             (QMap<QString, QByteArray>{{"a.txt", "a\n"}, {"b c ü.txt", "b\n"}, {"renamed.txt", "d\n"}}));
    QCOMPARE(QFileInfo(extracted + "/renamed.txt").lastModified(), modified);
    // The copy 7-Zip read goes after the success, and its folder with it.
    QVERIFY2(!QFileInfo::exists(StagingFolder::ofThisProgram().path()), qPrintable(entriesOf(StagingFolder::ofThisProgram().path()).join(", ")));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
#ifdef Q_OS_LINUX
    if (args.value(1) == QStringLiteral("--child") && args.value(2) == QStringLiteral("plant"))
        return plantArchives(args.value(3), args.value(4), args.value(5));
#endif
    if (args.value(1) == QStringLiteral("--child"))
        return runAsChild(args.mid(2));
    TestCompression test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_compression.moc"
