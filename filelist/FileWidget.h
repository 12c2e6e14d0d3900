#pragma once

#include "disk/FileNames.h"

#include <QString>
#include <QStringList>
#include <QWidget>

class FileGrid;
class FileList;
class StagingFolder;

// The list of files to pack as the window shows it: the panel with its grid
// of files, files dropped on it, the rename dialog, and where the keyboard
// focus goes as files come and go. What is listed, and every rule about it,
// is the FileList's; the grid only maps its cells to rows in view.
class FileWidget : public QWidget
{
    Q_OBJECT

public:
    explicit FileWidget(QWidget *parent = nullptr);
    ~FileWidget() override;

    FileList *fileList() const;
    FileGrid *grid() const;
    // Where the list stands in the window's Tab order; reached by Tab it
    // hands the focus to its first file (by Shift+Tab, its last). A stop
    // only while it holds files.
    QWidget *tabAnchor() const;
    int fileCount() const;
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
    // The list was emptied while it had the keyboard focus: the window
    // gives the focus to what comes next.
    void focusLeftEmptyList();

public slots:
    void addFile(QString path);
    void addFiles(QStringList paths);
    void removeFile(QString path);
    void removeFiles(QStringList paths);
    // Asks for the file's new name, then has the list give it that name.
    void renameFile(const QString &path);
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
    bool askNewName(const QString &shown, QString *answer);
    void onRenameRefused(const QString &path, const QString &typed);
    void noteFocus();
    void moveFocusAfterChanges();

    FileList *list;
    FileGrid *fileGrid;
    // The file that had the focus when the current change began, followed
    // through renames; the file to go on to should it leave the list.
    bool focusInList = false;
    QString focusedPath;
    QString nextPath;
    int focusedCell = -1;
    // A rename this widget asked for, until the list takes or refuses it.
    QString askedPath;
    QString askedName;
};
