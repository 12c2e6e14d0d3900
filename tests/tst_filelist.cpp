#include "app/ArchiveJob.h"
#include "app/MainWidget.h"
#include "app/MessageBox.h"
#include "filelist/FileWidget.h"
#include "filelist/SingleFileWidget.h"
#include "filelist/StagingFolder.h"
#include "support/TestSupport.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <memory>

using namespace TestSupport;
using System = FileNames::System;

namespace {

const QString existsText = QStringLiteral("The file with the name you provided exists");
const QString renameExistsText = existsText + QStringLiteral(", Please choose another name");
const QString invalidText = QStringLiteral("The file name you provided is not valid, Please choose another name");
const QString copyFailedText = QStringLiteral("The file could not be copied under the new name");

QList<SingleFileWidget *> listedRows(FileWidget &list)
{
    auto *grid = list.findChild<QGridLayout *>();
    QList<SingleFileWidget *> rows;
    for (int i = 0; i < grid->count(); ++i)
        rows << qobject_cast<SingleFileWidget *>(grid->itemAt(i)->widget());
    return rows;
}

SingleFileWidget *rowNamed(FileWidget &list, const QString &name)
{
    for (SingleFileWidget *row : listedRows(list)) {
        if (row->getName() == name)
            return row;
    }
    return nullptr;
}

void rename(FileWidget &list, const QString &from, const QString &answer)
{
    FileWidget::setNextRenameAnswer(answer);
    rowNamed(list, from)->findChild<QPushButton *>()->click();
}

QPoint cellOf(FileWidget &list, SingleFileWidget *row)
{
    auto *grid = list.findChild<QGridLayout *>();
    int r = -1, c = -1, rs = 0, cs = 0;
    grid->getItemPosition(grid->indexOf(row), &r, &c, &rs, &cs);
    return QPoint(c, r);
}

QString sizeTextOf(SingleFileWidget *row)
{
    return row->findChild<QLabel *>(QStringLiteral("fileSizeLabel"))->text();
}

QPixmap pictureOf(SingleFileWidget *row)
{
    for (QLabel *label : row->findChildren<QLabel *>()) {
        if (!label->pixmap().isNull())
            return label->pixmap();
    }
    return QPixmap();
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden, QDir::Name);
}

// The bytes 7-Zip reports for the files of an archive, or -1.
qint64 archivedBytes(const QString &archive)
{
    QProcess lister;
    lister.start(QStringLiteral("7zz"), {QStringLiteral("l"), archive});
    if (!lister.waitForFinished(60000) || lister.exitCode() != 0)
        return -1;
    static const QRegularExpression summary(QStringLiteral("^\\S+ \\S+\\s+(\\d+)\\s+\\d+\\s+\\d+ files"),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = summary.match(QString::fromUtf8(lister.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

} // namespace

class TestFileList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rowSizeText_data();
    void rowSizeText();
    void sizeLimit_data();
    void sizeLimit();
    void limitIsJudgedPerFile();
    void totalIsSummedInKeyOrder();
    void typePicture_data();
    void typePicture();
    void longNamesAreShortened();
    void duplicateNames();
    void gridCells();
    void shownRowsDoNotOverlap();
    void removalRebuildsInKeyOrder();
    void removingLastAndEmptying();
    void rebuiltRowsAreReadAfresh();
    void renameMakesStagingCopy();
    void renameAnswer_data();
    void renameAnswer();
    void renameReplacesLeftover();
    void renameWithVanishedSource();
    void twoRunningCopiesKeepTheirCopies();
    void tidyUpRemovesOnlyOurCopies();
    void stagingLinkIsNeverFollowed();
    void stagingFolderOfAnotherUser();
    void folderWeighsWhatTheArchiveHolds_data();
    void folderWeighsWhatTheArchiveHolds();
    void dropIsAddedJustAfter();
    void dropsReachTheListEverywhere();
    void rowsScrollInsideFixedPanel();
    void mainWindowShowsSizeAndLimit();

private:
    QString file(const QString &relative, const QByteArray &content = "x");
    std::unique_ptr<IsolatedEnvironment> environment;
};

void TestFileList::init()
{
    environment = std::make_unique<IsolatedEnvironment>();
    QVERIFY(environment->isValid());
    MessageBox::clearAnswers();
}

void TestFileList::cleanup()
{
    // Let go of the folder before its temporary folder goes.
    StagingFolder::ofThisProgram().release();
    environment.reset();
}

QString TestFileList::file(const QString &relative, const QByteArray &content)
{
    return writeFile(environment->root() + QLatin1Char('/') + relative, content);
}

void TestFileList::rowSizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << qint64(0) << "1KB";
    QTest::newRow("one KiB counts one more") << qint64(1024) << "2KB";
    QTest::newRow("largest KB") << qint64(1047551) << "1023KB";
    QTest::newRow("smallest MB") << qint64(1047552) << "1MB";
    QTest::newRow("two decimals") << qint64(12950000) << "12.35MB";
    QTest::newRow("limit") << qint64(524288000) << "500MB";
}

void TestFileList::rowSizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    SingleFileWidget row(makeSparseFile(environment->root() + "/f.bin", bytes));
    QCOMPARE(sizeTextOf(&row), text);
    QCOMPARE(row.size(), QSize(88, 88));
}

