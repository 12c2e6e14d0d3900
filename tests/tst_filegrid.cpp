#include "filelist/BackgroundWork.h"
#include "filelist/FileGrid.h"
#include "filelist/FileList.h"
#include "filelist/FileWidget.h"
#include "filelist/SingleFileWidget.h"
#include "filelist/StagingFolder.h"
#include "support/TestSupport.h"
#include "ui/ProgressDialog.h"

#include <QDir>
#include <QGridLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace TestSupport;

namespace {

constexpr int columns = 7;

// The rows that show a file where the user sees it: cell by cell.
QMap<int, SingleFileWidget *> rowsInView(FileWidget &list)
{
    QMap<int, SingleFileWidget *> shown;
    const QRect view = list.grid()->viewport()->rect();
    for (SingleFileWidget *row : list.grid()->rows()) {
        if (row->isVisible() && row->geometry().intersects(view))
            shown.insert(list.fileList()->cellOf(row->path()), row);
    }
    return shown;
}

// Where a grid of a row per file put the cell's row, in its own
// coordinates: 88-pixel rows, 35 apart, in an area with margins 24 and 7.
QPoint whereAGridPutsIt(int cell)
{
    QWidget viewport;
    QWidget area(&viewport);
    area.setContentsMargins(24, 7, 0, 0);
    auto *grid = new QGridLayout(&area);
    grid->setSpacing(35);
    grid->setAlignment(Qt::AlignTop);
    grid->setColumnStretch(columns, 1);
    QWidget *placed = nullptr;
    for (int i = 0; i <= cell; ++i) {
        auto *row = new QWidget(&area);
        row->setFixedSize(88, 88);
        grid->addWidget(row, i / columns, i % columns, Qt::AlignTop);
        placed = row;
    }
    area.resize(1000, 2000);
    grid->activate();
    return placed->pos();
}

// The cell of the file whose row has the keyboard focus, and whether the
// user can see that row.
QPair<int, bool> focusedCell(FileWidget &list)
{
    QWidget *focus = QApplication::focusWidget();
    for (SingleFileWidget *row : list.grid()->rows()) {
        if (focus && row->isAncestorOf(focus)) {
            const bool seen = list.grid()->viewport()->rect().contains(row->geometry());
            return {list.fileList()->cellOf(row->path()), seen};
        }
    }
    return {-1, false};
}

} // namespace

// The grid over a list longer than the view: rows only for what is in view,
// every file reached by scrolling and by keys.
class TestFileGrid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void longListKeepsEveryFile();
    void scrollingShowsEachCellsFile_data();
    void scrollingShowsEachCellsFile();
    void changesOutOfView();
    void keysReachEveryFile_data();
    void keysReachEveryFile();
    void deleteAndF2OnAFileOutOfView();
    void cancelOfALongAdditionKeepsWhatWasListed();

private:
    // Files named "f0000.txt" … of size 100 + i bytes, added in this order.
    QStringList makeFiles(int count, bool reversed = false);
    void showList(FileWidget &list);
    std::unique_ptr<IsolatedEnvironment> environment;
};

void TestFileGrid::init()
{
    environment = std::make_unique<IsolatedEnvironment>();
    QVERIFY(environment->isValid());
}

void TestFileGrid::cleanup()
{
    StagingFolder::ofThisProgram().release();
    environment.reset();
}

QStringList TestFileGrid::makeFiles(int count, bool reversed)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = environment->root() + QStringLiteral("/f%1.txt").arg(i, 4, 10, QLatin1Char('0'));
        paths << makeSparseFile(path, 100 + i);
    }
    if (reversed)
        std::reverse(paths.begin(), paths.end());
    return paths;
}

void TestFileGrid::showList(FileWidget &list)
{
    list.resize(900, 273);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
}

// Added against key order: the grid keeps the order of adding, the list its
// key order and the float total in it.
void TestFileGrid::longListKeepsEveryFile()
{
    const QStringList added = makeFiles(3000, true);
    FileWidget list;
    showList(list);
    list.addFiles(added);

    QStringList sorted = added;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(list.getFiles(), sorted);
    float total = 0.0f;
    for (const QString &path : sorted)
        total += list.fileList()->entry(path)->size();
    QVERIFY(list.getSize() == total);
    for (int cell = 0; cell < added.size(); ++cell)
        QCOMPARE(list.fileList()->pathAt(cell), added.at(cell));
    // The view costs what is on screen: a few lines of rows, not 3,000.
    QCOMPARE_LE(list.grid()->rows().size(), 6 * columns);
    QCOMPARE(list.grid()->accessibleName(), QStringLiteral("Files to compress"));
    QCOMPARE(list.grid()->accessibleDescription(), QStringLiteral("3,000 files"));
}

