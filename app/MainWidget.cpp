#include "app/MainWidget.h"

#include "app/MessageBox.h"
#include "app/StyledBackground.h"

#include "ads/AdvWidget.h"
#include "filelist/FileWidget.h"
#include "filelist/StagingFolder.h"
#include "frame/HeaderWidget.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QStyleOption>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <cstdlib>

namespace {

const char *const zeroSizeText = "Total size: <b>0.0 MB</b> of 500MB limit";

QString sizeLineText(float size)
{
    if (size == 0.0f)
        return QString::fromLatin1(zeroSizeText);
    const float kilobytes = size * 1024.0f;
    if (kilobytes < 1024.0f) {
        const int shown = static_cast<int>(kilobytes) + 1;
        return QStringLiteral("Total size: <b>%1 KB</b> of 500MB limit").arg(shown);
    }
    const float megabytes = std::round(size * 100.0f) / 100.0f;
    return QStringLiteral("Total size: <b>%1 MB</b> of 500MB limit").arg(double(megabytes));
}

} // namespace

MainWidget::MainWidget(QWidget *parent)
    : QWidget(parent)
    , sizeLabel(new QLabel)
    , header(new HeaderWidget)
    , fileWidget(new FileWidget(this))
    , advWidget(new AdvWidget(false, this))
    , browseButton(new QPushButton(QStringLiteral("Browse for files")))
    , compressButton(new QPushButton(QStringLiteral("Compress")))
    , cancelButton(new QPushButton(QStringLiteral("Cancel")))
    , destinationWidget(new QWidget)
    , destinationButton(new QPushButton(QStringLiteral("C:/Users/username/Documents/compressed_files")))
    , messageBox(new MessageBox)
    , archiver(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("util/7z.exe")))
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(header);

    auto *inner = new QVBoxLayout;
    inner->setContentsMargins(47, 0, 40, 0);
    outer->addLayout(inner);
    inner->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    auto *hint = new QLabel(QStringLiteral("Drag & drop files to the list to compress multiple files at once."));
    inner->addWidget(hint, 0, Qt::AlignTop);
    inner->addWidget(fileWidget, 0, Qt::AlignTop);
    inner->addWidget(createSizeAndDestinationRows(), 0, Qt::AlignTop);
    inner->addItem(new QSpacerItem(40, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    inner->addWidget(createBottomBar(), 1, Qt::AlignTop);

    for (QPushButton *button : {compressButton, cancelButton, browseButton}) {
        // Hover events are what the cursor change below reacts to.
        button->setAttribute(Qt::WA_Hover);
        button->installEventFilter(this);
    }

    sizeLabel->setObjectName(QStringLiteral("Size_info"));
    advWidget->setObjectName(QStringLiteral("Adv_widget"));
    browseButton->setObjectName(QStringLiteral("Browse_for_files"));
    compressButton->setObjectName(QStringLiteral("Compress"));
    cancelButton->setObjectName(QStringLiteral("Cancel"));
    destinationButton->setObjectName(QStringLiteral("Destination_path"));
    messageBox->setObjectName(QStringLiteral("Message_box"));
    hint->setObjectName(QStringLiteral("Drag_drop_text"));

    messageBox->centreOver(this);
    MessageBox::setShared(messageBox);
    connectParts();
}

QWidget *MainWidget::createSizeAndDestinationRows()
{
    auto *container = new QWidget;
    auto *rows = new QVBoxLayout(container);

    auto *sizeRow = new QHBoxLayout;
    rows->addLayout(sizeRow);
    sizeRow->addWidget(browseButton, 0, Qt::AlignLeft);
    sizeLabel->setTextFormat(Qt::RichText);
    sizeLabel->setText(QString::fromLatin1(zeroSizeText));
    sizeRow->addWidget(sizeLabel, 0, Qt::AlignRight);

    rows->addWidget(destinationWidget);
    destinationWidget->hide();
    auto *destinationRow = new QHBoxLayout(destinationWidget);
    destinationRow->setContentsMargins(0, 0, 0, 0);
    auto *destinationLabel = new QLabel(QStringLiteral("Destination:"));
    // The same name as the path button, so that one style rule serves both.
    destinationLabel->setObjectName(QStringLiteral("Destination_path"));
    destinationRow->addWidget(destinationLabel, 0, Qt::AlignLeft);
    // A flat button: the style sheet makes its background transparent, which
    // a raised button's panel draws as black.
    destinationButton->setFlat(true);
    destinationRow->addWidget(destinationButton, 1, Qt::AlignLeft);
    return container;
}

QWidget *MainWidget::createBottomBar()
{
    auto *bar = new QWidget;
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(advWidget, 0, Qt::AlignLeft);
    row->addSpacing(10);
    row->addWidget(cancelButton, 1, Qt::AlignRight);
    row->addSpacing(10);
    row->addWidget(compressButton, 0, Qt::AlignRight);
    return bar;
}

void MainWidget::connectParts()
{
    connect(browseButton, &QAbstractButton::clicked, this, &MainWidget::onBrowseForFilesClicked);
    connect(this, &MainWidget::addFiles, fileWidget, &FileWidget::addFiles);
    connect(fileWidget, &FileWidget::sizeChanged, this, &MainWidget::onSizeChanged);
    connect(cancelButton, &QAbstractButton::clicked, this, &MainWidget::onCancelClicked);
    connect(compressButton, &QAbstractButton::clicked, this, &MainWidget::onCompressClicked);
    connect(fileWidget, &FileWidget::sizeExceeded, this, &MainWidget::onError);
    connect(fileWidget, &FileWidget::initDestinationPath, this, &MainWidget::onDestinationPathInit);
    connect(destinationButton, &QAbstractButton::clicked, this, &MainWidget::onBrowseDestinationFolderClicked);
    connect(header, &HeaderWidget::moveWindow, this, &MainWidget::onMoveEvent);
}

void MainWidget::setArchiverProgram(const QString &program)
{
    archiver = program;
}

void MainWidget::onSizeChanged(float size)
{
    if (fileWidget->getFiles().isEmpty())
        destinationWidget->hide();
    sizeLabel->setText(sizeLineText(size));
}

void MainWidget::onCancelClicked()
{
    std::exit(0);
}

void MainWidget::onError(QString error)
{
    MessageBox::tell(error);
}

void MainWidget::onMoveEvent(QPoint pt)
{
    move(x() + pt.x(), y() + pt.y());
}

void MainWidget::onBrowseForFilesClicked()
{
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Select one or more files to open"), QString(),
        QStringLiteral("All files (*.*)"));
    if (paths.isEmpty())
        return;
    // Before the list sees the files, so that an empty list takes its
    // destination from the first of them.
    onDestinationPathInit(paths.first());
    emit addFiles(paths);
}

void MainWidget::onBrowseDestinationFolderClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save File"), QString(),
                                                      tr("7z files (*.7z)"));
    if (!path.isEmpty())
        destinationButton->setText(path);
}

void MainWidget::onDestinationPathInit(QString filePath)
{
    if (!fileWidget->getFiles().isEmpty())
        return;
    const QString folderPath = QFileInfo(filePath).absolutePath();
    // A renamed copy's folder is ours, not a place the user chose.
    if (folderPath != StagingFolder::path())
        destinationButton->setText(folderPath + QLatin1Char('/') + QDir(folderPath).dirName()
                                   + QStringLiteral(".7z"));
    destinationWidget->show();
}

void MainWidget::onCompressClicked()
{
    // Escape hides the progress dialog at once, while a cancelled archiver
    // may still be stopping: a press meanwhile must not start another run.
    if (compressing)
        return;
    if (fileWidget->getFiles().isEmpty()) {
        MessageBox::tell(QStringLiteral("Please select at least one file to compress"));
        return;
    }
    makeCompressedFilesFolder();

    const QString destination = destinationButton->text();
    const QFileInfo destinationInfo(destination);
    if (destinationInfo.exists() || destinationInfo.isSymLink()) {
        MessageBox::tell(QStringLiteral("File with this name already exists"));
        return;
    }

    const QStringList paths = fileWidget->getFiles();
    // The archiver only warns about these and writes the archive without
    // them, which would look like a success.
    const QStringList unusable = ArchiveJob::unusablePaths(paths);
    if (!unusable.isEmpty()) {
        QStringList names;
        for (const QString &path : unusable)
            names << QFileInfo(path).fileName();
        MessageBox::tell(QStringLiteral("Some of the listed files no longer exist or cannot be read: ")
                    + names.join(QStringLiteral(", ")));
        return;
    }

    compressing = true;
    const ArchiveJob::Outcome outcome = runArchiver(destination, paths);
    compressing = false;
    reportOutcome(outcome, destination);
    messageBox->setInformativeText(QString());
    advWidget->startAdv(10);
}

