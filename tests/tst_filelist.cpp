#include "app/MainWidget.h"
#include "filelist/FileWidget.h"
#include "filelist/SingleFileWidget.h"
#include "filelist/StagingFolder.h"
#include "support/TestSupport.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <memory>

using namespace TestSupport;

namespace {

const QString existsText = QStringLiteral("The file with the name you provided exists");
const QString renameExistsText = QStringLiteral("The file with the name you provided exists, Please choose another name");
const QString invalidText = QStringLiteral("The file name you provided is not valid, Please choose another name");
const QString copyFailedText = QStringLiteral("The file could not be copied under the new name");
const QString limitText = QStringLiteral("You can't add more than 500 MB of files");

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

QPoint cellOf(FileWidget &list, SingleFileWidget *row)
{
    auto *grid = list.findChild<QGridLayout *>();
    int r = -1, c = -1, rs = 0, cs = 0;
    grid->getItemPosition(grid->indexOf(row), &r, &c, &rs, &cs);
    return QPoint(c, r);
}

QString sizeTextOf(SingleFileWidget *row)
{
    for (QLabel *label : row->findChildren<QLabel *>()) {
        if (!label->text().isEmpty())
            return label->text();
    }
    return QString();
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void drop(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropEvent);
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
    void renameDoesNothing_data();
    void renameDoesNothing();
    void renameRefused_data();
    void renameRefused();
    void renameReplacesLeftover();
    void renameWithVanishedSource();
    void stagingFolderIsPrivate();
    void stagingLinkIsNeverFollowed();
    void stagingFolderOfAnotherUser();
    void dropsFilesFoldersAndLinks();
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
}

void TestFileList::cleanup()
{
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
    else
        QCOMPARE(exceeded.first().first().toString(), limitText);
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
    QTest::addColumn<QString>("picture");
    QTest::newRow("pdf") << "a.pdf" << ":/qrc/file-pdf.svg";
    QTest::newRow("upper-case PDF is not") << "Report.PDF" << "";
    QTest::newRow("jpeg") << "photo.jpeg" << ":/qrc/file-image.svg";
    QTest::newRow("png") << "p.png" << ":/qrc/file-image.svg";
    QTest::newRow("docx") << "letter.docx" << ":/qrc/file-word.svg";
    QTest::newRow("txt") << "notes.txt" << "";
}

void TestFileList::typePicture()
{
    QFETCH(QString, name);
    QFETCH(QString, picture);
    SingleFileWidget row(file(name));
    QImage shown;
    for (QLabel *label : row.findChildren<QLabel *>()) {
        if (!label->pixmap().isNull())
            shown = label->pixmap().toImage();
    }
    QVERIFY(!shown.isNull());
    const QImage drawing = QPixmap(":/qrc/file-pdf.svg").toImage();
    if (picture.isEmpty()) {
        QVERIFY(shown.width() <= 22 && shown.height() <= 30);
        QVERIFY(shown != drawing);
    } else {
        QCOMPARE(shown, QPixmap(picture).toImage());
    }
}

void TestFileList::longNamesAreShortened()
{
    SingleFileWidget row(file("holiday_pictures_from_the_summer_of_2023.zip"));
    auto *nameButton = row.findChild<QPushButton *>();
    QCOMPARE(nameButton->text(), QStringLiteral("holid...3.zip"));
    QCOMPARE(row.getName(), QStringLiteral("holiday_pictures_from_the_summer_of_2023.zip"));
    row.setName(QStringLiteral("a.txt"));
    QCOMPARE(nameButton->text(), QStringLiteral("a.txt"));
    auto *removeButton = row.findChild<QToolButton *>();
    QCOMPARE(removeButton->toolTip(), QStringLiteral("Remove"));
    QCOMPARE(removeButton->accessibleName(), QStringLiteral("Remove"));
}

void TestFileList::duplicateNames()
{
    FileWidget list;
    ModalAnswerer answerer;
    answerer.answerMessageBox();
    answerer.answerMessageBox();
    QSignalSpy changed(&list, &FileWidget::sizeChanged);
    list.addFiles({file("one/Report.pdf"), file("one/Report.pdf"), file("two/Report.pdf"), file("two/report.pdf")});
    QCOMPARE(answerer.seenTexts(), (QStringList{existsText, existsText}));
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
    QSignalSpy initSpy(&list, &FileWidget::initDestinationPath);

    rowNamed(list, "b.txt")->findChild<QToolButton *>()->click();
    QCOMPARE(log, (QStringList{"0", "C.txt", "1", "2", "3", "4"}));
    QCOMPARE(initSpy.size(), 1);
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
    ModalAnswerer answerer;
    answerer.answerInputDialog("b.txt");
    rowNamed(list, "a.txt")->findChild<QPushButton *>()->click();
    const QString firstCopy = StagingFolder::path() + "/b.txt";
    QVERIFY(QFile::exists(firstCopy));

    // A rebuild reads each file again, as a row made anew would.
    QVERIFY(!writeFile(grows, QByteArray(4096, 'x')).isEmpty());
    rowNamed(list, "gone.txt")->findChild<QToolButton *>()->click();
    QCOMPARE(sizeTextOf(rowNamed(list, "grows.txt")), QStringLiteral("5KB"));
    QCOMPARE(list.getSize(), 4097.0f / 1024.0f / 1024.0f);

    // The rebuilt row stands for the copy as if it were the user's file:
    // renaming it again makes a new copy and leaves the older one alone.
    answerer.answerInputDialog("c.txt");
    rowNamed(list, "b.txt")->findChild<QPushButton *>()->click();
    QVERIFY(QFile::exists(StagingFolder::path() + "/c.txt"));
    QVERIFY(QFile::exists(firstCopy));
    QCOMPARE(answerer.pending(), 0);
}

void TestFileList::renameMakesStagingCopy()
{
    FileWidget list;
    const QString original = file("a.txt", "user's bytes");
    list.addFile(original);
    ModalAnswerer answerer;
    answerer.answerInputDialog("b.txt");
    rowNamed(list, "a.txt")->findChild<QPushButton *>()->click();

    const QString staged = StagingFolder::path() + "/b.txt";
    QCOMPARE(list.getFiles(), QStringList{staged});
    QCOMPARE(contentOf(staged), QByteArray("user's bytes"));
    QCOMPARE(contentOf(original), QByteArray("user's bytes"));
#ifdef Q_OS_UNIX
    QCOMPARE(QFileInfo(StagingFolder::path()).permissions() & 0x0077, QFile::Permissions());
#endif

    // The user's name is free again; the new one is taken.
    answerer.answerMessageBox();
    list.addFiles({original, file("elsewhere/b.txt")});
    QCOMPARE(answerer.seenTexts().last(), existsText);
    QCOMPARE(list.getFiles(), (QStringList{staged, original}));

    answerer.answerInputDialog("c.txt");
    rowNamed(list, "b.txt")->findChild<QPushButton *>()->click();
    QVERIFY(!QFile::exists(staged));
    QCOMPARE(contentOf(StagingFolder::path() + "/c.txt"), QByteArray("user's bytes"));
    QCOMPARE(contentOf(original), QByteArray("user's bytes"));
    QCOMPARE(answerer.pending(), 0);
}

void TestFileList::renameDoesNothing_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("same name") << "a.txt";
    QTest::newRow("empty") << "";
    QTest::newRow("cancelled") << QString();
}

