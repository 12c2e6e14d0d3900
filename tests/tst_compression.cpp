#include "ads/AdvWidget.h"
#include "app/CompressionRun.h"
#include "app/FileDialogs.h"
#include "app/MainWidget.h"
#include "filelist/FileList.h"
#include "filelist/FileWidget.h"
#include "filelist/StagingFolder.h"
#include "support/RunFixture.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"
#include "ui/ProgressDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace TestSupport;

namespace {

const QString failedText = QStringLiteral("Compression failed!");
const QString existsText = QStringLiteral("File with this name already exists");
const QString successText = QStringLiteral("Compression finished successfully!");
const QString unusableText = QStringLiteral("Some of the listed files no longer exist or cannot be read: ");
const QString deniedText = QStringLiteral("You are unable to save the file in the specified destination.");

// The message's first line as it stands; of each line after it in
// expected, that the message holds it (a file or folder it names), not how
// it words it.
void checkSays(const QString &text, const QString &expected)
{
    const QStringList lines = expected.split('\n');
    QCOMPARE(text.section('\n', 0, 0), lines.first());
    for (const QString &line : lines.mid(1))
        QVERIFY2(text.contains(line), qPrintable(text));
}

} // namespace

// The compression run as the main window drives it, with the stand-in
// archiver and with the real 7-Zip.
class TestCompression : public QObject, private RunFixture
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
    void dialogSaysWhatIsBeingPacked();
    void replaceAfterYes_data();
    void replaceAfterYes();
    void saveDialogOpensAtTheDestination();
    void unwritableTemporaryFolderIsNamed();
    void plainlyTooLittleRoomIsToldBeforeTheRun();

    void realArchiverWritesExactlyTheName();
    void realArchiverTakesALongDestinationName();
    void realArchiverLeavesTheProgramsFolderOut();

private:
    QString destination() const;
};

void TestCompression::init()
{
    setUp();
}

void TestCompression::cleanup()
{
    tearDown();
}

QString TestCompression::destination() const
{
    return window->destinationPath();
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
    QTest::newRow("destination exists") << "exists" << "write" << existsText + "\n<dest>";
    QTest::newRow("destination's folder gone") << "folder gone" << "write" << deniedText + "\n<gone>";
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
    QTest::newRow("destination appears mid-run") << "" << "write;touch=<in>/in.7z" << existsText + "\n<dest>";
#ifdef Q_OS_UNIX
    // As 7-Zip says it on Linux, in the system's words.
    QTest::newRow("destination's disk full") << "" << "write;exit=2;print=\r\nSystem ERROR:\r\nerrno=28 : No space left on device\r\n"
                                             << failedText + "\n<in>";
#endif
    QTest::newRow("archive, clean exit") << "" << "write" << successText;
}

void TestCompression::tellsTheOutcome()
{
    QFETCH(QString, before);
    QFETCH(QString, orders);
    QFETCH(QString, message);
    const QString named = QDir::toNativeSeparators(in + "/a.txt");
    const QString gone = env->root() + "/gone";
    message.replace("<named>", named).replace("<dest>", QDir::toNativeSeparators(in + "/in.7z"));
    message.replace("<in>", QDir::toNativeSeparators(in)).replace("<gone>", QDir::toNativeSeparators(gone));
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
    if (before == "folder gone") {
        QVERIFY(QDir().mkpath(gone));
        FileDialogs::setNextArchiveAnswer(gone + "/out.7z");
        window->onBrowseDestinationFolderClicked();
        QVERIFY(QDir().rmdir(gone));
    }
    const int adBefore = AdvWidget::nextAdvIndex();
    MessageBox::setNextAnswer(QMessageBox::Yes);

    window->onCompressClicked();

    const bool success = message == successText;
    QCOMPARE(MessageBox::answeredTexts().size(), 1);
    checkSays(MessageBox::answeredTexts().value(0), success ? message + "\n7z file is saved in " + QDir::toNativeSeparators(in + "/in.7z") : message);
    QCOMPARE(AdvWidget::nextAdvIndex(), adBefore + (before.isEmpty() ? 1 : 0));
    if (!before.isEmpty())
        QVERIFY(!QFile::exists(record));
    QCOMPARE(urls.opened, success ? QList<QUrl>{QUrl::fromLocalFile(in)} : QList<QUrl>());
    // The destination holds the finished archive, the user's own file or nothing; no temporary one is left.
    const QByteArray left = readFile(in + "/in.7z");
    QCOMPARE(entriesOf(in), left.isEmpty() ? QStringList{"a.txt"} : (QStringList{"a.txt", "in.7z"}));
    QCOMPARE(left.startsWith("PK"), success);
    QCOMPARE(left == "the user's own", message.startsWith(existsText));
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
    QSemaphore timerFired;
    bool checkSawTimer = false;
    CompressionRun::setCheckForTests([&](const QStringList &) {
        checkSawTimer = timerFired.tryAcquire(1, 5000);
        return QStringList();
    });
    QTimer::singleShot(0, window.get(), [&] { timerFired.release(); });
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

void TestCompression::replaceAfterYes_data()
{
    QTest::addColumn<QString>("orders");
    QTest::addColumn<QString>("message");
    QTest::newRow("the run succeeds") << "write" << successText;
    QTest::newRow("the run fails") << "write;exit=2" << failedText;
}

// The save dialog asked whether to replace the file, and the user said Yes:
// the new archive takes its place, but only once it is whole.
void TestCompression::replaceAfterYes()
{
    QFETCH(QString, orders);
    QFETCH(QString, message);
    FakeArchiver fake(orders);
    listFiles({writeFile(in + "/a.txt", "a")});
    const QString old = writeFile(env->root() + "/out/Trip.7z", "the old archive");
    FileDialogs::setNextArchiveAnswer(old);
    window->onBrowseDestinationFolderClicked();
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QCOMPARE(MessageBox::answeredTexts().value(0).section('\n', 0, 0), message);
    QCOMPARE(readFile(old).startsWith("PK"), message == successText);
    if (message != successText)
        QCOMPARE(readFile(old), QByteArray("the old archive"));
    QCOMPARE(entriesOf(env->root() + "/out"), QStringList{"Trip.7z"});
}

// As a Save As dialog does: in the destination's folder, under its name.
void TestCompression::saveDialogOpensAtTheDestination()
{
    listFiles({writeFile(in + "/a.txt", "a")});
    QString folder;
    QStringList chosen;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            folder = dialog->directory().absolutePath();
            chosen = dialog->selectedFiles();
            dialog->reject();
        }
    });
    ticker.start(10);

    window->onBrowseDestinationFolderClicked();

    QCOMPARE(folder, in);
    QCOMPARE(chosen, QStringList{in + "/in.7z"});
    QCOMPARE(destination(), in + "/in.7z");
}

