#include "ads/AdvWidget.h"
#include "app/ArchiveJob.h"
#include "app/MainWidget.h"
#include "filelist/StagingFolder.h"
#include "support/TestSupport.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using TestSupport::IsolatedEnvironment;
using TestSupport::ModalAnswerer;

namespace {

const QString failedText = QStringLiteral("Compression failed!");
const QString deniedText = QStringLiteral(
    "You are unable to save the file in the specified destination. To resolve this, kindly run the "
    "app as an administrator or choose an alternative destination.");

QPushButton *destinationButton(MainWidget &window)
{
    return window.findChild<QPushButton *>(QStringLiteral("Destination_path"));
}

bool destinationRowShown(MainWidget &window)
{
    return !destinationButton(window)->parentWidget()->isHidden();
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file under root, relative path to content.
QMap<QString, QByteArray> filesUnder(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), contentOf(path));
    }
    return files;
}

// Unpacks with the archiver itself; true when it says all went well.
bool extract(const QString &program, const QString &archive, const QString &into)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, {"x", "-y", "-o" + into, archive});
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
}

} // namespace

// The compression run as the main window drives it, with small fake
// archivers and with the real 7-Zip.
using TestSupport::UrlCatcher;

class TestCompression : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaultDestination_data();
    void defaultDestination();
    void browseForFilesSetsDestinationAndAddsFiles();
    void cancelledDialogsChangeNothing();
    void saveDialogSetsDestinationAsReturned();

    void emptyListOnlyAsks();
    void existingDestinationStopsBeforeTheArchiver();
    void vanishedFileStopsBeforeTheArchiver();
    void failures_data();
    void failures();
    void successOffersTheFolderAndTidiesUp();
    void failureAfterSuccessHasNoInformativeText();
    void cancelKeepsListAndCopies_data();
    void cancelKeepsListAndCopies();

    void realArchiverPacksExactlyTheListedFiles();
    void realArchiverThroughTheWindow();

private:
    QString fakeArchiver(const QByteArray &body);
    QString sevenZip();

    std::unique_ptr<IsolatedEnvironment> env;
    std::unique_ptr<MainWidget> window;
    std::unique_ptr<ModalAnswerer> answerer;
    UrlCatcher urls;
    QString ranMarker;
};

void TestCompression::init()
{
    env = std::make_unique<IsolatedEnvironment>();
    QVERIFY(env->isValid());
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    window = std::make_unique<MainWidget>();
    answerer = std::make_unique<ModalAnswerer>();
    ranMarker = env->root() + "/archiver-ran";
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &urls, "open");
    urls.opened.clear();
}

void TestCompression::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(answerer->pending(), 0);
    answerer.reset();
    window.reset();
    StagingFolder::ofThisProgram().release();
    env.reset();
}

QString TestCompression::fakeArchiver(const QByteArray &body)
{
    const QString program = TestSupport::writeScript(
        env->root() + "/util/7z.exe", ": > '" + ranMarker.toUtf8() + "'\n" + body);
    window->setArchiverProgram(program);
    return program;
}

QString TestCompression::sevenZip()
{
    return QStandardPaths::findExecutable(QStringLiteral("7zz"));
}

void TestCompression::defaultDestination_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    QTest::newRow("named after its folder") << "/data/Reports/q1.pdf" << "/data/Reports/Reports.7z";
    QTest::newRow("spaces and letters") << "/home/me/Ünïcode Trip/a b.jpg" << "/home/me/Ünïcode Trip/Ünïcode Trip.7z";
    QTest::newRow("staging copy keeps it") << "<staging>/renamed.txt" << "C:/Users/username/Documents/compressed_files";
}

void TestCompression::defaultDestination()
{
    QFETCH(QString, file);
    QFETCH(QString, expected);
    file.replace(QStringLiteral("<staging>"), StagingFolder::path());

    QVERIFY(!destinationRowShown(*window));
    window->onDestinationPathInit(file);
    QCOMPARE(destinationButton(*window)->text(), expected);
    QVERIFY(destinationRowShown(*window));
}

