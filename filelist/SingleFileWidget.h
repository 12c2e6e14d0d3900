#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>

class QLabel;
class QPixmap;
class QPushButton;
class StagingFolder;

// One listed file: type picture, remove button, name (click to rename), size.
class SingleFileWidget : public QWidget
{
    Q_OBJECT

public:
    SingleFileWidget(QString path, QWidget *parent = nullptr);
    ~SingleFileWidget() override;

    QString getName() const;
    float getSize() const;

    // The row's fixed size, without asking its children: a grid of a
    // thousand rows would otherwise measure every name and size text.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;

    // Reads the file afresh and forgets any earlier rename, as a row built
    // anew for the same path would; the list uses this when it rebuilds.
    void reload();

    // Where renamed copies go; this program's own staging folder unless set.
    void useStagingFolder(StagingFolder *folder);
    // False for a folder whose measuring the user cancelled before its size
    // was ever known; such a row is not to be listed.
    bool isMeasured() const;

signals:
    void clicked(QString filePath);
    void clickedForRename();
    void filePathChanged(QString oldPath, QString newPath);

public slots:
    void makeFileCopy(QString newFileName);
    void setName(QString fileName);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void readFile();
    void measureFolder(const QDateTime &modified);
    void buildUi();
    QPixmap typePicture() const;
    QString sizeText() const;
    StagingFolder &staging() const;
    bool copyToStagingFolder(const QString &newPath);
    void refuseCopy();

    QPushButton *nameButton;
    QString name;
    QString filePath;
    float fileSize;
    bool isUserFile;
    bool isFolder = false;
    QLabel *fileSizeLabel = nullptr;
    QLabel *typeIconLabel = nullptr;
    StagingFolder *stagingFolder = nullptr;
    bool sizeKnown = false;
    // The folder whose walk still holds and its modification time then.
    QString walkedFolder;
    QDateTime walkedFolderTime;
    bool copyCancelled = false;
};