void TestFileList::sizeLimit_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("exactly 500 MB") << qint64(524288000) << true;
    QTest::newRow("rounds to 500 MB as a float") << qint64(524288016) << true;
    QTest::newRow("one byte more") << qint64(524288017) << false;
}

void TestFileList::sizeLimit()
{
    QFETCH(qint64, bytes);
    QFETCH(bool, accepted);
    FileWidget list;
    QSignalSpy exceeded(&list, &FileWidget::sizeExceeded);
    QSignalSpy changed(&list, &FileWidget::sizeChanged);
    list.addFile(makeSparseFile(environment->root() + "/big.bin", bytes));
    QCOMPARE(list.getFiles().size(), accepted ? 1 : 0);
    QCOMPARE(changed.size(), accepted ? 1 : 0);
    QCOMPARE(exceeded.size(), accepted ? 0 : 1);
    if (accepted)
        QCOMPARE(changed.first().first().toFloat(), 500.0f);
}

void TestFileList::limitIsJudgedPerFile()
{
    FileWidget list;
    QSignalSpy exceeded(&list, &FileWidget::sizeExceeded);
    const QString root = environment->root();
    list.addFiles({makeSparseFile(root + "/half1", 262144000), makeSparseFile(root + "/tooBig", 300 << 20),
                   makeSparseFile(root + "/half2", 262144000)});
    QCOMPARE(list.getSize(), 500.0f);
    QCOMPARE(exceeded.size(), 1);
    list.addFiles({makeSparseFile(root + "/oneMB", 1 << 20), makeSparseFile(root + "/empty", 0)});
    QCOMPARE(exceeded.size(), 2);
    QCOMPARE(list.getFiles(), (QStringList{root + "/empty", root + "/half1", root + "/half2"}));
}

void TestFileList::totalIsSummedInKeyOrder()
{
    // Two 16-byte files, summed before 300 MB as their keys come first, make
    // one unit in the last place; each alone, added to 300, rounds away.
    FileWidget list;
    QSignalSpy changed(&list, &FileWidget::sizeChanged);
    const QString root = environment->root();
    list.addFiles({makeSparseFile(root + "/b.bin", 300 << 20), makeSparseFile(root + "/a1.bin", 16),
                   makeSparseFile(root + "/a2.bin", 16)});
    const float small = 16.0f / 1024 / 1024;
    const float expected = (small + small) + 300.0f;
    QVERIFY(expected != (300.0f + small) + small);
    // Exact comparisons: QCOMPARE would forgive the last place.
    QVERIFY(list.getSize() == expected);
    QVERIFY(changed.last().first().toFloat() == expected);
}

