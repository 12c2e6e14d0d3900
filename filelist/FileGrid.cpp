#include "filelist/FileGrid.h"

#include "filelist/FileList.h"
#include "filelist/SingleFileWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLocale>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

namespace {

constexpr int columnCount = 7;
constexpr int rowSide = 88;
constexpr int spacing = 35;
constexpr int pitch = rowSide + spacing;
// Where the rows' area kept the grid, inside the grid's own margins.
constexpr int areaLeft = 24;
constexpr int areaTop = 7;
// As a scroll area scrolls its widget.
constexpr int singleStep = 20;
// Room kept around a cell brought into view, as for a focused widget.
constexpr int roomAround = 50;
// New rows are made for this long at a time while files are being listed,
// so that filling an empty view never holds the window up for long.
constexpr qint64 makingRowsMs = 6;

bool isMovement(int key)
{
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

} // namespace

FileGrid::FileGrid(FileList *list, QWidget *parent)
    : QScrollArea(parent)
    , list(list)
{
    setFrameShape(QFrame::NoFrame);
    // Transparent, so the panel's own background shows.
    viewport()->setAutoFillBackground(false);
    setAccessibleName(QStringLiteral("Files to compress"));
    verticalScrollBar()->setSingleStep(singleStep);
    horizontalScrollBar()->setSingleStep(singleStep);
    tellCount();
    // Whatever rows a change left to make are made once it is over.
    connect(list, &FileList::changesEnded, this, [this] { placeRows(true); });
}

void FileGrid::refresh(int first)
{
    tellCount();
    const int count = list->count();
    for (auto it = rowOfCell.cbegin(); it != rowOfCell.cend(); ++it) {
        if (it.key() >= first && it.key() < count)
            showCell(it.value(), it.key());
    }
    updateScrollRange();
    placeRows();
}

// Heard by a screen reader with the list's name. Tab stops on the list
// only while it holds files, and hands its focus on to one of them.
void FileGrid::tellCount()
{
    const int count = list->count();
    if (count == shownCount)
        return;
    shownCount = count;
    setFocusPolicy(count > 0 ? Qt::TabFocus : Qt::ClickFocus);
    const QString files = count == 1 ? QStringLiteral("1 file")
                                     : QLocale(QLocale::English).toString(count) + QStringLiteral(" files");
    setAccessibleDescription(count == 0 ? QStringLiteral("No files") : files);
}

int FileGrid::columnsShown() const
{
    return qMin(list->count(), columnCount);
}

int FileGrid::linesInView() const
{
    return qMax(1, viewport()->height() / pitch);
}

QRect FileGrid::cellRect(int cell) const
{
    return QRect(left + (cell % columnCount) * pitch - horizontalScrollBar()->value(),
                 top + (cell / columnCount) * pitch - verticalScrollBar()->value(), rowSide, rowSide);
}

// The scroll bars act as if a grid of every row were there, with the
// margins such a grid had.
void FileGrid::updateScrollRange()
{
    const QStyle *shownStyle = viewport()->style();
    left = areaLeft + shownStyle->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, viewport());
    top = areaTop + shownStyle->pixelMetric(QStyle::PM_LayoutTopMargin, nullptr, viewport());
    right = shownStyle->pixelMetric(QStyle::PM_LayoutRightMargin, nullptr, viewport());
    bottom = shownStyle->pixelMetric(QStyle::PM_LayoutBottomMargin, nullptr, viewport());
    const int lines = (list->count() + columnCount - 1) / columnCount;
    const int columns = columnsShown();
    const int height = lines > 0 ? top + lines * pitch - spacing + bottom : 0;
    const int width = columns > 0 ? left + columns * pitch - spacing + right : 0;
    const QSize view = viewport()->size();
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setRange(0, qMax(0, height - view.height()));
    horizontalScrollBar()->setPageStep(view.width());
    horizontalScrollBar()->setRange(0, qMax(0, width - view.width()));
}

// Rows for the lines in view and one line either side; the row with the
// focus keeps its cell wherever that is, so the focus never jumps to
// another file as the list scrolls.
void FileGrid::placeRows(bool allAtOnce)
{
    const int count = list->count();
    const int scrolled = verticalScrollBar()->value();
    const int firstLine = qMax(0, (scrolled - top) / pitch - 1);
    const int lastLine = (scrolled + viewport()->height() - top) / pitch + 1;
    const int firstCell = firstLine * columnCount;
    const int endCell = qMin(count, (lastLine + 1) * columnCount);
    const int focused = focusedCell();
    for (auto it = rowOfCell.begin(); it != rowOfCell.end();) {
        const int cell = it.key();
        if (cell < count && ((cell >= firstCell && cell < endCell) || cell == focused)) {
            ++it;
            continue;
        }
        SingleFileWidget *row = it.value();
        // Its file left the list: the focus waits on the list itself.
        if (cell == focused)
            setFocus(Qt::OtherFocusReason);
        row->hide();
        spare << row;
        it = rowOfCell.erase(it);
    }
    QElapsedTimer making;
    making.start();
    for (int cell = firstCell; cell < endCell; ++cell) {
        if (rowOfCell.contains(cell))
            continue;
        if (spare.isEmpty() && !allAtOnce && list->isBusy() && making.elapsed() >= makingRowsMs) {
            if (!std::exchange(rowsPending, true))
                QTimer::singleShot(0, this, [this] { rowsPending = false; placeRows(); });
            break;
        }
        SingleFileWidget *row = spareRow();
        showCell(row, cell);
        rowOfCell.insert(cell, row);
    }
    for (auto it = rowOfCell.cbegin(); it != rowOfCell.cend(); ++it) {
        it.value()->setGeometry(cellRect(it.key()));
        it.value()->show();
    }
}

