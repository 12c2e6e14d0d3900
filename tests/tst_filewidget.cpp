#include "filelist/FileGrid.h"
#include "filelist/FileList.h"
#include "filelist/FileWidget.h"
#include "filelist/SingleFileWidget.h"
#include "filelist/StagingFolder.h"
#include "support/HeldWorkers.h"
#include "support/TestSupport.h"
#include "ui/ProgressDialog.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImageReader>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace TestSupport;

namespace {

const QString existsText = QStringLiteral("The file with the name you provided exists");

// The whole test runs scaled as on a 200 % screen, unless the caller chose
// a scale: set before QTEST_MAIN makes the application.
const bool scaled = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") || qputenv("QT_SCALE_FACTOR", "2");

// The rows that show files, in the grid's order.
QList<SingleFileWidget *> listedRows(FileWidget &list)
{
    QMap<int, SingleFileWidget *> byCell;
    for (SingleFileWidget *row : list.grid()->rows())
        byCell.insert(list.fileList()->cellOf(row->path()), row);
    return byCell.values();
}

SingleFileWidget *rowNamed(FileWidget &list, const QString &name)
{
    for (SingleFileWidget *row : list.grid()->rows()) {
        if (row->getName() == name)
            return row;
    }
    return nullptr;
}

// Column and line of the row's cell, where the row stands.
QPoint cellOf(FileWidget &list, SingleFileWidget *row)
{
    const int cell = list.fileList()->cellOf(row->path());
    return row->geometry() == list.grid()->cellRect(cell) ? QPoint(cell % 7, cell / 7) : QPoint(-1, -1);
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

// As a drag from another application ends: entered, then dropped.
void drop(FileWidget &list, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &enter);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &event);
}

} // namespace

// The list as the window shows it: its rows, drops, and the dialog of its disk work.
class TestFileWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rowSizeText_data();
    void rowSizeText();
    void typePicture_data();
    void typePicture();
    void removal_data();
    void removal();
    void dropIsAddedJustAfter();
    void rowsInGridAndScrolling();
    void renameDialog_data();
    void renameDialog();
    void folderRenameIsRefusedBeforeAsking();
    void changesWaitForDiskWork_data();
    void changesWaitForDiskWork();
    void cancelGivesControlBackAtOnce_data();
    void cancelGivesControlBackAtOnce();

private:
    QString file(const QString &relative, const QByteArray &content = "x");
    std::unique_ptr<IsolatedEnvironment> environment;
};

void TestFileWidget::init()
{
    environment = std::make_unique<IsolatedEnvironment>();
    QVERIFY(environment->isValid());
}

void TestFileWidget::cleanup()
{
    // Let go of the folder before its temporary folder goes.
    StagingFolder::ofThisProgram().release();
    environment.reset();
}

QString TestFileWidget::file(const QString &relative, const QByteArray &content)
{
    return writeFile(environment->root() + QLatin1Char('/') + relative, content);
}

void TestFileWidget::rowSizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shownName");
    QTest::newRow("empty, long name") << qint64(0) << "holiday_pictures_from_the_summer_of_2023.zip" << "1KB" << "holid...3.zip";
    QTest::newRow("one KiB counts one more") << qint64(1024) << "f.bin" << "2KB" << "f.bin";
    QTest::newRow("smallest MB") << qint64(1047552) << "f.bin" << "1MB" << "f.bin";
    QTest::newRow("two decimals") << qint64(12950000) << "f.bin" << "12.35MB" << "f.bin";
}

void TestFileWidget::rowSizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, shownName);
    SingleFileWidget row(environment->root() + '/' + name, name, bytes, false);
    QCOMPARE(sizeTextOf(&row), text);
    QCOMPARE(row.findChild<QPushButton *>()->text(), shownName);
    // A shortened name is read whole where the pointer rests on it.
    QCOMPARE(row.findChild<QPushButton *>()->toolTip(), name);
}

void TestFileWidget::typePicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("drawing");
    QTest::newRow("pdf") << "a.pdf" << ":/qrc/file-pdf.svg";
    QTest::newRow("upper-case PDF is not") << "Report.PDF" << "";
    QTest::newRow("folder") << "folder/" << "";
}

// Scaled (see the top): every picture must come with the window's pixel
// ratio, at its own size.
void TestFileWidget::typePicture()
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

