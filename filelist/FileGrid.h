#pragma once

#include <QHash>
#include <QList>
#include <QScrollArea>

class FileList;
class SingleFileWidget;

// The list's cells as the window shows them: seven columns, laid out and
// scrolled as a grid of a row widget per file would be, but with rows only
// for the cells in view (a line above and below too) and for the cell that
// has the keyboard focus. Scrolling hands the rows to other cells, so the
// grid costs what is on screen, whatever the list holds. Tab, the arrows,
// Home, End, Page Up and Page Down move the focus through every file.
class FileGrid : public QScrollArea
{
    Q_OBJECT

public:
    explicit FileGrid(FileList *list, QWidget *parent = nullptr);

    // The cells from first on may show other files, or their count changed.
    void refresh(int first);

    // The cell whose row has the keyboard focus, or -1.
    int focusedCell() const;
    // Scrolls the cell into view and gives its row the focus.
    void focusCell(int cell, Qt::FocusReason reason = Qt::TabFocusReason);
    // Scrolls as little as needed to show the whole cell.
    void scrollToCell(int cell);
    // The row that shows the cell, if one does.
    SingleFileWidget *rowAt(int cell) const;
    // The rows that show cells, whether in view or not.
    QList<SingleFileWidget *> rows() const;
    // Where the cell stands in the viewport.
    QRect cellRect(int cell) const;

signals:
    void removeRequested(const QString &path);
    void renameRequested(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    bool moveFocus(int key);
    void leaveList(bool forward);
    void updateScrollRange();
    void placeRows(bool allAtOnce = false);
    void showCell(SingleFileWidget *row, int cell);
    SingleFileWidget *spareRow();
    int cellOfRow(const QWidget *widget) const;
    int columnsShown() const;
    int linesInView() const;
    void tellCount();

    FileList *list;
    QHash<int, SingleFileWidget *> rowOfCell;
    QList<SingleFileWidget *> spare;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int shownCount = -1;
    bool rowsPending = false;
};