void FileGrid::showCell(SingleFileWidget *row, int cell)
{
    const FileList::Entry *entry = list->entry(list->pathAt(cell));
    if (entry)
        row->showFile(entry->path, entry->name, entry->bytes, entry->isFolder);
}

SingleFileWidget *FileGrid::spareRow()
{
    if (!spare.isEmpty())
        return spare.takeLast();
    auto *row = new SingleFileWidget(QString(), QString(), 0, false, viewport());
    // The path is read at click time: the row may show another file by then.
    connect(row, &SingleFileWidget::clicked, this, &FileGrid::removeRequested);
    connect(row, &SingleFileWidget::clickedForRename, this, [this, row] { emit renameRequested(row->path()); });
    // Keys that move between files reach the grid before the name's button,
    // which would take the arrows for a move to the next control.
    row->focusProxy()->installEventFilter(this);
    return row;
}

SingleFileWidget *FileGrid::rowAt(int cell) const
{
    return rowOfCell.value(cell);
}

QList<SingleFileWidget *> FileGrid::rows() const
{
    return rowOfCell.values();
}

int FileGrid::cellOfRow(const QWidget *widget) const
{
    for (auto it = rowOfCell.cbegin(); widget && it != rowOfCell.cend(); ++it) {
        if (it.value() == widget || it.value()->isAncestorOf(widget))
            return it.key();
    }
    return -1;
}

int FileGrid::focusedCell() const
{
    return cellOfRow(QApplication::focusWidget());
}

void FileGrid::scrollToCell(int cell)
{
    const QRect shown = cellRect(cell);
    const int height = viewport()->height();
    const int room = qMin(roomAround, qMax(0, (height - rowSide) / 2));
    if (shown.top() - room < 0)
        verticalScrollBar()->setValue(verticalScrollBar()->value() + shown.top() - room);
    else if (shown.bottom() + room >= height)
        verticalScrollBar()->setValue(verticalScrollBar()->value() + shown.bottom() + room - height + 1);
    const int width = viewport()->width();
    if (shown.left() < 0)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + shown.left());
    else if (shown.right() >= width)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + shown.right() - width + 1);
}

void FileGrid::focusCell(int cell, Qt::FocusReason reason)
{
    if (cell < 0 || cell >= list->count())
        return;
    scrollToCell(cell);
    placeRows(true);
    if (SingleFileWidget *row = rowAt(cell))
        row->setFocus(reason);
}

// Arrows move a cell at a time, up and down a line; Page Up and Down a
// screenful of lines; Home and End to the first and last file.
bool FileGrid::moveFocus(int key)
{
    const int count = list->count();
    if (count == 0)
        return false;
    const int cell = focusedCell();
    const int line = columnCount;
    const int page = linesInView() * columnCount;
    int target = cell;
    switch (key) {
    case Qt::Key_Left: target = cell - 1; break;
    case Qt::Key_Right: target = cell + 1; break;
    case Qt::Key_Up: target = cell - line; break;
    case Qt::Key_Down: target = cell + line; break;
    case Qt::Key_PageUp: target = cell - page; break;
    case Qt::Key_PageDown: target = cell + page; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = count - 1; break;
    }
    if (cell < 0 && key != Qt::Key_End)
        target = 0;
    else if (key == Qt::Key_Up || key == Qt::Key_PageUp)
        target = target < 0 ? cell % line : target;
    else if (key == Qt::Key_Down || key == Qt::Key_PageDown)
        target = target >= count && (count - 1) / line > cell / line ? count - 1 : target;
    if (target < 0 || target >= count)
        return true;
    focusCell(target);
    return true;
}

bool FileGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (isMovement(key->key()) && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier)
            return moveFocus(key->key());
    }
    return QScrollArea::eventFilter(watched, event);
}

void FileGrid::keyPressEvent(QKeyEvent *event)
{
    if (isMovement(event->key()) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier
        && moveFocus(event->key()))
        return;
    QScrollArea::keyPressEvent(event);
}

// Tab goes from file to file in the grid's order, then on to the control
// after the list; Shift+Tab back the same way.
bool FileGrid::focusNextPrevChild(bool next)
{
    const int cell = focusedCell();
    const int target = cell >= 0 ? cell + (next ? 1 : -1) : (next && hasFocus() ? 0 : -1);
    if (target >= 0 && target < list->count())
        focusCell(target, next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    else
        leaveList(next);
    return true;
}

void FileGrid::leaveList(bool forward)
{
    QWidget *stop = this;
    for (;;) {
        stop = forward ? stop->nextInFocusChain() : stop->previousInFocusChain();
        if (!stop || stop == this)
            return;
        const bool isTabStop = (stop->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
        if (isTabStop && !isAncestorOf(stop) && stop->isEnabled() && stop->isVisibleTo(window())) {
            stop->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

// Reached by Tab the list hands the focus to its first file, by Shift+Tab
// to its last; otherwise (a click beside the rows) it keeps it.
void FileGrid::focusInEvent(QFocusEvent *event)
{
    QScrollArea::focusInEvent(event);
    if (event->reason() == Qt::TabFocusReason)
        focusCell(0);
    else if (event->reason() == Qt::BacktabFocusReason)
        focusCell(list->count() - 1, Qt::BacktabFocusReason);
}

void FileGrid::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    updateScrollRange();
    placeRows();
}

void FileGrid::scrollContentsBy(int, int)
{
    placeRows();
}