void TestFileWidget::removal_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("removed"); // empty: the whole list is emptied
    QTest::addColumn<QStringList>("emitted"); // sizes in KiB and destination names
    QTest::addColumn<QStringList>("remaining"); // in cell order
    // Added out of key order; upper case sorts before lower case.
    QTest::newRow("third of five") << QStringList{"d.txt", "b.txt", "C.txt", "a.txt", "e.txt"} << "b.txt"
                                   << QStringList{"0", "C.txt", "4"}
                                   << QStringList{"C.txt", "a.txt", "d.txt", "e.txt"};
    QTest::newRow("the only one") << QStringList{"only.txt"} << "only.txt" << QStringList{"0"} << QStringList();
    QTest::newRow("emptied") << QStringList{"a.txt", "b.txt"} << "" << QStringList{"0"} << QStringList();
    QTest::newRow("emptied when empty") << QStringList() << "" << QStringList{"0"} << QStringList();
}

void TestFileWidget::removal()
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

void TestFileWidget::dropIsAddedJustAfter()
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
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &dropped);

    // The source application is released before any file is looked at.
    QVERIFY(dropped.isAccepted());
    QVERIFY(log.isEmpty());
    QTRY_COMPARE(log, (QStringList{"init " + root + "/pics", "init " + notes, "init " + huge, "size", "size"}));
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

// The rows scroll inside the panel; a change's message comes once they show
// what the change listed.
void TestFileWidget::rowsInGridAndScrolling()
{
    FileWidget list;
    list.resize(900, 273);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QStringList paths;
    for (int i = 0; i < 30; ++i)
        paths << file(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')));
    list.addFiles(paths);
    QTRY_VERIFY(list.grid()->verticalScrollBar()->maximum() > 0);
    QVERIFY(list.grid()->geometry().bottom() < 273);

    bool rowsShownDuringMessage = false;
    connect(&list, &FileWidget::refused, [&] {
        list.grid()->scrollToCell(list.fileCount() - 1);
        rowsShownDuringMessage = rowNamed(list, "g1.txt") && rowNamed(list, "g1.txt")->isVisible();
    });
    list.addFiles({file("g1.txt"), file("f01.txt"), file("g2.txt")});
    QVERIFY(rowsShownDuringMessage);
}

void TestFileWidget::renameDialog_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("selected");
    QTest::newRow("an extension") << "notes.txt" << "notes";
    QTest::newRow("two dots") << "backup.tar.gz" << "backup.tar";
    QTest::newRow("no extension") << "README" << "README";
    QTest::newRow("a name that starts with its dot") << ".profile" << ".profile";
}

