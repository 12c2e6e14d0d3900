#include "app/ArchiveJob.h"
#include "ui/MessageBox.h"
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
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <ctime>
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

// The whole test runs scaled as on a 200 % screen, unless the caller chose
// a scale: set before QTEST_MAIN makes the application.
const bool scaled = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") || qputenv("QT_SCALE_FACTOR", "2");

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

#ifdef Q_OS_UNIX
// The bytes 7-Zip packs into a new archive of the paths, or -1 when it fails the run.
qint64 archivedBytes(const QString &archive, const QStringList &paths)
{
    QByteArray listing;
    if (!runProgram(sevenZip(), ArchiveJob::arguments(archive, paths)) || !runProgram(sevenZip(), {"l", archive}, &listing))
        return -1;
    static const QRegularExpression summary(QStringLiteral("^\\S+ \\S+\\s+(\\d+)\\s+\\d+\\s+\\d+ files"),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = summary.match(QString::fromUtf8(listing));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}
#endif

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
    void typePicture_data();
    void typePicture();
    void removal_data();
    void removal();
    void renameMakesStagingCopy();
    void renameAnswer_data();
    void renameAnswer();
    void stagingFolderChoice_data();
    void stagingFolderChoice();
    void folderWeighsWhatTheArchiveHolds_data();
    void folderWeighsWhatTheArchiveHolds();
    void dropIsAddedJustAfter();
    void rowsInGridAndScrolling();
    void slowCopy_data();
    void slowCopy();
    void folderIsWalkedOncePerAddition();

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
    QTest::newRow("empty, long name") << qint64(0) << "1KB";
    QTest::newRow("one KiB counts one more") << qint64(1024) << "2KB";
    QTest::newRow("smallest MB") << qint64(1047552) << "1MB";
    QTest::newRow("two decimals") << qint64(12950000) << "12.35MB";
}

void TestFileList::rowSizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    const QString name = bytes ? QStringLiteral("f.bin") : QStringLiteral("holiday_pictures_from_the_summer_of_2023.zip");
    SingleFileWidget row(makeSparseFile(environment->root() + '/' + name, bytes));
    QCOMPARE(sizeTextOf(&row), text);
    QCOMPARE(row.findChild<QPushButton *>()->text(), bytes ? name : QStringLiteral("holid...3.zip"));
}

void TestFileList::sizeLimit_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<qint64>>("bytes");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<float>("total");
    QTest::newRow("rounds to 500 MB as a float") << QStringList{"f"} << QList<qint64>{524288016}
                                                 << QStringList{"f"} << 500.0f;
    QTest::newRow("one byte more") << QStringList{"f"} << QList<qint64>{524288017} << QStringList() << 0.0f;
    QTest::newRow("judged per file") << QStringList{"half1", "tooBig", "half2", "oneMB", "empty"}
                                     << QList<qint64>{262144000, 300 << 20, 262144000, 1 << 20, 0}
                                     << QStringList{"empty", "half1", "half2"} << 500.0f;
    // Two 16-byte files, summed before 300 MB as their keys come first, make
    // one unit in the last place; each alone, added to 300, rounds away.
    const float small = 16.0f / 1024 / 1024;
    QTest::newRow("summed in key order") << QStringList{"b", "a1", "a2"} << QList<qint64>{300 << 20, 16, 16}
                                         << QStringList{"a1", "a2", "b"} << (small + small) + 300.0f;
}

void TestFileList::sizeLimit()
{
    QFETCH(QStringList, names);
    QFETCH(QList<qint64>, bytes);
    QFETCH(QStringList, listed);
    QFETCH(float, total);
    FileWidget list;
    QSignalSpy exceeded(&list, &FileWidget::sizeExceeded);
    QSignalSpy changed(&list, &FileWidget::sizeChanged);
    QStringList paths;
    for (int i = 0; i < names.size(); ++i)
        paths << makeSparseFile(environment->root() + '/' + names[i], bytes[i]);
    list.addFiles(paths);
    QStringList shown;
    for (const QString &path : list.getFiles())
        shown << QFileInfo(path).fileName();
    QCOMPARE(shown, listed);
    QCOMPARE(exceeded.size(), names.size() - listed.size());
    // Exact comparisons: QCOMPARE would forgive the last place.
    QVERIFY(list.getSize() == total);
    QVERIFY(changed.isEmpty() || changed.last().first().toFloat() == total);
}

