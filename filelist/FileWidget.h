#pragma once

#include "disk/FileNames.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <map>

class FileList;
class QGridLayout;
class QScrollArea;
class SingleFileWidget;
class StagingFolder;

// The list of files to pack as the window shows it: one row per file in a
// seven-column grid, files dropped on it, and the rename dialog. What is
// listed, and every rule about it, is the FileList's; this only mirrors it.
class FileWidget : public QWidget
{
    Q_OBJECT

public:
    explicit FileWidget(QWidget *parent = nullptr);
    ~FileWidget() override;

    FileList *fileList() const;
    // Where the list stands in the window's Tab order: its rows follow it,
    // in grid order. Not a stop itself; it takes the focus when the last
    // row is removed.
    QWidget *tabAnchor() const;
    // Where renamed copies go: this program's own staging folder unless set,
    // before any file is added, to another (a second running copy's, say).
    void useStagingFolder(StagingFolder *folder);
    // The naming rules the list is held to: this system's unless set, so
    // that another system's rules can be tried here.
    void useNameRules(FileNames::System system);

    // Test seam: the next rename dialog is not shown but answered with this
    // text (a null string cancels it); answers are used in the order set.
    static void setNextRenameAnswer(const QString &answer);

signals:
    void sizeExceeded(QString error);
    void sizeChanged(float size);
    void initDestinationPath(QString fileName);
    // A file that could not be added or renamed, in words for the user.
    void refused(QString message);

public slots:
    void addFile(QString path);
    void addFiles(QStringList paths);
    void removeFile(QString path);
    void removeFiles(QStringList paths);
    void renameFile();
    void onFileNameChanged(QString oldPath, QString newPath);
    bool checkIfFileNameExists(QString fileName);
    void removeAllFiles();
    void updateFiles();
    QStringList getFiles();
    float getSize();

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void connectList();
    bool askNewName(const SingleFileWidget *row, QString *answer);

    void onEntryAdded(const QString &path);
    void onEntryRenamed(const QString &oldPath, const QString &newPath);
    void onEntriesCleared();
    void beforeMessage();

    SingleFileWidget *rowFor(const QString &path);
    void placeRow(SingleFileWidget *row);
    void dropRow(SingleFileWidget *row);
    void beginRowChanges();
    void endRowChanges();
    void holdRowsBack();
    void showPlacedRows();

    void keepFocusInView(QWidget *old, QWidget *now);
    void moveFocusAfterRemoval();

    FileList *list;
    std::map<QString, SingleFileWidget *> rows;
    // Rows taken out of the grid by a change that may list their files
    // again (a rebuild): used again rather than built anew, and dropped
    // when the change ends without them.
    QHash<QString, SingleFileWidget *> spareRows;
    QGridLayout *gridLayout;
    int gridRow = 0;
    int gridColumn = 0;
    QScrollArea *scrollArea;
    int openRowChanges = 0;
    bool rowsHeldBack = false;
    // The last row placed, which the next one follows in the Tab order.
    QPointer<QWidget> lastTabStop;
    // A row that had the focus is being removed: the focus goes to the row
    // after it, by path (empty when it was the last), once the list is done.
    bool refocusPending = false;
    QString refocusPath;
};
