#include "filelist/FileWidget.h"

#include "app/MessageBox.h"

#include "filelist/SingleFileWidget.h"
#include "filelist/StagingFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QLayoutItem>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOption>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr float sizeLimit = 500.0f;
constexpr int columnCount = 7;
constexpr int rowSpacing = 35;
// A row's size in megabytes is a whole number of bytes scaled by 2^-20.
constexpr float unitsPerMegabyte = 1048576.0f;

QString fileNameOf(const QString &path)
{
    return QFileInfo(QFile(path)).fileName();
}

void clearLayout(QLayout *layout, bool deleteWidgets)
{
    // Taken from the end, so that the layout never shifts its remaining items.
    while (QLayoutItem *item = layout->takeAt(layout->count() - 1)) {
        if (QWidget *widget = item->widget(); widget && deleteWidgets) {
            widget->hide();
            widget->deleteLater();
        }
        if (QLayout *childLayout = item->layout())
            clearLayout(childLayout, deleteWidgets);
        delete item;
    }
}

} // namespace

FileWidget::FileWidget(QWidget *parent)
    : QWidget(parent)
    , gridLayout(nullptr)
    , gridRow(0)
    , gridColumn(0)
    , scrollArea(new QScrollArea)
    , total(0.0f)
    , exactTotalUnits(0)
    , openRowChanges(0)
    , rowsHeldBack(false)
{
    setAcceptDrops(true);

    // The panel keeps its fixed height however many rows it holds, so the
    // rows scroll inside it, clear of its border.
    auto *frameLayout = new QVBoxLayout(this);
    frameLayout->setContentsMargins(1, 8, 1, 8);
    frameLayout->addWidget(scrollArea);

    auto *rowArea = new QWidget;
    gridLayout = new QGridLayout(rowArea);
    gridLayout->setColumnStretch(columnCount, 1);
    gridLayout->setSpacing(rowSpacing);
    // Few rows stay packed at the top instead of spreading over the panel.
    gridLayout->setAlignment(Qt::AlignTop);
    rowArea->setContentsMargins(24, 7, 0, 0);
    // The rows' name and size texts, styled once for all rows: a style sheet
    // of each row's own would be parsed and resolved again for every row.
    rowArea->setStyleSheet(QStringLiteral(
        "SingleFileWidget > QPushButton#nameButton {"
        "font: normal normal normal 10px/10px Noto Sans;color: #5272BA;opacity: 1;"
        "background-color: rgba(255, 255, 255, 0);}"
        "SingleFileWidget > QLabel#fileSizeLabel {"
        "font: normal normal normal 10px/10px Noto Sans;color: #5272BA;opacity: 1;}"));

    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(true);
    scrollArea->setWidget(rowArea);
    // Transparent all the way down, so the panel's own background shows.
    scrollArea->viewport()->setAutoFillBackground(false);
    rowArea->setAutoFillBackground(false);

    connect(scrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this, &FileWidget::showRowsNearView);

    setFixedHeight(273);
}

FileWidget::~FileWidget() = default;

void FileWidget::addFile(QString path)
{
    const QString name = fileNameOf(path);
    if (checkIfFileNameExists(name)) {
        showPlacedRows();
        MessageBox::tell(QStringLiteral("The file with the name you provided exists"));
        return;
    }

    // Made inside the grid's widget at once, for the same reason as the
    // row's own children; a refused row is never shown there.
    auto *row = new SingleFileWidget(path, gridLayout->parentWidget());
    // The user stopped the measuring of a folder: it is not added.
    if (!row->isMeasured()) {
        row->hide();
        row->deleteLater();
        return;
    }
    connect(row, &SingleFileWidget::clickedForRename, this, &FileWidget::renameFile);
    connect(row, &SingleFileWidget::filePathChanged, this, &FileWidget::onFileNameChanged);
    connect(row, &SingleFileWidget::clicked, this, &FileWidget::removeFile);
    listRow(path, row);
}

void FileWidget::listRow(const QString &path, SingleFileWidget *row)
{
    if (row->getSize() + total > sizeLimit) {
        row->hide();
        row->deleteLater();
        showPlacedRows();
        emit sizeExceeded(QStringLiteral("You can't add more than 500 MB of files"));
        return;
    }

    const QString name = fileNameOf(path);
    const auto inserted = files.emplace(path, row).first;
    listedNames.insert(name);
    insertListedPath(path);
    addToTotal(row, std::next(inserted) == files.end());

    placeRow(row);
    if (++gridColumn == columnCount) {
        gridColumn = 0;
        ++gridRow;
    }
    reportSize();
}