void TestFileList::typePicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("drawing");
    QTest::newRow("pdf") << "a.pdf" << ":/qrc/file-pdf.svg";
    QTest::newRow("upper-case PDF is not") << "Report.PDF" << "";
    QTest::newRow("folder") << "folder/" << "";
}

// Scaled (see the top): every picture must come with the window's pixel
// ratio, at its own size.
void TestFileList::typePicture()
{
    QFETCH(QString, name);
    QFETCH(QString, drawing);
    const QString path = name.endsWith('/') ? QFileInfo(file(name + "inside")).absolutePath() : file(name);
    FileWidget list;
    list.show();
    list.addFile(path);
    const QPixmap shown = pictureOf(listedRows(list).value(0));
    QCOMPARE(shown.devicePixelRatio(), qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    const QSizeF size = shown.deviceIndependentSize();
    if (drawing.isEmpty()) {
        // Fitted into the glyphs' 22 x 30, not a quarter of it.
        QVERIFY(size.width() <= 22 && size.height() <= 30 && (size.width() == 22 || size.height() == 30));
        return;
    }
    QImageReader reader(drawing);
    QCOMPARE(size, QSizeF(reader.size()));
    reader.setScaledSize(shown.size());
    QImage expected = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    expected.setDevicePixelRatio(shown.devicePixelRatio());
    QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied), expected);
}

void TestFileList::removal_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("removed"); // empty: the whole list is emptied
    QTest::addColumn<QStringList>("emitted"); // sizes in KiB and destination names
    QTest::addColumn<QStringList>("remaining"); // in cell order
    // Added out of key order; upper case sorts before lower case.
    QTest::newRow("third of five") << QStringList{"d.txt", "b.txt", "C.txt", "a.txt", "e.txt"} << "b.txt"
                                   << QStringList{"0", "C.txt", "1", "2", "3", "4"}
                                   << QStringList{"C.txt", "a.txt", "d.txt", "e.txt"};
    QTest::newRow("the only one") << QStringList{"only.txt"} << "only.txt" << QStringList{"0"} << QStringList();
    QTest::newRow("emptied") << QStringList{"a.txt", "b.txt"} << "" << QStringList{"0"} << QStringList();
    QTest::newRow("emptied when empty") << QStringList() << "" << QStringList{"0"} << QStringList();
}

void TestFileList::removal()
{
    QFETCH(QStringList, names);
    QFETCH(QString, removed);
    QFETCH(QStringList, emitted);
    QFETCH(QStringList, remaining);
    FileWidget list;
    for (const QString &name : names)
        list.addFile(file(name, QByteArray(1024, 'x')));
    QStringList log;
    connect(&list, &FileWidget::sizeChanged, [&log](float size) { log << QString::number(size * 1024); });
    connect(&list, &FileWidget::initDestinationPath, [&log](const QString &path) { log << QFileInfo(path).fileName(); });
    if (removed.isEmpty())
        list.removeAllFiles();
    else
        rowNamed(list, removed)->findChild<QToolButton *>()->click();
    QCOMPARE(log, emitted);
    QCOMPARE(listedRows(list).size(), remaining.size());
    for (int i = 0; i < remaining.size(); ++i)
        QCOMPARE(cellOf(list, rowNamed(list, remaining[i])), QPoint(i, 0));
    // Its name is free again.
    const QString freed = removed.isEmpty() ? names.value(0) : removed;
    if (!freed.isEmpty()) {
        list.addFile(environment->root() + '/' + freed);
        QVERIFY(rowNamed(list, freed));
    }
}