void TestCompression::browseForFilesSetsDestinationAndAddsFiles()
{
    const QString first = TestSupport::writeFile(env->root() + "/Reports/q1.pdf", "1");
    QSignalSpy added(window.get(), &MainWidget::addFiles);
    answerer->answerWith([first](QWidget *widget) {
        TestSupport::chooseInFileDialog(widget, first);
    }, [](QWidget *widget) { return qobject_cast<QFileDialog *>(widget) != nullptr; });

    window->findChild<QPushButton *>(QStringLiteral("Browse_for_files"))->click();

    QCOMPARE(answerer->seen().value(0).windowTitle, QStringLiteral("Select one or more files to open"));
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.at(0).at(0).toStringList(), QStringList{first});
    QCOMPARE(destinationButton(*window)->text(), env->root() + "/Reports/Reports.7z");
    QVERIFY(destinationRowShown(*window));
}

void TestCompression::cancelledDialogsChangeNothing()
{
    const auto reject = [](QWidget *widget) { qobject_cast<QFileDialog *>(widget)->reject(); };
    const auto isFileDialog = [](QWidget *widget) { return qobject_cast<QFileDialog *>(widget) != nullptr; };
    answerer->answerWith(reject, isFileDialog);
    answerer->answerWith(reject, isFileDialog);
    QSignalSpy added(window.get(), &MainWidget::addFiles);
    const QString before = destinationButton(*window)->text();

    window->onBrowseForFilesClicked();
    window->onBrowseDestinationFolderClicked();

    QCOMPARE(added.count(), 0);
    QCOMPARE(destinationButton(*window)->text(), before);
    QVERIFY(!destinationRowShown(*window));
}

void TestCompression::saveDialogSetsDestinationAsReturned()
{
    const QString chosen = env->root() + "/out/archive.7z";
    QDir().mkpath(env->root() + "/out");
    QStringList filters;
    answerer->answerWith([chosen, &filters](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        filters = dialog->nameFilters();
        TestSupport::chooseInFileDialog(dialog, chosen);
    }, [](QWidget *widget) { return qobject_cast<QFileDialog *>(widget) != nullptr; });

    destinationButton(*window)->click();

    QCOMPARE(answerer->seen().value(0).windowTitle, QStringLiteral("Save File"));
    QCOMPARE(filters, QStringList{QStringLiteral("7z files (*.7z)")});
    QCOMPARE(destinationButton(*window)->text(), chosen);
}

void TestCompression::emptyListOnlyAsks()
{
    fakeArchiver("echo 'Everything is Ok'\n");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/compressed_files";
    const int adBefore = AdvWidget::nextAdvIndex();
    answerer->answerMessageBox();

    window->onCompressClicked();

    QCOMPARE(answerer->seenTexts(), QStringList{"Please select at least one file to compress"});
    QVERIFY(!QFile::exists(ranMarker));
    QVERIFY(!QFileInfo(folder).exists());
    QCOMPARE(AdvWidget::nextAdvIndex(), adBefore);
}

// The tests from here on need the file list to hold what they add.

void TestCompression::existingDestinationStopsBeforeTheArchiver()
{
    fakeArchiver("echo 'Everything is Ok'\n");
    const QString file = TestSupport::writeFile(env->root() + "/in/a.txt", "a");
    window->onDestinationPathInit(file);
    emit window->addFiles({file});
    TestSupport::writeFile(destinationButton(*window)->text(), "old");
    answerer->answerMessageBox();

    window->onCompressClicked();

    QCOMPARE(answerer->seenTexts(), QStringList{"File with this name already exists"});
    QVERIFY(!QFile::exists(ranMarker));
    QVERIFY(QFileInfo(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/compressed_files").isDir());
    QCOMPARE(contentOf(destinationButton(*window)->text()), QByteArray("old"));
}

void TestCompression::vanishedFileStopsBeforeTheArchiver()
{
    fakeArchiver("echo 'Everything is Ok'\n");
    const QString kept = TestSupport::writeFile(env->root() + "/in/kept.txt", "k");
    const QString gone = TestSupport::writeFile(env->root() + "/in/gone.txt", "g");
    window->onDestinationPathInit(kept);
    emit window->addFiles({kept, gone});
    QFile::remove(gone);
    answerer->answerMessageBox();

    window->onCompressClicked();

    QCOMPARE(answerer->seenTexts(),
             QStringList{"Some of the listed files no longer exist or cannot be read: gone.txt"});
    QVERIFY(!QFile::exists(ranMarker));
}

void TestCompression::failures_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("cannot be started") << QByteArray() << failedText;
    QTest::newRow("marker in other case") << QByteArray("echo 'everything is ok'\n") << failedText;
    QTest::newRow("other output") << QByteArray("echo 'Something else'\nexit 2\n") << failedText;
    QTest::newRow("incomplete archive") << QByteArray(": > \"$6\"\nexit 1\n") << failedText;
    QTest::newRow("access is denied") << QByteArray("echo 'Access is denied.'\nexit 2\n") << deniedText;
    QTest::newRow("permission denied") << QByteArray("echo 'errno=13 : Permission denied' >&2\nexit 2\n") << deniedText;
}

void TestCompression::failures()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, message);
    const QString program = fakeArchiver(script);
    if (script.isEmpty())
        QFile::remove(program);
    const QString file = TestSupport::writeFile(env->root() + "/in/a.txt", "a");
    const QString copy = TestSupport::writeFile(StagingFolder::path() + "/b.txt", "a");
    window->onDestinationPathInit(file);
    emit window->addFiles({file, copy});
    const int adBefore = AdvWidget::nextAdvIndex();
    answerer->answerMessageBox();

    window->onCompressClicked();

    QCOMPARE(answerer->seenTexts(), QStringList{message});
    QCOMPARE(answerer->seen().value(0).buttonTexts.size(), 1);
    QCOMPARE(answerer->seen().value(0).informativeText, QString());
    QCOMPARE(AdvWidget::nextAdvIndex(), adBefore + 1);
    QVERIFY(!QFile::exists(destinationButton(*window)->text()));
    QCOMPARE(contentOf(copy), QByteArray("a"));
    QCOMPARE(window->findChildren<QProgressDialog *>().size(), 0);
}