// The dialog offers the name without its extension to type over; after a
// name is refused it comes back with what was typed.
void TestFileWidget::renameDialog()
{
    QFETCH(QString, name);
    QFETCH(QString, selected);
    const QString path = file("a/" + name);
    file("a/taken.txt");
    FileWidget list;
    list.show();
    list.addFiles({path, environment->root() + "/a/taken.txt"});
    QStringList offered;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        auto *field = dialog ? dialog->findChild<QLineEdit *>() : nullptr;
        if (!field || !field->hasSelectedText())
            return;
        offered << field->text() + " [" + field->selectedText() + "]";
        if (offered.size() == 1) {
            field->setText("taken.txt");
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
    answerer.start(10);
    QSignalSpy refused(&list, &FileWidget::refused);
    list.renameFile(path);
    QTRY_COMPARE(offered.size(), 2);
    QCOMPARE(offered, (QStringList{name + " [" + selected + "]", "taken.txt [taken]"}));
    QCOMPARE(refused.size(), 1);
    QVERIFY(refused.first().first().toString().contains(QDir::toNativeSeparators(environment->root() + "/a/taken.txt")));
}

// A folder keeps its name: said before any name is asked for.
void TestFileWidget::folderRenameIsRefusedBeforeAsking()
{
    const QString folder = QFileInfo(file("Photos/1.jpg")).absolutePath();
    FileWidget list;
    list.addFile(folder);
    FileWidget::setNextRenameAnswer("Pictures");
    QSignalSpy refused(&list, &FileWidget::refused);
    list.renameFile(folder);
    QCOMPARE(refused.size(), 1);
    QCOMPARE(list.getFiles(), QStringList{folder});
    // The answer set for a dialog was never asked for.
    list.addFile(file("b.txt"));
    list.renameFile(environment->root() + "/b.txt");
    QVERIFY(list.fileList()->entry(StagingFolder::ofThisProgram().path() + "/Pictures"));
}

void TestFileWidget::changesWaitForDiskWork_data()
{
    QTest::addColumn<QString>("slow");     // what runs on a held worker
    QTest::addColumn<QString>("meanwhile"); // what arrives while it waits
    QTest::addColumn<QStringList>("listed"); // names, in key order
    QTest::addColumn<QStringList>("refused");
    QTest::newRow("drop during a rename copy") << "rename a.txt to first.txt" << "drop other/first.txt"
                                               << QStringList{"first.txt"} << QStringList{existsText};
    QTest::newRow("same-named folders dropped back to back") << "drop A/Photos" << "drop B/Photos"
                                                             << QStringList{"Photos"} << QStringList{existsText};
    QTest::newRow("drop during a folder walk") << "drop A/Photos" << "drop c.txt"
                                               << QStringList{"Photos", "c.txt"} << QStringList();
    QTest::newRow("removal during a folder walk") << "drop A/Photos" << "remove a.txt"
                                                  << QStringList{"Photos"} << QStringList();
}

// Whatever arrives while the list waits for a worker (the event loop runs
// meanwhile) waits in turn and then meets the list as the first change left it.
void TestFileWidget::changesWaitForDiskWork()
{
    QFETCH(QString, slow);
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, refused);
    const QString a = file("a.txt");
    file("A/Photos/1.jpg");
    file("B/Photos/2.jpg");
    file("other/first.txt");
    file("c.txt");
    FileWidget list;
    list.addFile(a);
    QSignalSpy refusals(&list, &FileWidget::refused);
    HeldWorkers held;
    const QString path = environment->root() + '/' + meanwhile.section(' ', 1);
    whileHeld(held, [&] {
        if (meanwhile.startsWith("drop"))
            drop(list, {QUrl::fromLocalFile(path)});
        else
            rowNamed(list, "a.txt")->findChild<QToolButton *>()->click();
        // Nothing of it yet: the list is in the middle of a change.
        QCOMPARE(list.getFiles(), QStringList{a});
    });

    if (slow.startsWith("rename")) {
        list.fileList()->rename(a, "first.txt");
    } else {
        drop(list, {QUrl::fromLocalFile(environment->root() + '/' + slow.section(' ', 1))});
    }
    QTRY_VERIFY(held.released);
    QTRY_VERIFY(!list.fileList()->isBusy());

    QStringList names;
    for (const QString &listedPath : list.getFiles())
        names << QFileInfo(listedPath).fileName();
    names.removeAll("a.txt");
    QCOMPARE(names, listed);
    QCOMPARE(firstLines(refusals), refused);
    QCOMPARE(listedRows(list).size(), list.getFiles().size());
}

void TestFileWidget::cancelGivesControlBackAtOnce_data()
{
    QTest::addColumn<QString>("work");
    QTest::newRow("a copy stuck in a read") << "copy";
    QTest::newRow("a walk stuck in a folder") << "walk";
}

// The user's Cancel is answered at once, even by a worker that does not
// return; what the worker made it removes itself when it does.
void TestFileWidget::cancelGivesControlBackAtOnce()
{
    QFETCH(QString, work);
    const QString source = file("a.txt", QByteArray(3 << 20, 'a'));
    const QString folder = QFileInfo(file("Photos/1.jpg")).absolutePath();
    FileWidget list;
    list.show();
    if (work == "copy")
        list.addFile(source);
    HeldWorkers held;
    QElapsedTimer sinceCancel;
    QString detail;
    bool programsOwn = false;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<ProgressDialog *>(QApplication::activeModalWidget());
        if (!dialog || sinceCancel.isValid())
            return;
        // The program's own dialog, naming what it works on.
        detail = dialog->detail();
        programsOwn = (dialog->windowFlags() & Qt::FramelessWindowHint)
                      && !(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        sinceCancel.start();
        dialog->findChild<QPushButton *>()->click();
    });
    ticker.start(10);

    if (work == "copy")
        list.fileList()->rename(source, "b.txt");
    else
        list.addFile(folder);
    QVERIFY(sinceCancel.isValid());
    QCOMPARE_LT(sinceCancel.elapsed(), 1000);
    QVERIFY(programsOwn);
    QCOMPARE(detail, QDir::toNativeSeparators(work == "copy" ? source : folder));
    QCOMPARE(list.getFiles(), work == "copy" ? QStringList{source} : QStringList());
    QTRY_VERIFY(!QApplication::activeModalWidget());

    // The worker comes back on its own and leaves nothing behind.
    held.release();
    QTRY_COMPARE(copiesIn(environment->tempPath() + "/velmora"), QStringList());
    QCOMPARE(readFile(source).size(), 3 << 20);
}

QTEST_MAIN(TestFileWidget)
#include "tst_filewidget.moc"