void TestFileList::typePicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("drawing");
    QTest::newRow("pdf") << "a.pdf" << ":/qrc/file-pdf.svg";
    QTest::newRow("upper-case PDF is not") << "Report.PDF" << "";
    QTest::newRow("jpeg") << "photo.jpeg" << ":/qrc/file-image.svg";
    QTest::newRow("docx") << "letter.docx" << ":/qrc/file-word.svg";
    QTest::newRow("txt") << "notes.txt" << "";
    QTest::newRow("folder") << "folder/" << "";
}

// The whole program runs scaled (see main), as on a 200 % Windows screen:
// every picture must come with the window's pixel ratio, at its own size.
void TestFileList::typePicture()
{
    QFETCH(QString, name);
    QFETCH(QString, drawing);
    const bool isFolder = name.endsWith('/');
    const QString path = isFolder ? environment->root() + '/' + name.chopped(1) : file(name);
    if (isFolder)
        QDir().mkpath(path);
    FileWidget list;
    list.show();
    list.addFile(path);
    SingleFileWidget *row = listedRows(list).value(0);
    QVERIFY(row);
    const QPixmap shown = pictureOf(row);
    QCOMPARE(shown.devicePixelRatio(), list.devicePixelRatioF());
    const QSizeF size = shown.deviceIndependentSize();
    if (drawing.isEmpty()) {
        QVERIFY(size.width() <= 22 && size.height() <= 30 && size.width() >= 11);
        return;
    }
    QImageReader reader(drawing);
    QVERIFY(qAbs(size.width() - reader.size().width()) <= 1 && size.height() == reader.size().height());
    reader.setScaledSize(shown.size());
    QImage expected = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    expected.setDevicePixelRatio(shown.devicePixelRatio());
    QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied), expected);
}

void TestFileList::longNamesAreShortened()
{
    SingleFileWidget row(file("holiday_pictures_from_the_summer_of_2023.zip"));
    auto *nameButton = row.findChild<QPushButton *>();
    QCOMPARE(nameButton->text(), QStringLiteral("holid...3.zip"));
    row.setName(QStringLiteral("a.txt"));
    QCOMPARE(nameButton->text(), QStringLiteral("a.txt"));
}

void TestFileList::duplicateNames()
{
    FileWidget list;
    MessageBox::setNextAnswer(QMessageBox::Ok);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QSignalSpy changed(&list, &FileWidget::sizeChanged);
    list.addFiles({file("one/Report.pdf"), file("one/Report.pdf"), file("two/Report.pdf"), file("two/report.pdf")});
    QCOMPARE(MessageBox::answeredTexts(), (QStringList{existsText, existsText}));
    QCOMPARE(list.getFiles().size(), 2);
    QCOMPARE(changed.size(), 2);
}

