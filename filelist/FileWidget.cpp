#include "filelist/FileWidget.h"

#include "filelist/BackgroundWork.h"
#include "filelist/FileList.h"
#include "filelist/SingleFileWidget.h"
#include "filelist/WorkDialog.h"
#include "ui/StyledBackground.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QInputDialog>
#include <QLayoutItem>
#include <QMimeData>
#include <QPushButton>
#include <QQueue>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr int columnCount = 7;

QQueue<QString> &nextRenameAnswers()
{
    static QQueue<QString> answers;
    return answers;
}

} // namespace

FileWidget::FileWidget(QWidget *parent)
    : QWidget(parent)
    , list(new FileList(this))
    , gridLayout(nullptr)
    , scrollArea(new QScrollArea)
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
    scrollArea->setAccessibleName(QStringLiteral("Files to compress"));
    // Tab goes to the rows, not to the panel that holds them.
    scrollArea->setFocusPolicy(Qt::ClickFocus);
    lastTabStop = scrollArea;

    setFixedHeight(273);
    connectList();
}

FileWidget::~FileWidget() = default;

void FileWidget::connectList()
{
    connect(list, &FileList::changesStarted, this, &FileWidget::beginRowChanges);
    connect(list, &FileList::changesEnded, this, &FileWidget::endRowChanges);
    connect(list, &FileList::entryAdded, this, &FileWidget::onEntryAdded);
    connect(list, &FileList::entryRenamed, this, &FileWidget::onEntryRenamed);
    connect(list, &FileList::entriesCleared, this, &FileWidget::onEntriesCleared);
    connect(list, &FileList::sizeChanged, this, &FileWidget::sizeChanged);
    connect(list, &FileList::initDestinationPath, this, &FileWidget::initDestinationPath);
    connect(list, &FileList::sizeExceeded, this, [this](const QString &error) {
        beforeMessage();
        emit sizeExceeded(error);
    });
    connect(list, &FileList::refused, this, [this](const QString &message) {
        beforeMessage();
        emit refused(message);
    });
    // The list as it stands so far shows under the dialog.
    connect(list->work(), &BackgroundWork::slow, this, &FileWidget::showPlacedRows);
    new WorkDialog(list->work(), this);
    connect(qApp, &QApplication::focusChanged, this, &FileWidget::keepFocusInView);
}

FileList *FileWidget::fileList() const
{
    return list;
}

QWidget *FileWidget::tabAnchor() const
{
    return scrollArea;
}

void FileWidget::useStagingFolder(StagingFolder *folder)
{
    list->useStagingFolder(folder);
}

void FileWidget::useNameRules(FileNames::System system)
{
    list->useNameRules(system);
}

void FileWidget::setNextRenameAnswer(const QString &answer)
{
    nextRenameAnswers().enqueue(answer);
}

void FileWidget::addFile(QString path)
{
    list->add({path});
}

void FileWidget::addFiles(QStringList paths)
{
    list->add(paths);
}

void FileWidget::removeFile(QString path)
{
    SingleFileWidget *row = rowFor(path);
    if (row && row->isAncestorOf(QApplication::focusWidget())) {
        refocusPending = true;
        const int next = gridLayout->indexOf(row) + 1;
        QLayoutItem *after = next < gridLayout->count() ? gridLayout->itemAt(next) : nullptr;
        const auto *nextRow = after ? qobject_cast<SingleFileWidget *>(after->widget()) : nullptr;
        refocusPath = nextRow ? nextRow->path() : QString();
    }
    list->remove(path);
}

void FileWidget::removeFiles(QStringList paths)
{
    for (const QString &path : paths)
        list->remove(path);
}