// Showing a row styles its widgets against the style sheet, which costs
// more than building it. So a row is placed hidden (it keeps its cell) and
// shown once it comes near the panel's view: with a thousand rows listed,
// only the few dozen that can be scrolled to at once are styled.
void FileWidget::placeRow(SingleFileWidget *row)
{
    if (openRowChanges > 0)
        holdRowsBack();
    // Hidden first, so that the grid does not queue a show of its own for it.
    row->hide();
    gridLayout->addWidget(row, gridRow, gridColumn, Qt::AlignTop);
    if (isNearView(gridRow, row->sizeHint().height()))
        row->show();
}

void FileWidget::showRowsNearView()
{
    for (int i = 0; i < gridLayout->count(); ++i) {
        QWidget *row = gridLayout->itemAt(i)->widget();
        int rowIndex = 0, column = 0, rowSpan = 0, columnSpan = 0;
        gridLayout->getItemPosition(i, &rowIndex, &column, &rowSpan, &columnSpan);
        if (row && row->isHidden() && isNearView(rowIndex, row->sizeHint().height()))
            row->show();
    }
}

// Near: within two heights of the view above it and three below, which
// also covers a scroll by page or a drag of the scroll bar's handle.
bool FileWidget::isNearView(int rowIndex, int rowHeight) const
{
    const int viewHeight = qMax(scrollArea->viewport()->height(), height());
    const int scrolled = scrollArea->verticalScrollBar()->value();
    const int top = rowIndex * (rowHeight + rowSpacing);
    return top < scrolled + 3 * viewHeight && top + rowHeight > scrolled - 2 * viewHeight;
}

// Rows come in the thousands. Shown one by one in a live grid, each would
// lay the grid out again and be painted on its own: quadratic. So while a
// batch of changes is open the rows are held back, out of sight, and come
// back all at once, laid out once, with only those in view painted.
void FileWidget::beginRowChanges()
{
    ++openRowChanges;
}

void FileWidget::endRowChanges()
{
    if (--openRowChanges == 0)
        showPlacedRows();
}

void FileWidget::holdRowsBack()
{
    QWidget *rowArea = gridLayout->parentWidget();
    if (rowsHeldBack || !rowArea->isVisible())
        return;
    rowsHeldBack = true;
    rowArea->hide();
}

void FileWidget::showPlacedRows()
{
    if (!rowsHeldBack)
        return;
    rowsHeldBack = false;
    QWidget *rowArea = gridLayout->parentWidget();
    rowArea->show();
    // Lay the rows out and size their area now: painted before that, all of
    // them would be painted piled up in view.
    QCoreApplication::sendPostedEvents(rowArea, QEvent::LayoutRequest);
    QCoreApplication::sendPostedEvents(scrollArea->viewport(), QEvent::LayoutRequest);
    showRowsNearView();
}

void FileWidget::addFiles(QStringList paths)
{
    beginRowChanges();
    for (const QString &path : paths)
        addFile(path);
    endRowChanges();
}

void FileWidget::removeFile(QString path)
{
    const auto entry = files.find(path);
    if (entry == files.end())
        return;
    SingleFileWidget *row = entry->second;
    gridLayout->removeWidget(row);
    row->hide();
    // Deferred: this runs inside the row's own signal.
    row->deleteLater();
    files.erase(entry);
    removeListedPath(path);
    updateFiles();
}

void FileWidget::removeFiles(QStringList paths)
{
    for (const QString &path : paths)
        removeFile(path);
}

void FileWidget::renameFile()
{
    const QPointer<SingleFileWidget> row = qobject_cast<SingleFileWidget *>(sender());
    if (!row || !isListed(row))
        return;

    bool accepted = false;
    const QString answer = QInputDialog::getText(this, tr("Change name"), tr("file name:"),
                                                 QLineEdit::Normal, row->getName(), &accepted);
    if (!row || !accepted || answer.isEmpty() || answer == row->getName())
        return;
    if (!StagingFolder::isPlainFileName(answer)) {
        MessageBox::tell(QStringLiteral("The file name you provided is not valid, Please choose another name"));
        return;
    }
    if (checkIfFileNameExists(answer)) {
        MessageBox::tell(QStringLiteral("The file with the name you provided exists, Please choose another name"));
        return;
    }
    row->setName(answer);
    row->makeFileCopy(answer);
}