void TestFileList::renameMakesStagingCopy()
{
    const QString folder = environment->tempPath() + "/velmora";
    // A copy left by a row that is gone is replaced.
    writeFile(folder + "/b.txt", "left from an earlier rename");
    FileWidget list;
    const QString original = file("a.txt", "user's bytes");
    list.addFile(original);
    rename(list, "a.txt", "b.txt");

    QCOMPARE(list.getFiles(), QStringList{folder + "/b.txt"});
    QCOMPARE(readFile(folder + "/b.txt"), QByteArray("user's bytes"));
#ifdef Q_OS_UNIX
    // On a shared temporary folder no other user may look in.
    QCOMPARE(QFileInfo(folder).permissions() & 0x0077, QFile::Permissions());
#endif

    // The user's name is free again; the new one is taken, also from
    // another folder; the list tells names apart by case.
    MessageBox::setNextAnswer(QMessageBox::Ok);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    const QString upper = file("elsewhere/B.txt");
    list.addFiles({original, original, file("elsewhere/b.txt"), upper});
    QCOMPARE(MessageBox::answeredTexts(), (QStringList{existsText, existsText}));

    rename(list, "b.txt", "c.txt");
    QCOMPARE(list.getFiles(), (QStringList{folder + "/c.txt", original, upper}));
    QCOMPARE(readFile(original), QByteArray("user's bytes"));

    // A rebuild reads each file again, as a row made anew would; the rebuilt
    // row stands for its copy as for a user's file: a new name makes a new
    // copy and leaves the older one.
    writeFile(original, QByteArray(4096, 'x'));
    rowNamed(list, "B.txt")->findChild<QToolButton *>()->click();
    QCOMPARE(sizeTextOf(rowNamed(list, "a.txt")), QStringLiteral("5KB"));
    rename(list, "c.txt", "d.txt");
    QCOMPARE(entriesOf(folder), (QStringList{"c.txt", "d.txt"}));

    // After a success only our copies go: not an archive the user chose to
    // save in the folder, nor someone else's file.
    writeFile(folder + "/archive.7z", "archive");
    writeFile(folder + "/foreign.txt", "not ours");
    StagingFolder::remove();
    QCOMPARE(entriesOf(folder), (QStringList{"archive.7z", "foreign.txt"}));
}

void TestFileList::renameAnswer_data()
{
    QTest::addColumn<System>("system");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("message"); // empty: nothing is said
    QTest::addColumn<bool>("renamed");
    QTest::addColumn<bool>("sourceGone");

    const System posix = System::OtherUnix, windows = System::Windows, mac = System::MacOs;
    QTest::newRow("same name") << posix << "a.txt" << "" << false << false;
    QTest::newRow("empty") << posix << "" << "" << false << false;
    QTest::newRow("cancelled") << posix << QString() << "" << false << false;
    QTest::newRow("source gone") << posix << "b2.txt" << copyFailedText << false << true;
    QTest::newRow("listed name") << posix << "b.txt" << renameExistsText << false << false;
    QTest::newRow("listed name in other case, Linux") << posix << "B.txt" << "" << true << false;
    QTest::newRow("listed name in other case, Windows") << windows << "B.TXT" << renameExistsText << false << false;
    QTest::newRow("listed name in other case, macOS") << mac << "B.txt" << renameExistsText << false << false;
    QTest::newRow("own name in other case, Windows") << windows << "A.txt" << "" << true << false;
    for (const char *name : {"../escaped.txt", "..\\escaped.txt", ".", ".."})
        QTest::addRow("everywhere: %s", name) << posix << name << invalidText << false << false;
    for (const char *name : {"a:b", "all*", "tab\there", "trailing.", "trailing ", "nul", "aux.txt", "LPT9", "com\u00B9"})
        QTest::addRow("Windows: %s", name) << windows << QString::fromUtf8(name) << invalidText << false << false;
    // What Linux takes; a Windows disk refuses these whatever the list says.
    if (FileNames::thisSystem() != System::Windows)
        QTest::newRow("Linux: a:b") << posix << "a:b" << "" << true << false;
    for (const char *name : {"COM10", "console.txt"})
        QTest::addRow("Windows: %s", name) << windows << name << "" << true << false;
}