void TestFileList::gridCells()
{
    FileWidget list;
    for (int i = 0; i < 15; ++i)
        list.addFile(file(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0'))));
    QCOMPARE(cellOf(list, rowNamed(list, "f07.txt")), QPoint(0, 1));
    QCOMPARE(cellOf(list, rowNamed(list, "f14.txt")), QPoint(0, 2));
    QCOMPARE(cellOf(list, rowNamed(list, "f13.txt")), QPoint(6, 1));
}

void TestFileList::shownRowsDoNotOverlap()
{
    FileWidget list;
    list.resize(900, 273);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QStringList paths;
    for (int i = 0; i < 15; ++i)
        paths << file(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')));
    list.addFiles(paths);
    list.removeFile(paths.at(3));

    const QList<SingleFileWidget *> rows = listedRows(list);
    QCOMPARE(rows.size(), 14);
    for (int i = 0; i < rows.size(); ++i) {
        QTRY_VERIFY(rows[i]->isVisible());
        for (int j = i + 1; j < rows.size(); ++j)
            QVERIFY2(!rows[i]->geometry().intersects(rows[j]->geometry()),
                     qPrintable(rows[i]->getName() + " overlaps " + rows[j]->getName()));
    }
}

void TestFileList::removalRebuildsInKeyOrder()
{
    FileWidget list;
    // Added out of key order; upper case sorts before lower case.
    for (const char *name : {"d.txt", "b.txt", "C.txt", "a.txt", "e.txt"})
        list.addFile(file(name, QByteArray(1024, 'x')));
    QStringList log;
    connect(&list, &FileWidget::sizeChanged, [&log](float size) { log << QString::number(size * 1024); });
    connect(&list, &FileWidget::initDestinationPath, [&log](const QString &path) { log << QFileInfo(path).fileName(); });

    rowNamed(list, "b.txt")->findChild<QToolButton *>()->click();
    QCOMPARE(log, (QStringList{"0", "C.txt", "1", "2", "3", "4"}));
    const QStringList order{"C.txt", "a.txt", "d.txt", "e.txt"};
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(cellOf(list, rowNamed(list, order[i])), QPoint(i, 0));
    QCOMPARE(listedRows(list).size(), 4);
}

void TestFileList::removingLastAndEmptying()
{
    FileWidget list;
    QSignalSpy changed(&list, &FileWidget::sizeChanged);
    QSignalSpy initSpy(&list, &FileWidget::initDestinationPath);
    list.removeAllFiles();
    QCOMPARE(changed.size(), 1);
    list.addFile(file("only.txt"));
    list.removeFile(environment->root() + "/only.txt");
    QCOMPARE(changed.last().first().toFloat(), 0.0f);
    QCOMPARE(initSpy.size(), 0);
    QVERIFY(list.getFiles().isEmpty());
    list.addFile(file("only.txt"));
    QCOMPARE(list.getFiles().size(), 1);
}

void TestFileList::rebuiltRowsAreReadAfresh()
{
    FileWidget list;
    const QString grows = file("grows.txt", "small");
    list.addFiles({grows, file("a.txt"), file("gone.txt")});
    rename(list, "a.txt", "b.txt");
    const QString firstCopy = StagingFolder::path() + "/b.txt";
    QVERIFY(QFile::exists(firstCopy));

    // A rebuild reads each file again, as a row made anew would.
    QVERIFY(!writeFile(grows, QByteArray(4096, 'x')).isEmpty());
    rowNamed(list, "gone.txt")->findChild<QToolButton *>()->click();
    QCOMPARE(sizeTextOf(rowNamed(list, "grows.txt")), QStringLiteral("5KB"));
    QCOMPARE(list.getSize(), 4097.0f / 1024.0f / 1024.0f);

    // The rebuilt row stands for the copy as if it were the user's file:
    // renaming it again makes a new copy and leaves the older one alone.
    rename(list, "b.txt", "c.txt");
    QVERIFY(QFile::exists(StagingFolder::path() + "/c.txt"));
    QVERIFY(QFile::exists(firstCopy));
}

void TestFileList::renameMakesStagingCopy()
{
    FileWidget list;
    const QString original = file("a.txt", "user's bytes");
    list.addFile(original);
    rename(list, "a.txt", "b.txt");

    const QString staged = StagingFolder::path() + "/b.txt";
    QCOMPARE(staged, environment->tempPath() + "/velmora/b.txt");
    QCOMPARE(list.getFiles(), QStringList{staged});
    QCOMPARE(contentOf(staged), QByteArray("user's bytes"));
#ifdef Q_OS_UNIX
    // On a shared temporary folder no other user may look in.
    QCOMPARE(QFileInfo(StagingFolder::path()).permissions() & 0x0077, QFile::Permissions());
#endif

    // The user's name is free again; the new one is taken.
    MessageBox::setNextAnswer(QMessageBox::Ok);
    list.addFiles({original, file("elsewhere/b.txt")});
    QCOMPARE(MessageBox::answeredTexts(), QStringList{existsText});
    QCOMPARE(list.getFiles(), (QStringList{staged, original}));

    rename(list, "b.txt", "c.txt");
    QVERIFY(!QFile::exists(staged));
    QCOMPARE(contentOf(StagingFolder::path() + "/c.txt"), QByteArray("user's bytes"));
    QCOMPARE(contentOf(original), QByteArray("user's bytes"));
}

void TestFileList::renameAnswer_data()
{
    QTest::addColumn<System>("system");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("message"); // empty: nothing is said
    QTest::addColumn<bool>("renamed");

    const System posix = System::OtherUnix, windows = System::Windows, mac = System::MacOs;
    QTest::newRow("same name") << posix << "a.txt" << "" << false;
    QTest::newRow("empty") << posix << "" << "" << false;
    QTest::newRow("cancelled") << posix << QString() << "" << false;
    QTest::newRow("listed name") << posix << "b.txt" << renameExistsText << false;
    QTest::newRow("listed name in other case, Linux") << posix << "B.txt" << "" << true;
    QTest::newRow("listed name in other case, Windows") << windows << "B.TXT" << renameExistsText << false;
    QTest::newRow("listed name in other case, macOS") << mac << "B.txt" << renameExistsText << false;
    QTest::newRow("own name in other case, Windows") << windows << "A.txt" << "" << true;
    for (const char *name : {"../escaped.txt", "sub/x.txt", "..\\escaped.txt", ".", ".."})
        QTest::addRow("everywhere: %s", name) << posix << name << invalidText << false;
    for (const char *name : {"a:b", "x<y", "x>y", "say\"hi\"", "p|q", "why?", "all*", "tab\there",
                             "trailing.", "trailing ", "CON", "nul", "aux.txt", "Com1", "LPT9.tar.gz",
                             "com\u00B9"})
        QTest::addRow("Windows: %s", name) << windows << QString::fromUtf8(name) << invalidText << false;
    for (const char *name : {"a:b", "CON", "trailing."})
        QTest::addRow("Linux: %s", name) << posix << name << "" << true;
    for (const char *name : {"COM10", "console.txt", "x.con"})
        QTest::addRow("Windows: %s", name) << windows << name << "" << true;
}

void TestFileList::renameAnswer()
{
    QFETCH(System, system);
    QFETCH(QString, answer);
    QFETCH(QString, message);
    QFETCH(bool, renamed);
    FileWidget list;
    list.useNameRules(system);
    const QString original = file("a.txt");
    list.addFiles({original, file("b.txt")});
    MessageBox::setNextAnswer(QMessageBox::Ok);
    rename(list, "a.txt", answer);

    QCOMPARE(MessageBox::answeredTexts(), message.isEmpty() ? QStringList() : QStringList{message});
    MessageBox::clearAnswers();
    QCOMPARE(list.getFiles().contains(original), !renamed);
    if (renamed)
        QVERIFY(list.getFiles().contains(StagingFolder::path() + '/' + answer));
    else
        QVERIFY(rowNamed(list, "a.txt"));
    QCOMPARE(QFile::exists(StagingFolder::path() + '/' + answer), renamed);
}

void TestFileList::renameReplacesLeftover()
{
    writeFile(StagingFolder::path() + "/b.txt", "left from an earlier rename");
    FileWidget list;
    list.addFile(file("a.txt", "mine"));
    rename(list, "a.txt", "b.txt");
    QCOMPARE(list.getFiles(), QStringList{StagingFolder::path() + "/b.txt"});
    QCOMPARE(contentOf(StagingFolder::path() + "/b.txt"), QByteArray("mine"));
}

void TestFileList::renameWithVanishedSource()
{
    FileWidget list;
    const QString original = file("a.txt");
    list.addFile(original);
    QFile::remove(original);
    SingleFileWidget *row = rowNamed(list, "a.txt");
    QSignalSpy moved(row, &SingleFileWidget::filePathChanged);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    rename(list, "a.txt", "b.txt");
    QCOMPARE(MessageBox::answeredTexts(), QStringList{copyFailedText});
    QCOMPARE(moved.size(), 0);
    QCOMPARE(row->findChild<QPushButton *>()->text(), QStringLiteral("a.txt"));
    QCOMPARE(list.getFiles(), QStringList{original});
}

void TestFileList::twoRunningCopiesKeepTheirCopies()
{
    // A lock left by a copy of the program that died is taken over.
    const QString staleLock = writeFile(environment->tempPath() + "/velmora.lock", "2147483600\nbrimlet\n\n");
    FileWidget first;
    first.addFile(file("mine.txt", "first"));
    rename(first, "mine.txt", "report.txt");
    QCOMPARE(first.getFiles(), QStringList{environment->tempPath() + "/velmora/report.txt"});
    QVERIFY(contentOf(staleLock).startsWith(QByteArray::number(QCoreApplication::applicationPid())));

    // Another running copy, with the folder of its own.
    StagingFolder theirs;
    FileWidget second;
    second.useStagingFolder(&theirs);
    second.addFile(file("other/theirs.txt", "second"));
    rename(second, "theirs.txt", "report.txt");
    const QString theirCopy = second.getFiles().value(0);
    QCOMPARE(QFileInfo(theirCopy).fileName(), QStringLiteral("report.txt"));
    QVERIFY(QFileInfo(theirCopy).absolutePath() != StagingFolder::path());
    QCOMPARE(contentOf(first.getFiles().value(0)), QByteArray("first"));
    QCOMPARE(contentOf(theirCopy), QByteArray("second"));

    // Their successful run tidies up only their own copies.
    theirs.tidyUp();
    QVERIFY(!QFileInfo::exists(QFileInfo(theirCopy).absolutePath()));
    QCOMPARE(contentOf(first.getFiles().value(0)), QByteArray("first"));
}

void TestFileList::tidyUpRemovesOnlyOurCopies()
{
    FileWidget list;
    list.addFiles({file("a.txt"), file("b.txt")});
    rename(list, "a.txt", "x.txt");
    rename(list, "x.txt", "y.txt");
    rename(list, "b.txt", "z.txt");
    const QString folder = StagingFolder::path();
    // An archive the user chose to save in the folder, and someone else's file.
    const QString destination = writeFile(folder + "/archive.7z", "archive");
    writeFile(folder + "/foreign.txt", "not ours");
    QCOMPARE(entriesOf(folder), (QStringList{"archive.7z", "foreign.txt", "y.txt", "z.txt"}));

    StagingFolder::remove();
    QCOMPARE(entriesOf(folder), (QStringList{"archive.7z", "foreign.txt"}));
    QCOMPARE(contentOf(destination), QByteArray("archive"));

    QFile::remove(destination);
    QFile::remove(folder + "/foreign.txt");
    list.addFile(file("c.txt"));
    rename(list, "c.txt", "again.txt");
    StagingFolder::remove();
    QVERIFY(!QFileInfo::exists(folder));
}

void TestFileList::stagingLinkIsNeverFollowed()
{
#ifdef Q_OS_UNIX
    const QString other = environment->root() + "/other";
    const QString precious = writeFile(other + "/precious.txt", "keep");
    QVERIFY(QFile::link(other, StagingFolder::path()));

    FileWidget list;
    list.addFile(file("a.txt"));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    rename(list, "a.txt", "b.txt");
    QCOMPARE(MessageBox::answeredTexts(), QStringList{copyFailedText});
    QCOMPARE(list.getFiles(), QStringList{environment->root() + "/a.txt"});
    QVERIFY(!QFile::exists(other + "/b.txt"));

    StagingFolder::remove();
    QCOMPARE(contentOf(precious), QByteArray("keep"));
#else
    QSKIP("A symbolic link to a folder needs rights a Windows user rarely has");
#endif
}

void TestFileList::stagingFolderOfAnotherUser()
{
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        QSKIP("Handing a folder to another user needs root");
    // Another user's folder under the shared name is left alone; ours is a sibling.
    const QString theirFolder = environment->tempPath() + "/velmora";
    const QString theirs = writeFile(theirFolder + "/theirs.txt", "theirs");
    QCOMPARE(::chown(QFile::encodeName(theirFolder).constData(), 65534, 65534), 0);
    FileWidget list;
    list.addFile(file("theirs.txt", "mine"));
    rename(list, "theirs.txt", "x.txt");
    QVERIFY(!list.getFiles().value(0).startsWith(theirFolder + '/'));
    StagingFolder::remove();
    QCOMPARE(contentOf(theirs), QByteArray("theirs"));
#else
    QSKIP("Unix owners only");
#endif
}

void TestFileList::folderWeighsWhatTheArchiveHolds_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("target");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<bool>("packed");
    // The folder holds a.txt (6 bytes); outside lie big.bin (1000) and tree/ (300 + 200).
    QTest::newRow("link to a file outside") << "linked.bin" << "../outside/big.bin" << qint64(1006) << true;
    QTest::newRow("link to a folder outside") << "linked" << "../outside/tree" << qint64(506) << true;
    // 7-Zip follows a loop until the system refuses, and fails the run.
    QTest::newRow("loop") << "sub/back" << ".." << qint64(6) << false;
}

void TestFileList::folderWeighsWhatTheArchiveHolds()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, link);
    QFETCH(QString, target);
    QFETCH(qint64, bytes);
    QFETCH(bool, packed);
    if (QStandardPaths::findExecutable(QStringLiteral("7zz")).isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    const QString folder = environment->root() + "/folder";
    file("folder/a.txt", "hello\n");
    file("outside/big.bin", QByteArray(1000, 'b'));
    file("outside/tree/x", QByteArray(300, 'x'));
    file("outside/tree/sub/y", QByteArray(200, 'y'));
    QDir().mkpath(QFileInfo(folder + '/' + link).absolutePath());
    QVERIFY(QFile::link(target, folder + '/' + link));

    FileWidget list;
    list.addFile(folder);
    QCOMPARE(qRound64(double(list.getSize()) * 1024 * 1024), bytes);

    const QString archive = environment->root() + "/folder.zip";
    QProcess archiver;
    archiver.setStandardOutputFile(QProcess::nullDevice());
    archiver.setStandardErrorFile(QProcess::nullDevice());
    archiver.start(QStringLiteral("7zz"), ArchiveJob::arguments(archive, {folder}));
    QVERIFY(archiver.waitForFinished(60000));
    QCOMPARE(archiver.exitCode() == 0, packed);
    if (packed)
        QCOMPARE(archivedBytes(archive), bytes);
#else
    QSKIP("Symbolic links as 7-Zip follows them on Linux");
#endif
}

void TestFileList::dropIsAddedJustAfter()
{
    const QString root = environment->root();
    file("pics/a.txt", QByteArray(1000, 'a'));
    file("pics/deeper/b.txt", QByteArray(2000, 'b'));
    const QString notes = file("notes.txt");
    const QString huge = makeSparseFile(root + "/huge.bin", 600 << 20);

    FileWidget list;
    QStringList log;
    connect(&list, &FileWidget::initDestinationPath, [&log](const QString &path) { log << "init " + path; });
    connect(&list, &FileWidget::sizeChanged, [&log](float) { log << "size"; });
    QSignalSpy exceeded(&list, &FileWidget::sizeExceeded);
    QMimeData data;
    data.setUrls({QUrl("https://example.com/page"), QUrl::fromLocalFile(root + "/pics/"),
                  QUrl::fromLocalFile(notes), QUrl::fromLocalFile(huge)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &drop);

    // The source application is released before any file is looked at.
    QVERIFY(drop.isAccepted());
    QVERIFY(log.isEmpty());
    QTRY_COMPARE(log, (QStringList{"init " + root + "/pics", "size", "init " + notes, "size", "init " + huge}));
    QCOMPARE(exceeded.size(), 1);
    QCOMPARE(rowNamed(list, "pics")->getSize(), 3000.0f / 1024 / 1024);
    QVERIFY(pictureOf(rowNamed(list, "pics")).toImage() != pictureOf(rowNamed(list, "notes.txt")).toImage());

#ifdef Q_OS_UNIX
    // A link inside a folder is packed, so it is weighed: over the limit.
    QVERIFY(QFile::link(huge, root + "/pics/deeper/link.bin"));
    list.updateFiles();
    QCOMPARE(exceeded.size(), 2);
    QCOMPARE(list.getFiles(), QStringList{notes});
#endif

    QMimeData text;
    text.setText("plain");
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &refused);
    QVERIFY(!refused.isAccepted());
}

void TestFileList::dropsReachTheListEverywhere()
{
    FileWidget list;
    list.addFile(file("a.txt"));
    // Qt hands a drag to the nearest widget that accepts drops; none below the list may.
    QVERIFY(list.acceptDrops());
    for (QWidget *child : list.findChildren<QWidget *>())
        QVERIFY2(!child->acceptDrops(), child->metaObject()->className());
}

void TestFileList::rowsScrollInsideFixedPanel()
{
    FileWidget list;
    list.resize(900, 273);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    for (int i = 0; i < 30; ++i)
        list.addFile(file(QStringLiteral("f%1.txt").arg(i)));
    QCOMPARE(list.height(), 273);
    auto *scroll = list.findChild<QScrollArea *>();
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    QVERIFY(scroll->geometry().bottom() < 273);

    // Rows placed in a batch are back in sight after it, and before any box
    // that the batch opens: the box is really shown here to look behind it.
    bool rowsShownDuringBox = false;
    ModalAnswerer answerer;
    answerer.answerWith([&](QWidget *box) {
        rowsShownDuringBox = listedRows(list).last()->isVisible();
        qobject_cast<QMessageBox *>(box)->accept();
    });
    list.addFiles({file("g1.txt"), file("f1.txt"), file("g2.txt")});
    QCOMPARE(answerer.pending(), 0);
    QVERIFY(rowsShownDuringBox);
    for (SingleFileWidget *row : listedRows(list))
        QVERIFY(row->isVisible());
}

void TestFileList::mainWindowShowsSizeAndLimit()
{
    MainWidget window;
    auto *sizeLine = window.findChild<QLabel *>(QStringLiteral("Size_info"));
    emit window.addFiles({makeSparseFile(environment->root() + "/half.bin", 512 * 1024)});
    QCOMPARE(sizeLine->text(), QStringLiteral("Total size: <b>513 KB</b> of 500MB limit"));
    emit window.addFiles({makeSparseFile(environment->root() + "/more.bin", 1536 * 1024)});
    QCOMPARE(sizeLine->text(), QStringLiteral("Total size: <b>2 MB</b> of 500MB limit"));

    MessageBox::setNextAnswer(QMessageBox::Ok);
    emit window.addFiles({makeSparseFile(environment->root() + "/huge.bin", 499 << 20)});
    QCOMPARE(MessageBox::answeredTexts(), QStringList{"You can't add more than 500 MB of files"});
}

int main(int argc, char *argv[])
{
    // Scaled as on a 200 % screen, unless the caller chose a scale.
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestFileList test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filelist.moc"