// The list of names for 7-Zip goes to the temporary folder when the names
// are many (3,000 files) or long; a folder that cannot be written is named.
void TestCompression::unwritableTemporaryFolderIsNamed()
{
#ifdef Q_OS_LINUX
    FakeArchiver fake("write");
    QStringList files;
    for (int i = 0; i < 80; ++i)
        files << writeFile(in + '/' + QString(200, 'n') + QString::number(i), "n");
    listFiles(files);
    // Nobody, root included, makes a file there.
    const QByteArray temporary = qgetenv("TMPDIR");
    const auto restore = qScopeGuard([&] { qputenv("TMPDIR", temporary); });
    qputenv("TMPDIR", "/proc");
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    checkSays(MessageBox::answeredTexts().value(0), failedText + "\n/proc");
    QVERIFY(!QFile::exists(record));
#else
    QSKIP("a folder nobody may write in, root included, is the kernel's own");
#endif
}

// A disk with less room than any archive of the listed files could take
// is named before anything starts.
void TestCompression::plainlyTooLittleRoomIsToldBeforeTheRun()
{
#ifdef Q_OS_LINUX
    const QString small = env->root() + "/small";
    QVERIFY(QDir().mkpath(small));
    if (::geteuid() != 0 || !runProgram("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}))
        QSKIP("a small disk of its own needs root (mount)");
    const auto unmount = qScopeGuard([&] { runProgram("umount", {small}); });
    FakeArchiver fake("write");
    listFiles({makeSparseFile(in + "/big.bin", 100 << 20)});
    FileDialogs::setNextArchiveAnswer(small + "/big.7z");
    window->onBrowseDestinationFolderClicked();
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    checkSays(MessageBox::answeredTexts().value(0), "There is not enough space on the disk for the archive.\n" + small);
    QVERIFY(!QFile::exists(record));
#else
    QSKIP("a small disk of its own is a tmpfs here");
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

// With the destination inside a listed folder, the program's own folder
// for the archive lies in what 7-Zip packs: it is left out.
void TestCompression::realArchiverLeavesTheProgramsFolderOut()
{
    const QString program = sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    window->setArchiverProgram(program);
    const QString trip = env->root() + "/Trip";
    writeFile(trip + "/a.txt", "a\n");
    listFiles({trip});
    FileDialogs::setNextArchiveAnswer(trip + "/Trip.7z");
    window->onBrowseDestinationFolderClicked();
    MessageBox::setNextAnswer(QMessageBox::Ok);

    window->onCompressClicked();

    QCOMPARE(MessageBox::answeredTexts().value(0).section('\n', 0, 0), successText);
    QByteArray listing;
    QVERIFY(runProgram(program, {"l", "-slt", trip + "/Trip.7z"}, &listing));
    QStringList packed;
    for (const QByteArray &line : listing.split('\n')) {
        if (line.startsWith("Path = ") && !line.contains("Trip.7z"))
            packed << QDir::fromNativeSeparators(QString::fromUtf8(line.mid(7)).trimmed());
    }
    QCOMPARE(packed, (QStringList{"Trip", "Trip/a.txt"}));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (isChild(app.arguments()))
        return runChild(app.arguments());
    TestCompression test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_compression.moc"