void TestFileGrid::scrollingShowsEachCellsFile_data()
{
    QTest::addColumn<double>("position"); // of the scroll bar's range
    QTest::newRow("top") << 0.0;
    QTest::newRow("part of a line") << 0.013;
    QTest::newRow("middle") << 0.5;
    QTest::newRow("end") << 1.0;
}

void TestFileGrid::scrollingShowsEachCellsFile()
{
    QFETCH(double, position);
    const QStringList added = makeFiles(500, true);
    FileWidget list;
    showList(list);
    list.addFiles(added);
    QScrollBar *bar = list.grid()->verticalScrollBar();
    bar->setValue(int(bar->maximum() * position));

    const QMap<int, SingleFileWidget *> shown = rowsInView(list);
    QVERIFY(!shown.isEmpty());
    // Every cell that meets the view has its row, showing its file, where
    // a grid of all the rows would have it.
    const QRect view = list.grid()->viewport()->rect();
    for (int cell = 0; cell < added.size(); ++cell) {
        const bool inView = list.grid()->cellRect(cell).intersects(view);
        QCOMPARE(shown.contains(cell), inView);
        if (!inView)
            continue;
        SingleFileWidget *row = shown.value(cell);
        QCOMPARE(row->getName(), QFileInfo(added.at(cell)).fileName());
        QCOMPARE(row->geometry(), list.grid()->cellRect(cell));
    }
    // Where the grid of all the rows had it.
    for (int cell : {0, 1, 8}) {
        const QPoint shown = list.grid()->cellRect(cell).topLeft() + QPoint(0, bar->value());
        QCOMPARE(shown, whereAGridPutsIt(cell));
    }
    if (position == 1.0)
        QVERIFY(shown.contains(added.size() - 1));
}

// A rename keeps the file's cell; a removal lists the rest anew in key order.
void TestFileGrid::changesOutOfView()
{
    const QStringList added = makeFiles(300, true);
    FileWidget list;
    showList(list);
    list.addFiles(added);
    FileWidget::setNextRenameAnswer(QStringLiteral("renamed.txt"));
    list.renameFile(added.at(250));
    const QString copy = StagingFolder::ofThisProgram().path() + QStringLiteral("/renamed.txt");
    QCOMPARE(list.fileList()->cellOf(copy), 250);
    list.grid()->scrollToCell(250);
    QCOMPARE(rowsInView(list).value(250)->getName(), QStringLiteral("renamed.txt"));

    list.grid()->scrollToCell(0);
    list.removeFile(added.at(280));
    QCOMPARE(list.fileCount(), 299);
    QVERIFY(!list.fileList()->entry(added.at(280)));
    const QStringList listed = list.getFiles();
    for (auto [cell, row] : rowsInView(list).asKeyValueRange())
        QCOMPARE(row->path(), listed.at(cell));
}

void TestFileGrid::keysReachEveryFile_data()
{
    QTest::addColumn<QString>("keys"); // Tab, Backtab, End, Home, Up, Down, Left, Right, PgUp, PgDn
    QTest::addColumn<int>("cell");     // focused at the end; -1: the focus left the list
    QTest::newRow("Tab into the list") << "Tab" << 0;
    QTest::newRow("Shift+Tab into it from below") << "Backtab" << 99;
    QTest::newRow("End") << "Tab End" << 99;
    QTest::newRow("End, Home") << "Tab End Home" << 0;
    QTest::newRow("Tab on from the last") << "Backtab Tab" << -1;
    QTest::newRow("Shift+Tab back from the first") << "Tab Backtab" << -1;
    QTest::newRow("Down a line") << "Tab Down Down" << 14;
    QTest::newRow("Up at the top stays") << "Tab Right Up" << 1;
    QTest::newRow("Left, Right") << "Tab Right Right Left" << 1;
    QTest::newRow("Page Down, a screenful of lines") << "Tab PgDn PgDn" << 28;
    QTest::newRow("Page Up") << "Tab End PgUp" << 85;
    QTest::newRow("Down from the line above the last") << "Tab End Up Right Down" << 99;
    QTest::newRow("Tab through every file") << QString("Tab ").repeated(100).trimmed() << 99;
}