void MainWidget::makeCompressedFilesFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                           + QStringLiteral("/compressed_files");
    if (!QFileInfo(folder).isDir())
        QDir().mkdir(folder);
}

ArchiveJob::Outcome MainWidget::runArchiver(const QString &destination, const QStringList &paths)
{
    ArchiveJob job;
    QProgressDialog progress(QStringLiteral("Compressing..."), QStringLiteral("Cancel"), 0, 100, this);
    progress.setWindowTitle(QStringLiteral("Brimlet"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    // Queued: a modal progress dialog runs the event loop inside setValue().
    connect(&job, &ArchiveJob::progressChanged, &progress, &QProgressDialog::setValue,
            Qt::QueuedConnection);
    connect(&progress, &QProgressDialog::canceled, &job, &ArchiveJob::cancel);
    // Escape rejects the dialog, which does not always come with canceled().
    connect(&progress, &QDialog::rejected, &job, &ArchiveJob::cancel);

    // The window keeps painting while the archiver works; the modal progress
    // dialog keeps the user's input away from everything else meanwhile.
    ArchiveJob::Outcome outcome = ArchiveJob::Outcome::Failed;
    QEventLoop loop;
    connect(&job, &ArchiveJob::finished, &loop, [&outcome, &loop](ArchiveJob::Outcome result) {
        outcome = result;
        loop.quit();
    });
    job.start(archiver, destination, paths);
    if (job.isRunning()) {
        progress.show();
        loop.exec();
    }
    return outcome;
}

void MainWidget::reportOutcome(ArchiveJob::Outcome outcome, const QString &destination)
{
    if (outcome != ArchiveJob::Outcome::Succeeded) {
        switch (outcome) {
        case ArchiveJob::Outcome::AccessDenied:
            MessageBox::tell(QStringLiteral(
                "You are unable to save the file in the specified destination. To resolve this, "
                "kindly run the app as an administrator or choose an alternative destination."));
            break;
        case ArchiveJob::Outcome::Cancelled:
            MessageBox::tell(QStringLiteral("Compression cancelled."));
            break;
        default:
            MessageBox::tell(QStringLiteral("Compression failed!"));
            break;
        }
        return;
    }

    messageBox->setStandardButtons(QMessageBox::Ok | QMessageBox::Yes);
    messageBox->button(QMessageBox::Yes)->setText(QStringLiteral("Open"));
    messageBox->setText(QStringLiteral("Compression finished successfully!"));
    messageBox->setInformativeText(QStringLiteral("7z file is saved in ") + destination);
    if (messageBox->exec() == QMessageBox::Yes)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(destination).absolutePath()));
    fileWidget->removeAllFiles();
    // Only now: the archiver has finished reading the copies.
    StagingFolder::remove();
}

bool MainWidget::eventFilter(QObject *watched, QEvent *event)
{
    for (QPushButton *button : {compressButton, cancelButton, browseButton}) {
        if (watched != button)
            continue;
        if (event->type() == QEvent::HoverEnter)
            button->setCursor(Qt::PointingHandCursor);
        else if (event->type() == QEvent::HoverLeave)
            button->setCursor(Qt::ArrowCursor);
    }
    return QWidget::eventFilter(watched, event);
}

void MainWidget::paintEvent(QPaintEvent *)
{
    paintStyledBackground(this);
}

void MainWidget::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
}

void MainWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
}
