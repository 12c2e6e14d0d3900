#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPixmap;
class QPushButton;
class QToolButton;

// One listed file as the list shows it: type picture, remove button, name
// (click to rename), size. It only shows what the list says of the file,
// and shows another file when the list scrolls. Its name takes the focus;
// Delete there removes the file, F2 renames it.
class SingleFileWidget : public QWidget
{
    Q_OBJECT

public:
    SingleFileWidget(const QString &path, const QString &name, qint64 bytes, bool isFolder,
                     QWidget *parent = nullptr);
    ~SingleFileWidget() override;

    // Makes on a worker, ahead, what the first row would otherwise make on
    // the window's thread while files are being listed (its font, its cross).
    static void prepareOffThread();

    QString getName() const;
    float getSize() const;
    // The listed path it stands for: the user's file, or our copy of it.
    QString path() const;

    // Shows the file anew, as a row made for it now would.
    void showFile(const QString &path, const QString &name, qint64 bytes, bool isFolder);

    // The row's fixed size, without asking its children: a grid of a
    // thousand rows would otherwise measure every name and size text.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;

signals:
    void clicked(QString filePath);
    void clickedForRename();

public slots:
    void setName(QString fileName);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildUi();
    QPixmap typePicture() const;
    QString sizeText() const;

    QPushButton *nameButton;
    QToolButton *removeButton = nullptr;
    QString name;
    QString filePath;
    float fileSize = 0.0f;
    bool isFolder = false;
    QLabel *fileSizeLabel = nullptr;
    QLabel *typeIconLabel = nullptr;
};
