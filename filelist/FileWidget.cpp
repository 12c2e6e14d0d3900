#include "filelist/FileWidget.h"

#include "filelist/FileGrid.h"
#include "filelist/FileList.h"
#include "filelist/WorkDialog.h"
#include "ui/StyledBackground.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QInputDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QQueue>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QQueue<QString> &nextRenameAnswers()
{
    static QQueue<QString> answers;
    return answers;
}

// As Explorer does: the name without its extension, ready to be typed
// over; a name that starts with its only dot (".profile") is all name.
int nameLengthWithoutExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return int(dot > 0 ? dot : name.size());
}

} // namespace

FileWidget::FileWidget(QWidget *parent)
    : QWidget(parent)
    , list(new FileList(this))
    , fileGrid(new FileGrid(list))
{
    setAcceptDrops(true);
    // The panel keeps its fixed height however many files it holds, so the
    // files scroll inside it, clear of its border.
    auto *frameLayout = new QVBoxLayout(this);
    frameLayout->setContentsMargins(1, 8, 1, 8);
    frameLayout->addWidget(fileGrid);
    setFixedHeight(273);
    connectList();
}

FileWidget::~FileWidget() = default;

void FileWidget::connectList()
{
    connect(list, &FileList::changesStarted, this, &FileWidget::noteFocus);
    connect(list, &FileList::cellsChanged, fileGrid, &FileGrid::refresh);
    connect(list, &FileList::changesEnded, this, &FileWidget::moveFocusAfterChanges);
    connect(list, &FileList::entryRenamed, this, [this](const QString &oldPath, const QString &newPath) {
        if (focusedPath == oldPath)
            focusedPath = newPath;
    });
    connect(list, &FileList::sizeChanged, this, &FileWidget::sizeChanged);
    connect(list, &FileList::initDestinationPath, this, &FileWidget::initDestinationPath);
    connect(list, &FileList::sizeExceeded, this, &FileWidget::sizeExceeded);
    connect(list, &FileList::refused, this, &FileWidget::refused);
    connect(list, &FileList::renameRefused, this, &FileWidget::onRenameRefused);
    connect(fileGrid, &FileGrid::removeRequested, this, &FileWidget::removeFile);
    connect(fileGrid, &FileGrid::renameRequested, this, &FileWidget::renameFile);
    new WorkDialog(list->work(), this);
}

FileList *FileWidget::fileList() const
{
    return list;
}

FileGrid *FileWidget::grid() const
{
    return fileGrid;
}

QWidget *FileWidget::tabAnchor() const
{
    return fileGrid;
}

int FileWidget::fileCount() const
{
    return list->count();
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

// The file after it in the grid takes the focus, should it have it; the
// one before when it was the last.
void FileWidget::removeFile(QString path)
{
    const int cell = fileGrid->focusedCell();
    if (cell >= 0 && list->pathAt(cell) == path)
        nextPath = cell + 1 < list->count() ? list->pathAt(cell + 1) : list->pathAt(cell - 1);
    list->remove(path);
}

void FileWidget::removeFiles(QStringList paths)
{
    for (const QString &path : paths)
        list->remove(path);
}

void FileWidget::renameFile(const QString &path)
{
    const FileList::Entry *entry = list->entry(path);
    if (!entry)
        return;
    // Said before a name is asked for, not after.
    if (const QString why = list->renameRefusal(path); !why.isEmpty()) {
        emit refused(why);
        return;
    }
    QString answer;
    if (!askNewName(entry->name, &answer))
        return;
    askedPath = path;
    askedName = answer;
    // The list may have changed while the dialog was open; it judges the
    // name against the list as it is when the rename's turn comes.
    list->rename(path, answer);
}

// The dialog comes back with what was typed, once the refusal has been said.
void FileWidget::onRenameRefused(const QString &path, const QString &typed)
{
    if (path != askedPath || typed != askedName)
        return;
    QTimer::singleShot(0, this, [this, path, typed] {
        QString answer;
        if (list->entry(path) && askNewName(typed, &answer)) {
            askedPath = path;
            askedName = answer;
            list->rename(path, answer);
        }
    });
}

bool FileWidget::askNewName(const QString &shown, QString *answer)
{
    if (!nextRenameAnswers().isEmpty()) {
        *answer = nextRenameAnswers().dequeue();
        return !answer->isNull();
    }
    QInputDialog dialog(this);
    dialog.setWindowTitle(tr("Change name"));
    dialog.setLabelText(tr("file name:"));
    dialog.setTextValue(shown);
    // The dialog selects its whole text as it shows; then this runs.
    if (auto *field = dialog.findChild<QLineEdit *>()) {
        QMetaObject::invokeMethod(field, [field, length = nameLengthWithoutExtension(shown)] {
            field->setSelection(0, length);
        }, Qt::QueuedConnection);
    }
    const bool accepted = dialog.exec() == QDialog::Accepted;
    *answer = dialog.textValue();
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

void FileWidget::noteFocus()
{
    QWidget *focus = QApplication::focusWidget();
    focusInList = focus && (focus == fileGrid || fileGrid->isAncestorOf(focus));
    focusedCell = fileGrid->focusedCell();
    focusedPath = list->pathAt(focusedCell);
}

// The focus stays on its file wherever the change put it; if the file left
// the list, it goes on to the next one, and from an emptied list to the
// control after it.
void FileWidget::moveFocusAfterChanges()
{
    const QString next = std::exchange(nextPath, QString());
    if (!std::exchange(focusInList, false))
        return;
    if (list->count() == 0) {
        emit focusLeftEmptyList();
        return;
    }
    int cell = list->cellOf(focusedPath);
    if (cell < 0)
        cell = list->cellOf(next);
    if (cell < 0 && focusedCell >= 0)
        cell = qMin(focusedCell, list->count() - 1);
    if (cell >= 0)
        fileGrid->focusCell(cell, Qt::OtherFocusReason);
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