void TestFileList::renameDoesNothing()
{
    QFETCH(QString, answer);
    FileWidget list;
    list.addFile(file("a.txt"));
    ModalAnswerer answerer;
    if (answer.isNull())
        answerer.cancelInputDialog();
    else
        answerer.answerInputDialog(answer);
    rowNamed(list, "a.txt")->findChild<QPushButton *>()->click();
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(list.getFiles(), QStringList{environment->root() + "/a.txt"});
    QVERIFY(!QFileInfo::exists(StagingFolder::path()));
}

void TestFileList::renameRefused_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("message");
    QTest::newRow("listed name") << "b.txt" << renameExistsText;
    QTest::newRow("climbs out") << "../escaped.txt" << invalidText;
    QTest::newRow("subfolder") << "sub/x.txt" << invalidText;
    QTest::newRow("backslash") << "..\\escaped.txt" << invalidText;
    QTest::newRow("dot") << "." << invalidText;
    QTest::newRow("dot dot") << ".." << invalidText;
}

void TestFileList::renameRefused()
{
    QFETCH(QString, answer);
    QFETCH(QString, message);
    FileWidget list;
    list.addFiles({file("a.txt"), file("b.txt")});
    const QStringList before = list.getFiles();
    QSignalSpy moved(rowNamed(list, "a.txt"), &SingleFileWidget::filePathChanged);
    ModalAnswerer answerer;
    answerer.answerInputDialog(answer);
    answerer.answerMessageBox();
    rowNamed(list, "a.txt")->findChild<QPushButton *>()->click();
    QCOMPARE(answerer.seenTexts().last(), message);
    QCOMPARE(list.getFiles(), before);
    QCOMPARE(moved.size(), 0);
    QVERIFY(rowNamed(list, "a.txt"));
    QCOMPARE(QDir(environment->tempPath()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestFileList::renameReplacesLeftover()
{
    writeFile(StagingFolder::path() + "/b.txt", "left from an earlier rename");
    FileWidget list;
    list.addFile(file("a.txt", "mine"));
    ModalAnswerer answerer;
    answerer.answerInputDialog("b.txt");
    rowNamed(list, "a.txt")->findChild<QPushButton *>()->click();
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
    ModalAnswerer answerer;
    answerer.answerInputDialog("b.txt");
    answerer.answerMessageBox();
    row->findChild<QPushButton *>()->click();
    QCOMPARE(answerer.seenTexts().last(), copyFailedText);
    QCOMPARE(moved.size(), 0);
    QCOMPARE(row->getName(), QStringLiteral("a.txt"));
    QCOMPARE(row->findChild<QPushButton *>()->text(), QStringLiteral("a.txt"));
    QCOMPARE(list.getFiles(), QStringList{original});
}

void TestFileList::stagingFolderIsPrivate()
{
    QVERIFY(StagingFolder::prepare());
#ifdef Q_OS_UNIX
    QCOMPARE(QFileInfo(StagingFolder::path()).permissions() & 0x0077, QFile::Permissions());
#else // NTFS has no such bits: the user's own temporary folder is private to them
    QVERIFY(StagingFolder::path().startsWith(QDir::tempPath() + '/'));
#endif
    writeFile(StagingFolder::path() + "/copy.txt", "x");
    StagingFolder::remove();
    QVERIFY(!QFileInfo::exists(StagingFolder::path()));
}

void TestFileList::stagingLinkIsNeverFollowed()
{
    const QString other = environment->root() + "/other";
    const QString precious = writeFile(other + "/precious.txt", "keep");
    QVERIFY(QFile::link(other, StagingFolder::path()));

    FileWidget list;
    list.addFile(file("a.txt"));
    ModalAnswerer answerer;
    answerer.answerInputDialog("b.txt");
    answerer.answerMessageBox();
    rowNamed(list, "a.txt")->findChild<QPushButton *>()->click();
    QCOMPARE(answerer.seenTexts().last(), copyFailedText);
    QCOMPARE(list.getFiles(), QStringList{environment->root() + "/a.txt"});
    QVERIFY(!QFile::exists(other + "/b.txt"));

    StagingFolder::remove();
    QCOMPARE(contentOf(precious), QByteArray("keep"));
}

void TestFileList::stagingFolderOfAnotherUser()
{
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        QSKIP("Handing a folder to another user needs root");
    QVERIFY(QDir().mkpath(StagingFolder::path()));
    const QString theirs = writeFile(StagingFolder::path() + "/theirs.txt", "theirs");
    QCOMPARE(::chown(QFile::encodeName(StagingFolder::path()).constData(), 65534, 65534), 0);
    QVERIFY(!StagingFolder::prepare());
    StagingFolder::remove();
    QCOMPARE(contentOf(theirs), QByteArray("theirs"));
#else
    QSKIP("Unix owners only");
#endif
}

void TestFileList::dropsFilesFoldersAndLinks()
{
    const QString root = environment->root();
    file("pics/a.txt", QByteArray(1000, 'a'));
    file("pics/deeper/b.txt", QByteArray(2000, 'b'));
    makeSparseFile(root + "/huge.bin", 600 << 20);
#ifdef Q_OS_UNIX // Windows makes a .lnk shortcut instead: a small file of its own
    QVERIFY(QFile::link(root + "/huge.bin", root + "/pics/link.bin"));
#endif
    const QString notes = file("notes.txt");

    FileWidget list;
    QStringList log;
    connect(&list, &FileWidget::initDestinationPath, [&log](const QString &path) { log << "init " + path; });
    connect(&list, &FileWidget::sizeChanged, [&log](float) { log << "size"; });
    drop(&list, {QUrl("https://example.com/page"), QUrl::fromLocalFile(root + "/pics/"),
                 QUrl::fromLocalFile(notes), QUrl::fromLocalFile(root + "/huge.bin")});
    QCOMPARE(log, (QStringList{"init " + root + "/pics", "size", "init " + notes, "size",
                               "init " + root + "/huge.bin"}));

    SingleFileWidget *folder = rowNamed(list, "pics");
    QVERIFY(folder);
    QCOMPARE(folder->getSize(), 3000.0f / 1024 / 1024);
    auto pictureOf = [](SingleFileWidget *row) {
        for (QLabel *label : row->findChildren<QLabel *>()) {
            if (!label->pixmap().isNull())
                return label->pixmap().toImage();
        }
        return QImage();
    };
    QVERIFY(!pictureOf(folder).isNull());
    QVERIFY(pictureOf(folder) != pictureOf(rowNamed(list, "notes.txt")));

    // A folder over the limit is refused like a file.
    QVERIFY(QFile::rename(root + "/huge.bin", root + "/pics/deeper/huge.bin"));
    QSignalSpy exceeded(&list, &FileWidget::sizeExceeded);
    list.updateFiles();
    QCOMPARE(exceeded.size(), 1);
    QCOMPARE(list.getFiles(), QStringList{notes});

    QMimeData text;
    text.setText("plain");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &enter);
    QVERIFY(!enter.isAccepted());
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
    // that the batch opens.
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

    ModalAnswerer answerer;
    answerer.answerMessageBox();
    emit window.addFiles({makeSparseFile(environment->root() + "/huge.bin", 499 << 20)});
    QCOMPARE(answerer.seenTexts(), QStringList{limitText});
    QCOMPARE(answerer.seen().first().windowTitle, QStringLiteral("Brimlet"));
}

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