void FileWidget::renameFile()
{
    const QPointer<SingleFileWidget> row = qobject_cast<SingleFileWidget *>(sender());
    if (!row || rowFor(row->path()) != row)
        return;
    QString answer;
    const bool accepted = askNewName(row, &answer);
    // The list may have changed while the dialog was open; it judges the
    // name against the list as it is when the rename's turn comes.
    if (row && accepted)
        list->rename(row->path(), answer);
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

void FileWidget::onFileNameChanged(QString oldPath, QString newPath)
{
    list->relist(oldPath, newPath);
}

bool FileWidget::checkIfFileNameExists(QString fileName)
{
    return list->isNameTaken(fileName);
}

void FileWidget::removeAllFiles()
{
    list->removeAll();
}

void FileWidget::updateFiles()
{
    list->rebuild();
}

QStringList FileWidget::getFiles()
{
    return list->paths();
}

float FileWidget::getSize()
{
    return list->total();
}

void FileWidget::onEntryAdded(const QString &path)
{
    const FileList::Entry *entry = list->entry(path);
    SingleFileWidget *row = spareRows.take(path);
    if (row) {
        row->showFile(entry->path, entry->name, entry->bytes, entry->isFolder);
    } else {
        // Made inside the grid's widget at once, for the same reason as the
        // row's own children.
        row = new SingleFileWidget(entry->path, entry->name, entry->bytes, entry->isFolder,
                                   gridLayout->parentWidget());
        connect(row, &SingleFileWidget::clickedForRename, this, &FileWidget::renameFile);
        connect(row, &SingleFileWidget::clicked, this, &FileWidget::removeFile);
    }
    rows[path] = row;
    placeRow(row);
    // Tab visits the rows as they stand in the grid.
    setTabOrder(lastTabStop, row->tabStop());
    lastTabStop = row->tabStop();
    if (++gridColumn == columnCount) {
        gridColumn = 0;
        ++gridRow;
    }
}

// A renamed row keeps its cell until the next rebuild.
void FileWidget::onEntryRenamed(const QString &oldPath, const QString &newPath)
{
    SingleFileWidget *row = rowFor(oldPath);
    const FileList::Entry *entry = list->entry(newPath);
    if (!row || !entry)
        return;
    rows.erase(oldPath);
    rows[newPath] = row;
    row->showFile(entry->path, entry->name, entry->bytes, entry->isFolder);
}

void FileWidget::onEntriesCleared()
{
    if (openRowChanges > 0)
        holdRowsBack();
    for (const auto &[path, row] : rows) {
        gridLayout->removeWidget(row);
        spareRows.insert(path, row);
    }
    rows.clear();
    gridLayout->setColumnStretch(columnCount, 1);
    gridRow = 0;
    gridColumn = 0;
    lastTabStop = scrollArea;
}

SingleFileWidget *FileWidget::rowFor(const QString &path)
{
    const auto found = rows.find(path);
    return found == rows.end() ? nullptr : found->second;
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

void FileWidget::dropRow(SingleFileWidget *row)
{
    row->hide();
    // Deferred: a removal runs inside the leaving row's own signal.
    row->deleteLater();
}

// Rows come in the thousands. Shown one by one in a live grid, each would
// lay the grid out again and be painted on its own: quadratic. So while a
// change is under way the rows are held back, out of sight, and come back
// all at once, laid out once, with only those in view painted.
void FileWidget::beginRowChanges()
{
    ++openRowChanges;
}

void FileWidget::endRowChanges()
{
    if (--openRowChanges > 0)
        return;
    for (SingleFileWidget *row : std::as_const(spareRows))
        dropRow(row);
    spareRows.clear();
    showPlacedRows();
    moveFocusAfterRemoval();
}

void FileWidget::moveFocusAfterRemoval()
{
    if (!std::exchange(refocusPending, false))
        return;
    SingleFileWidget *next = rowFor(std::exchange(refocusPath, QString()));
    if (next)
        next->tabStop()->setFocus(Qt::TabFocusReason);
    else
        scrollArea->setFocus(Qt::OtherFocusReason);
}

// A row reached by Tab or by a removal scrolls into view.
void FileWidget::keepFocusInView(QWidget *, QWidget *now)
{
    if (now && gridLayout->parentWidget()->isAncestorOf(now))
        scrollArea->ensureWidgetVisible(now);
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

// A message opens over the list as it stands so far, not over a list with
// its rows held out of sight.
void FileWidget::beforeMessage()
{
    showPlacedRows();
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
    QMetaObject::invokeMethod(this, [this, paths] { list->addDropped(paths); }, Qt::QueuedConnection);
}