void FileWidget::onFileNameChanged(QString oldPath, QString newPath)
{
    const auto entry = files.find(oldPath);
    if (entry == files.end())
        return;
    SingleFileWidget *row = entry->second;
    files.erase(entry);
    files[newPath] = row;
    removeListedPath(oldPath);
    insertListedPath(newPath);
    listedNames.remove(fileNameOf(oldPath));
    listedNames.insert(fileNameOf(newPath));
    if (!totalIsOrderFree())
        total = sumInKeyOrder();
}

bool FileWidget::checkIfFileNameExists(QString fileName)
{
    return listedNames.contains(fileName);
}

void FileWidget::removeAllFiles()
{
    beginRowChanges();
    forgetAllRows();
    endRowChanges();
    reportSize();
    gridRow = 0;
    gridColumn = 0;
}

void FileWidget::updateFiles()
{
    const QStringList paths = getFiles();
    // The rows are used again, each read afresh from its path as a new row
    // would be: building a thousand rows anew costs far more than the rest.
    const std::map<QString, SingleFileWidget *> rows = files;
    beginRowChanges();
    forgetAllRows(RowsStay);
    reportSize();
    gridRow = 0;
    gridColumn = 0;
    if (!paths.isEmpty())
        emit initDestinationPath(paths.first());
    for (const QString &path : paths) {
        SingleFileWidget *row = rows.at(path);
        row->reload();
        listRow(path, row);
    }
    endRowChanges();
}

QStringList FileWidget::getFiles()
{
    return listedPaths;
}

// getFiles() is asked after every single change (the size line asks whether
// the list is empty), so the paths are kept ready in key order rather than
// collected from the map each time.
void FileWidget::insertListedPath(const QString &path)
{
    const auto position = std::lower_bound(listedPaths.cbegin(), listedPaths.cend(), path);
    listedPaths.insert(position - listedPaths.cbegin(), path);
}

void FileWidget::removeListedPath(const QString &path)
{
    const auto position = std::lower_bound(listedPaths.cbegin(), listedPaths.cend(), path);
    if (position != listedPaths.cend() && *position == path)
        listedPaths.removeAt(position - listedPaths.cbegin());
}

float FileWidget::getSize()
{
    return total;
}

void FileWidget::reportSize()
{
    emit sizeChanged(total);
}

void FileWidget::forgetAllRows(RowFate fate)
{
    files.clear();
    listedPaths.clear();
    listedNames.clear();
    total = 0.0f;
    exactTotalUnits = 0;
    if (openRowChanges > 0)
        holdRowsBack();
    clearLayout(gridLayout, fate == RowsGo);
    gridLayout->setColumnStretch(columnCount, 1);
}

bool FileWidget::isListed(const SingleFileWidget *row) const
{
    for (const auto &entry : files) {
        if (entry.second == row)
            return true;
    }
    return false;
}

// The total must be the float sum in key order, which depends on the order
// once sums round. Added behind every other key, the running sum is that sum.
// Elsewhere it still is while the exact total stays below 2^24 units of one
// byte's size: every size is a whole number of such units, so no partial sum
// in any order rounds. Only otherwise is it summed anew.
void FileWidget::addToTotal(const SingleFileWidget *row, bool isLastKey)
{
    exactTotalUnits += qint64(row->getSize() * unitsPerMegabyte);
    if (isLastKey || totalIsOrderFree())
        total += row->getSize();
    else
        total = sumInKeyOrder();
}

bool FileWidget::totalIsOrderFree() const
{
    return exactTotalUnits < (qint64(1) << 24);
}

float FileWidget::sumInKeyOrder() const
{
    float sum = 0.0f;
    for (const auto &entry : files)
        sum += entry.second->getSize();
    return sum;
}

void FileWidget::paintEvent(QPaintEvent *event)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QWidget::paintEvent(event);
}

void FileWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void FileWidget::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    beginRowChanges();
    for (const QUrl &url : urls) {
        QString path = url.toLocalFile();
        // A web link has no local path; there is nothing to pack for it.
        if (path.isEmpty())
            continue;
        // A folder may come as ".../name/", whose file name would be empty.
        if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path = QDir::cleanPath(path);
        emit initDestinationPath(path);
        addFile(path);
    }
    endRowChanges();
}