void TestFileList::renameAnswer()
{
    QFETCH(System, system);
    QFETCH(QString, answer);
    QFETCH(QString, message);
    QFETCH(bool, renamed);
    QFETCH(bool, sourceGone);
    FileWidget list;
    list.useNameRules(system);
    const QString original = file("a.txt");
    list.addFiles({original, file("b.txt")});
    if (sourceGone)
        QFile::remove(original);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    rename(list, "a.txt", answer);

    QCOMPARE(MessageBox::answeredTexts(), message.isEmpty() ? QStringList() : QStringList{message});
    MessageBox::clearAnswers();
    QCOMPARE(list.getFiles().contains(original), !renamed);
    QVERIFY(renamed ? list.getFiles().contains(StagingFolder::path() + '/' + answer) : !!rowNamed(list, "a.txt"));
    // No copy under that name: "." and ".." name folders, not copies.
    QCOMPARE(QFileInfo(StagingFolder::path() + '/' + answer).isFile(), renamed);
}

void TestFileList::stagingFolderChoice_data()
{
    QTest::addColumn<QString>("atTheName");
    QTest::addColumn<QString>("ours");
    QTest::newRow("lock of a copy that died") << "stale lock" << "velmora";
    QTest::newRow("another running copy") << "running copy" << "velmora-2";
#ifdef Q_OS_UNIX
    QTest::newRow("link to another folder") << "link" << "velmora-2";
    if (::geteuid() == 0)
        QTest::newRow("another user's folder") << "other user" << "velmora-2";
#endif
}

// Each running copy renames into a folder of its own, and its tidy-up
// after a success touches nothing else.
void TestFileList::stagingFolderChoice()
{
    QFETCH(QString, atTheName);
    QFETCH(QString, ours);
    const QString shared = environment->tempPath() + "/velmora";
    const QString theirs = writeFile(environment->root() + "/theirs/report.txt", "theirs");
    // The other running copy: a list with a staging folder of its own.
    StagingFolder otherCopy;
    FileWidget theirList;
    theirList.useStagingFolder(&otherCopy);
    if (atTheName == "stale lock") // no running process has this id
        writeFile(shared + ".lock", "2147483600\nbrimlet\n\n");
    if (atTheName == "running copy") {
        theirList.addFile(file("their/mine.txt", "theirs"));
        rename(theirList, "mine.txt", "report.txt");
    }
    if (atTheName == "link")
        QVERIFY(QFile::link(QFileInfo(theirs).absolutePath(), shared));
#ifdef Q_OS_UNIX
    if (atTheName == "other user") {
        QVERIFY(QFile::rename(QFileInfo(theirs).absolutePath(), shared));
        QCOMPARE(::chown(QFile::encodeName(shared).constData(), 65534, 65534), 0);
    }
#endif

    FileWidget list;
    list.addFile(file("mine.txt", "mine"));
    rename(list, "mine.txt", "report.txt");
    const QString copy = environment->tempPath() + '/' + ours + "/report.txt";
    QCOMPARE(list.getFiles(), QStringList{copy});
    QCOMPARE(readFile(copy), QByteArray("mine"));
    StagingFolder::remove();
    QVERIFY(!QFileInfo::exists(QFileInfo(copy).absolutePath()));
    if (ours != "velmora")
        QCOMPARE(readFile(shared + "/report.txt"), QByteArray("theirs"));
}

