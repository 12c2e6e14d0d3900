#pragma once

#include "app/Destination.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class MessageBox;
class QPushButton;
class QScrollArea;
class AdvWidget;
class FileWidget;
class HeaderWidget;
class PathButton;
class TerminationWatch;

// The application's one window: it lays out every part and wires them together.
class MainWidget : public QWidget
{
    Q_OBJECT

public:
    explicit MainWidget(QWidget *parent = nullptr);

    // The archiver to run; by default util/7z.exe beside the program.
    void setArchiverProgram(const QString &program);
    // Where the archive goes, as the destination line shows it.
    QString destinationPath() const;

    // Shows the window at the preferred size where the screen has room for
    // it, smaller where it has not (down to what its contents need), and
    // centred in the part of the screen that panels leave free.
    void showInsideScreen(const QSize &preferred);

signals:
    void addFiles(QStringList paths);
    // Part of the window's interface; nothing in the program emits it.
    void resized();

public slots:
    void onBrowseForFilesClicked();
    void onSizeChanged(float size);
    void onCancelClicked();
    void onCompressClicked();
    void onError(QString error);
    void onBrowseDestinationFolderClicked();
    void onMoveEvent(QPoint pt);
    void onDestinationPathInit(QString filePath);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *createSizeAndDestinationRows();
    QWidget *createBottomBar();
    void connectParts();
    void addKeys();
    void orderTabStops();
    void browseForFolder();
    void takeKeyboardBack();
    void endOnRequest();
    static void removeOwnCopies();
    void makeCompressedFilesFolder();
    void forgetChosenDestinationIfListEmpty();
    void showDestination();
    QSize leastSizeWithDestination();

    QLabel *sizeLabel;
    HeaderWidget *header;
    FileWidget *fileWidget;
    AdvWidget *advWidget;
    QPushButton *browseButton;
    QPushButton *compressButton;
    QPushButton *cancelButton;
    QWidget *destinationWidget;
    QScrollArea *bodyScroll = nullptr;
    PathButton *destinationButton;
    MessageBox *messageBox;
    TerminationWatch *termination;

    QString archiver;
    Destination destination;
    bool compressing = false;
};