// From one file to any other, each brought into view.
void TestFileGrid::keysReachEveryFile()
{
    QFETCH(QString, keys);
    QFETCH(int, cell);
    QWidget window;
    auto *before = new QPushButton(QStringLiteral("before"), &window);
    auto *list = new FileWidget(&window);
    auto *after = new QPushButton(QStringLiteral("after"), &window);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(before);
    layout->addWidget(list);
    layout->addWidget(after);
    QWidget::setTabOrder(before, list->tabAnchor());
    QWidget::setTabOrder(list->tabAnchor(), after);
    window.resize(940, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    list->addFiles(makeFiles(100));
    const QMap<QString, Qt::Key> named{{"Tab", Qt::Key_Tab}, {"Backtab", Qt::Key_Backtab},
                                       {"End", Qt::Key_End}, {"Home", Qt::Key_Home}, {"Up", Qt::Key_Up},
                                       {"Down", Qt::Key_Down}, {"Left", Qt::Key_Left}, {"Right", Qt::Key_Right},
                                       {"PgUp", Qt::Key_PageUp}, {"PgDn", Qt::Key_PageDown}};
    const QStringList pressed = keys.split(' ');
    (pressed.first() == "Backtab" ? after : before)->setFocus();
    for (const QString &key : pressed)
        QTest::keyClick(QApplication::focusWidget(), named.value(key));

    const auto [focused, seen] = focusedCell(*list);
    QCOMPARE(focused, cell);
    if (cell >= 0)
        QVERIFY(seen);
    else
        QCOMPARE(QApplication::focusWidget(), pressed.last() == "Tab" ? after : before);
}

// Keys act on the file that has the focus, wherever the list was scrolled.
void TestFileGrid::deleteAndF2OnAFileOutOfView()
{
    const QStringList added = makeFiles(200);
    FileWidget list;
    showList(list);
    list.addFiles(added);
    list.grid()->focusCell(150);
    list.grid()->verticalScrollBar()->setValue(0);
    QCOMPARE(focusedCell(list), qMakePair(150, false));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    QVERIFY(!list.fileList()->entry(added.at(150)));
    // On to the next file, in view.
    QCOMPARE(focusedCell(list), qMakePair(150, true));
    QCOMPARE(list.fileList()->pathAt(150), added.at(151));

    list.grid()->verticalScrollBar()->setValue(0);
    FileWidget::setNextRenameAnswer(QStringLiteral("renamed.txt"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    QCOMPARE(list.fileList()->entry(list.fileList()->pathAt(150))->name, QStringLiteral("renamed.txt"));
    QCOMPARE(focusedCell(list).first, 150);
}

// Cancel while many files are being added: what was listed stays, whole,
// and the grid shows exactly that.
void TestFileGrid::cancelOfALongAdditionKeepsWhatWasListed()
{
    const QStringList added = makeFiles(3000);
    FileWidget list;
    showList(list);
    QSignalSpy sizes(&list, &FileWidget::sizeChanged);
    bool cancelled = false;
    connect(list.fileList(), &FileList::cellsChanged, &list, [&] {
        if (std::exchange(cancelled, true))
            return;
        // As the user's click would, between two steps of the list.
        QTimer::singleShot(0, list.fileList()->work(), &BackgroundWork::cancel);
    });
    list.addFiles(added);

    const int listed = list.fileCount();
    QCOMPARE_GT(listed, 0);
    QCOMPARE_LT(listed, added.size());
    QCOMPARE(list.getFiles(), added.mid(0, listed));
    float total = 0.0f;
    for (int cell = 0; cell < listed; ++cell) {
        QCOMPARE(list.fileList()->pathAt(cell), added.at(cell));
        total += list.fileList()->entry(added.at(cell))->size();
    }
    QVERIFY(list.getSize() == total);
    QVERIFY(sizes.last().first().toFloat() == total);
    list.grid()->scrollToCell(listed - 1);
    QVERIFY(rowsInView(list).contains(listed - 1));
    QVERIFY(!rowsInView(list).contains(listed));
}

QTEST_MAIN(TestFileGrid)
#include "tst_filegrid.moc"