void TestCompression::successOffersTheFolderAndTidiesUp()
{
    fakeArchiver("echo 'Everything is Ok'\n");
    const QString file = TestSupport::writeFile(env->root() + "/in/a.txt", "a");
    // A copy the program made: the tidy-up removes only those.
    StagingFolder::ofThisProgram().recordCopy(TestSupport::writeFile(StagingFolder::path() + "/b.txt", "a"));
    window->onDestinationPathInit(file);
    emit window->addFiles({file});
    const QString destination = destinationButton(*window)->text();
    const int adBefore = AdvWidget::nextAdvIndex();
    answerer->answerMessageBox(QMessageBox::Yes);

    window->onCompressClicked();

    QCOMPARE(answerer->seenTexts(), QStringList{"Compression finished successfully!"});
    const TestSupport::SeenBox box = answerer->seen().value(0);
    QCOMPARE(box.informativeText, "7z file is saved in " + destination);
    QVERIFY(box.buttonTexts.contains("Open"));
    QCOMPARE(box.buttonTexts.size(), 2);
    QCOMPARE(urls.opened, QList<QUrl>{QUrl::fromLocalFile(env->root() + "/in")});
    QCOMPARE(AdvWidget::nextAdvIndex(), adBefore + 1);
    QVERIFY(!QFileInfo::exists(StagingFolder::path()));
    QCOMPARE(contentOf(file), QByteArray("a"));
}

void TestCompression::failureAfterSuccessHasNoInformativeText()
{
    fakeArchiver("echo 'Everything is Ok'\n");
    const QString file = TestSupport::writeFile(env->root() + "/in/a.txt", "a");
    window->onDestinationPathInit(file);
    emit window->addFiles({file});
    answerer->answerMessageBox(QMessageBox::Ok);
    window->onCompressClicked();
    QVERIFY(urls.opened.isEmpty());

    fakeArchiver("exit 2\n");
    window->onDestinationPathInit(file);
    emit window->addFiles({file});
    answerer->answerMessageBox();
    window->onCompressClicked();

    QCOMPARE(answerer->seenTexts(), (QStringList{"Compression finished successfully!", failedText}));
    QCOMPARE(answerer->seen().value(1).informativeText, QString());
    QCOMPARE(answerer->seen().value(1).buttonTexts.size(), 1);
}

void TestCompression::cancelKeepsListAndCopies_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("cancel button") << false;
    QTest::newRow("escape key") << true;
}