void TestFileList::folderWeighsWhatTheArchiveHolds_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("target");
    QTest::addColumn<qint64>("listed");
    QTest::addColumn<qint64>("archived"); // -1: 7-Zip fails the run
    // The folder holds a.txt (6 bytes); outside lie big.bin (1000) and tree/ (300 + 200).
    QTest::newRow("link to a file outside") << "linked.bin" << "../outside/big.bin" << qint64(1006) << qint64(1006);
    QTest::newRow("link to a folder outside") << "linked" << "../outside/tree" << qint64(506) << qint64(506);
    // 7-Zip follows a loop until the system refuses, and fails the run.
    QTest::newRow("loop") << "sub/back" << ".." << qint64(6) << qint64(-1);
    // 7-Zip packs the file twice; the list counts each real file once.
    QTest::newRow("link to a file inside") << "sub/again.txt" << "../a.txt" << qint64(6) << qint64(12);
}

void TestFileList::folderWeighsWhatTheArchiveHolds()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, link);
    QFETCH(QString, target);
    QFETCH(qint64, listed);
    QFETCH(qint64, archived);
    if (sevenZip().isEmpty())
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
    QCOMPARE(qRound64(double(list.getSize()) * 1024 * 1024), listed);
    QCOMPARE(archivedBytes(environment->root() + "/folder.zip", {folder}), archived);
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

#ifdef Q_OS_WIN
    // A shortcut is packed as the small file it is, not what it points to.
    QVERIFY(QFile::link(huge, root + "/pics/deeper/link.lnk"));
    list.updateFiles();
    QCOMPARE(exceeded.size(), 1);
    QVERIFY(rowNamed(list, "pics")->getSize() < 1.0f);
#endif

    QMimeData text;
    text.setText("plain");
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &refused);
    QVERIFY(!refused.isAccepted());

    // Qt hands a drag to the nearest widget that accepts drops; none below the list may.
    for (QWidget *child : list.findChildren<QWidget *>())
        QVERIFY2(!child->acceptDrops(), child->metaObject()->className());
}

