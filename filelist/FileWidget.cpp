#include "filelist/FileWidget.h"

#include "ui/MessageBox.h"
#include "ui/StyledBackground.h"

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
#include <QPointer>
#include <QQueue>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr float sizeLimit = 500.0f;
constexpr int columnCount = 7;
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

QQueue<QString> &nextRenameAnswers()
{
    static QQueue<QString> answers;
    return answers;
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
    , stagingFolder(&StagingFolder::ofThisProgram())
    , nameRules(FileNames::thisSystem())
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
    gridLayout->setSpacing(35);
    // Few rows stay packed at the top instead of spreading over the panel.
    gridLayout->setAlignment(Qt::AlignTop);
    rowArea->setContentsMargins(24, 7, 0, 0);

    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(true);
    scrollArea->setWidget(rowArea);
    // Transparent all the way down, so the panel's own background shows.
    scrollArea->viewport()->setAutoFillBackground(false);
    rowArea->setAutoFillBackground(false);

    setFixedHeight(273);
}

FileWidget::~FileWidget() = default;

void FileWidget::useStagingFolder(StagingFolder *folder)
{
    stagingFolder = folder;
}

void FileWidget::useNameRules(FileNames::System system)
{
    nameRules = system;
}

void FileWidget::setNextRenameAnswer(const QString &answer)
{
    nextRenameAnswers().enqueue(answer);
}

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
    row->useStagingFolder(stagingFolder);
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

void FileWidget::placeRow(SingleFileWidget *row)
{
    if (openRowChanges > 0)
        holdRowsBack();
    // Hidden first, so that the grid does not queue a show of its own for it.
    row->hide();
    gridLayout->addWidget(row, gridRow, gridColumn, Qt::AlignTop);
    row->show();
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
    // Laid out and sized while still out of sight: painted before that, all
    // the rows would be painted piled up in view; moved once in sight, each
    // row would have the region it leaves and the one it takes worked out
    // against every sibling.
    QCoreApplication::sendPostedEvents(gridLayout->parentWidget(), QEvent::LayoutRequest);
    gridLayout->activate();
    QCoreApplication::sendPostedEvents(scrollArea->viewport(), QEvent::LayoutRequest);
    gridLayout->parentWidget()->show();
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

    QString answer;
    const bool accepted = askNewName(row, &answer);
    if (!row || !accepted || answer.isEmpty() || answer == row->getName())
        return;
    // Refused before anything is copied: the system would refuse the copy,
    // or make it under another name than the one shown.
    if (!FileNames::canHold(answer, nameRules)) {
        MessageBox::tell(QStringLiteral("The file name you provided is not valid, Please choose another name"));
        return;
    }
    if (nameIsTaken(answer, row)) {
        MessageBox::tell(QStringLiteral("The file with the name you provided exists, Please choose another name"));
        return;
    }
    row->setName(answer);
    row->makeFileCopy(answer);
}

bool FileWidget::askNewName(const SingleFileWidget *row, QString *answer)
{
    if (!nextRenameAnswers().isEmpty()) {
        *answer = nextRenameAnswers().dequeue();
        return !answer->isNull();
    }
    bool accepted = false;
    *answer = QInputDialog::getText(this, tr("Change name"), tr("file name:"), QLineEdit::Normal,
                                    row->getName(), &accepted);
    return accepted;
}

// The list tells names apart by case, as it always has; a new name for the
// archive is held to the system's own rule, since on a disk that ignores
// case two copies named Report.pdf and report.pdf are one file.
bool FileWidget::nameIsTaken(const QString &name, const SingleFileWidget *row) const
{
    for (const QString &listed : listedNames) {
        if (listed != row->getName() && FileNames::sameName(listed, name, nameRules))
            return true;
    }
    return false;
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

void FileWidget::paintEvent(QPaintEvent *)
{
    paintStyledBackground(this);
}

void FileWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void FileWidget::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        QString path = url.toLocalFile();
        // A web link has no local path; there is nothing to pack for it.
        if (path.isEmpty())
            continue;
        // A folder may come as ".../name/", whose file name would be empty.
        if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path = QDir::cleanPath(path);
        paths << path;
    }
    event->acceptProposedAction();
    // The application the files come from waits until the drop returns, so
    // they are added, with any box or folder walk that takes, just after.
    QMetaObject::invokeMethod(this, [this, paths] { addDroppedFiles(paths); }, Qt::QueuedConnection);
}

void FileWidget::addDroppedFiles(const QStringList &paths)
{
    beginRowChanges();
    for (const QString &path : paths) {
        emit initDestinationPath(path);
        addFile(path);
    }
    endRowChanges();
}