void TestCompression::cancelKeepsListAndCopies()
{
    QFETCH(bool, byEscape);
    fakeArchiver(": > \"$6\"\nexec sleep 600\n");
    const QString file = TestSupport::writeFile(env->root() + "/in/a.txt", "a");
    const QString copy = TestSupport::writeFile(StagingFolder::path() + "/b.txt", "b");
    window->onDestinationPathInit(file);
    emit window->addFiles({file, copy});
    const QString destination = destinationButton(*window)->text();
    const int adBefore = AdvWidget::nextAdvIndex();
    answerer->answerWith([destination, byEscape](QWidget *widget) {
        QTRY_VERIFY(QFile::exists(destination));
        // As the user does it: the dialog's own cancel() would not tell anyone.
        if (byEscape)
            QTest::keyClick(widget, Qt::Key_Escape);
        else
            widget->findChild<QPushButton *>()->click();
    }, [](QWidget *widget) { return qobject_cast<QProgressDialog *>(widget) != nullptr; });
    answerer->answerMessageBox();

    window->onCompressClicked();

    QCOMPARE(answerer->seen().value(1).text, QStringLiteral("Compression cancelled."));
    QVERIFY(!QFile::exists(destination));
    QCOMPARE(contentOf(copy), QByteArray("b"));
    QCOMPARE(AdvWidget::nextAdvIndex(), adBefore + 1);
}

void TestCompression::realArchiverPacksExactlyTheListedFiles()
{
    const QString program = sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");

    const QString in = env->root() + "/in";
    QMap<QString, QByteArray> listed{
        {"a file with spaces.txt", "spaces\n"},
        {"Ünïcödé ñame.txt", QByteArray(70000, 'u')},
        {"x*.txt", "star\n"},
        {"a.txt", "top\n"},
    };
    QStringList paths;
    for (auto it = listed.cbegin(); it != listed.cend(); ++it)
        paths << TestSupport::writeFile(in + "/" + it.key(), it.value());
    // Look-alikes that must stay out: a same-named file in a subfolder and a
    // name that the starred one would match as a pattern.
    TestSupport::writeFile(in + "/sub/a.txt", "deeper\n");
    TestSupport::writeFile(in + "/xy.txt", "pattern\n");
    // A renamed file goes in as its staging copy.
    const QString original = TestSupport::writeFile(in + "/original.txt", "renamed content\n");
    QVERIFY(QDir().mkpath(StagingFolder::path()));
    QVERIFY(QFile::copy(original, StagingFolder::path() + "/new name.txt"));
    paths << StagingFolder::path() + "/new name.txt";
    listed.insert("new name.txt", "renamed content\n");
    paths.sort();
    const QMap<QString, QByteArray> before = filesUnder(in);

    const QString destination = env->root() + "/out/in.7z";
    QDir().mkpath(env->root() + "/out");
    ArchiveJob job;
    QSignalSpy finished(&job, &ArchiveJob::finished);
    job.start(program, destination, paths);
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.at(0).at(0).value<ArchiveJob::Outcome>(), ArchiveJob::Outcome::Succeeded);

    QVERIFY(contentOf(destination).startsWith("PK\x03\x04"));
    const QString extracted = env->root() + "/extracted";
    QVERIFY(extract(program, destination, extracted));
    QCOMPARE(filesUnder(extracted), listed);
    QCOMPARE(filesUnder(in), before);
}

void TestCompression::realArchiverThroughTheWindow()
{
    const QString program = sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    window->setArchiverProgram(program);
    const QString file = TestSupport::writeFile(env->root() + "/Trip ä/photo 1.txt", "photo\n");
    const QString copy = TestSupport::writeFile(StagingFolder::path() + "/renamed.txt", "copy\n");
    StagingFolder::ofThisProgram().recordCopy(copy);
    window->onDestinationPathInit(file);
    emit window->addFiles({file, copy});
    const QString destination = destinationButton(*window)->text();
    QCOMPARE(destination, env->root() + "/Trip ä/Trip ä.7z");
    answerer->answerMessageBox();

    window->onCompressClicked();

    QCOMPARE(answerer->seenTexts(), QStringList{"Compression finished successfully!"});
    QVERIFY(contentOf(destination).startsWith("PK\x03\x04"));
    const QString extracted = env->root() + "/extracted";
    QVERIFY(extract(program, destination, extracted));
    QCOMPARE(filesUnder(extracted), (QMap<QString, QByteArray>{{"photo 1.txt", "photo\n"}, {"renamed.txt", "copy\n"}}));
    QCOMPARE(contentOf(file), QByteArray("photo\n"));
    QVERIFY(!QFileInfo::exists(StagingFolder::path()));
}

QTEST_MAIN(TestCompression)
#include "tst_compression.moc"