void TestFileList::rowsInGridAndScrolling()
{
    FileWidget list;
    list.resize(900, 273);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QStringList paths;
    for (int i = 0; i < 30; ++i)
        paths << file(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')));
    list.addFiles(paths);
    list.removeFile(paths.at(3));
    QCOMPARE(cellOf(list, rowNamed(list, "f08.txt")), QPoint(0, 1));
    QCOMPARE(cellOf(list, rowNamed(list, "f15.txt")), QPoint(0, 2));
    const QList<SingleFileWidget *> rows = listedRows(list);
    for (int i = 0; i < rows.size(); ++i) {
        QTRY_VERIFY(rows[i]->isVisible());
        for (int j = i + 1; j < rows.size(); ++j)
            QVERIFY(!rows[i]->geometry().intersects(rows[j]->geometry()));
    }
    auto *scroll = list.findChild<QScrollArea *>();
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    QVERIFY(scroll->geometry().bottom() < 273);

    // Rows placed in a batch are back in sight after it, and before any box
    // that the batch opens: the box is really shown here to look behind it.
    bool rowsShownDuringBox = false;
    QTimer::singleShot(0, &list, [&] {
        rowsShownDuringBox = listedRows(list).last()->isVisible();
        static_cast<QDialog *>(QApplication::activeModalWidget())->accept();
    });
    list.addFiles({file("g1.txt"), file("f01.txt"), file("g2.txt")});
    QVERIFY(rowsShownDuringBox);
    for (SingleFileWidget *row : listedRows(list))
        QVERIFY(row->isVisible());
}

// Disk work off the GUI thread: the copy of a rename and the folder walk.

namespace {

// A file whose bytes come only when the test hands them over: a named pipe.
// Reading it blocks until then, as a slow share would.
#ifdef Q_OS_UNIX
bool makeSlowSource(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Writes the bytes and ends the file, once a reader has it open; with no
// bytes it only ends the file (a reader that stops at once would leave
// nobody to write to).
bool feedSlowSource(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool written = bytes.isEmpty() || ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    return written;
}

bool setModifiedHourAgo(const QString &path)
{
    const timeval past{::time(nullptr) - 3600, 0};
    const timeval times[2] = {past, past};
    return ::utimes(QFile::encodeName(path).constData(), times) == 0;
}
#else
bool makeSlowSource(const QString &) { return false; }
bool feedSlowSource(const QString &, const QByteArray &) { return false; }
bool setModifiedHourAgo(const QString &) { return false; }
#endif

} // namespace

void TestFileList::slowCopy_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("finished") << false;
    QTest::newRow("cancelled") << true;
}

void TestFileList::slowCopy()
{
    QFETCH(bool, cancel);
    const QString source = environment->root() + "/slow.txt";
    if (!makeSlowSource(source))
        QSKIP("needs named pipes");
    FileWidget list;
    list.addFile(source);
    SingleFileWidget *row = rowNamed(list, "slow.txt");
    const QString staged = StagingFolder::path() + "/first.txt";
    const QString restaged = StagingFolder::path() + "/second.txt";
    QStringList log;
    connect(row, &SingleFileWidget::filePathChanged, [&](const QString &, const QString &newPath) {
        log << QStringLiteral("moved to %1 holding %2, first copy %3, listed %4")
                   .arg(QFileInfo(newPath).fileName(), QString::fromLatin1(readFile(newPath)),
                        QFile::exists(staged) ? "kept" : "gone", list.getFiles().join(','));
    });
    // Any message would be a fault here; answered, it cannot hang the test.
    MessageBox::setNextAnswer(QMessageBox::Ok);

    // The copy can only end once the timer, on the GUI thread, feeds the
    // source: it ends at all only if the window's events flow meanwhile.
    // To cancel, the progress dialog's button is clicked before the feed.
    bool cancelled = false;
    bool fed = false;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (cancel && !cancelled && dialog) {
            dialog->findChild<QPushButton *>()->click();
            cancelled = true;
        } else if (cancelled == cancel) {
            fed = fed || feedSlowSource(source, cancel ? QByteArray() : QByteArray("slow bytes"));
        }
    });
    ticker.start(10);
    rename(list, "slow.txt", "first.txt");
    log << "returned";
    QVERIFY(fed);
    QCOMPARE(MessageBox::answeredTexts(), QStringList());
    if (cancel) {
        // All as it was: the list, the row's name, no signal, no copy.
        QCOMPARE(list.getFiles(), QStringList{source});
        QCOMPARE(row->getName(), QStringLiteral("slow.txt"));
        QCOMPARE(log, QStringList{"returned"});
        QCOMPARE(entriesOf(StagingFolder::path()), QStringList());
        return;
    }

    row->setName("second.txt");
    row->makeFileCopy("second.txt");
    log << "returned";
    QCOMPARE(log, (QStringList{
                      "moved to first.txt holding slow bytes, first copy kept, listed " + staged, "returned",
                      "moved to second.txt holding slow bytes, first copy kept, listed " + restaged, "returned"}));
    QVERIFY(!QFile::exists(staged));
}

void TestFileList::folderIsWalkedOncePerAddition()
{
    const QString root = environment->root();
    writeFile(root + "/pics/deeper/a.txt", QByteArray(1000, 'a'));
    const QString other = writeFile(root + "/other.txt", "x");
    const QString gone = writeFile(root + "/gone.txt", "x");
    if (!setModifiedHourAgo(root + "/pics"))
        QSKIP("needs a way to set a folder's time");
    FileWidget list;
    list.addFiles({root + "/pics", other, gone});

    // Deeper down: the folder's own time stays, the rebuild keeps its figure.
    writeFile(root + "/pics/deeper/b.txt", QByteArray(2000, 'b'));
    list.removeFile(gone);
    QCOMPARE(rowNamed(list, "pics")->getSize(), 1000.0f / 1024 / 1024);

    // Right inside: the folder's time moves and the rebuild walks it again.
    writeFile(root + "/pics/c.txt", QByteArray(4000, 'c'));
    list.removeFile(other);
    QCOMPARE(rowNamed(list, "pics")->getSize(), 7000.0f / 1024 / 1024);
}

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
