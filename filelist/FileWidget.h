#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <map>

class QGridLayout;
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

    std::map<QString, SingleFileWidget *> files;
    QGridLayout *gridLayout;
    int gridRow;
    int gridColumn;
};
