#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <map>

class QGridLayout;
class QScrollArea;
class SingleFileWidget;

// The list of files to pack: one row per file in a seven-column grid.
class FileWidget : public QWidget
{
    Q_OBJECT

public:
    explicit FileWidget(QWidget *parent = nullptr);
    ~FileWidget() override;

signals:
    void sizeExceeded(QString error);
    void sizeChanged(float size);
    void initDestinationPath(QString fileName);

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
    void reportSize();
    enum RowFate { RowsGo, RowsStay };
    void forgetAllRows(RowFate fate = RowsGo);
    void listRow(const QString &path, SingleFileWidget *row);
    void placeRow(SingleFileWidget *row);
    void showRowsNearView();
    bool isNearView(int rowIndex, int rowHeight) const;
    void beginRowChanges();
    void endRowChanges();
    void holdRowsBack();
    void showPlacedRows();
    bool isListed(const SingleFileWidget *row) const;
    void addToTotal(const SingleFileWidget *row, bool isLastKey);
    bool totalIsOrderFree() const;
    float sumInKeyOrder() const;
    void insertListedPath(const QString &path);
    void removeListedPath(const QString &path);

    std::map<QString, SingleFileWidget *> files;
    QGridLayout *gridLayout;
    int gridRow;
    int gridColumn;

    QScrollArea *scrollArea;
    // The keys of files, in the same order.
    QStringList listedPaths;
    // The file names of the listed paths, so that the name test does not
    // have to look at every listed path.
    QSet<QString> listedNames;
    // Always the sum of the rows' sizes in key order, from 0.0.
    float total;
    // The same total counted exactly, in units of one byte's size.
    qint64 exactTotalUnits;
    int openRowChanges;
    bool rowsHeldBack;
};
