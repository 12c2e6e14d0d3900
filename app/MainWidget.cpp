#include "app/MainWidget.h"

#include "app/BackgroundPicture.h"
#include "app/CompressionRun.h"
#include "app/FileDialogs.h"
#include "app/PathButton.h"
#include "app/StartupWarmUp.h"
#include "app/TerminationWatch.h"
#include "ui/AccessibleRole.h"
#include "ui/MessageBox.h"
#include "ui/ScreenFit.h"
#include "ui/StyledBackground.h"

#include "ads/AdvWidget.h"
#include "filelist/FileWidget.h"
#include "filelist/StagingFolder.h"
#include "frame/HeaderWidget.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScreen>
#include <QShortcut>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <cstdlib>

namespace {

// One row of the list and the list's margins.
constexpr int listLeastHeight = 120;

const char *const initialDestination = "C:/Users/username/Documents/compressed_files";
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
    , destinationButton(new PathButton(QString::fromLatin1(initialDestination)))
    , messageBox(new MessageBox)
    , termination(new TerminationWatch(this))
    , archiver(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("util/7z.exe")))
    , destination(QString::fromLatin1(initialDestination))
{
    // A window to a screen reader, not a "filler".
    AccessibleRole::set(this, QAccessible::Window);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(header);

    auto *body = new QWidget;
    auto *inner = new QVBoxLayout(body);
    inner->setContentsMargins(47, 0, 40, 0);
    // Below the title bar, what does not fit a small or scaled screen scrolls.
    bodyScroll = ScreenFit::scrollingArea(body);
    outer->addWidget(bodyScroll);
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
    addKeys();
    orderTabStops();
    // The window starts on the first step: Return at start browses.
    browseButton->setFocus();
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
    // A screen reader reads the label with the button, and what it does.
    destinationLabel->setBuddy(destinationButton);
    destinationButton->setAccessibleDescription(QStringLiteral("Opens the save dialog to choose where the archive goes"));
    // The same name as the path button, so that one style rule serves both.
    destinationLabel->setObjectName(QStringLiteral("Destination_path"));
    destinationRow->addWidget(destinationLabel, 0, Qt::AlignLeft);
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
    connect(fileWidget, &FileWidget::refused, this, &MainWidget::onError);
    connect(fileWidget, &FileWidget::initDestinationPath, this, &MainWidget::onDestinationPathInit);
    // Never on to Cancel, which would end the program at the next Return.
    connect(fileWidget, &FileWidget::focusLeftEmptyList, browseButton, qOverload<>(&QWidget::setFocus));
    connect(destinationButton, &QAbstractButton::clicked, this, &MainWidget::onBrowseDestinationFolderClicked);
    connect(header, &HeaderWidget::moveWindow, this, &MainWidget::onMoveEvent);
    endOnRequest();
}

// However the program ends that it has a say in (the window closed, Cancel,
// a request from outside such as at logout), the copies it made of renamed
// files go with it. A request from outside ends a run first: the archiver
// stops and its archive goes, or a finished one is put in place.
void MainWidget::endOnRequest()
{
    connect(termination, &TerminationWatch::requested, this, [] { QCoreApplication::exit(0); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWidget::removeOwnCopies);
}

void MainWidget::removeOwnCopies()
{
    StagingFolder::ofThisProgram().tidyUp();
}

void MainWidget::addKeys()
{
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this, this, &MainWidget::onBrowseForFilesClicked);
    // A folder can be dropped; this is the keyboard's way to add one.
    new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), this, this, &MainWidget::browseForFolder);
    // The keypad's Enter as well as the main Return key.
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this, this, &MainWidget::onCompressClicked);
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Enter), this, this, &MainWidget::onCompressClicked);
    new QShortcut(QKeySequence(Qt::Key_F1), this, header, &HeaderWidget::onHelpPressed);
}

// Tab follows the screen, top to bottom and left to right, not the order in
// which the parts happened to be built.
void MainWidget::orderTabStops()
{
    // The list's rows come after its anchor, as the list places them.
    const QList<QWidget *> stops = {fileWidget->tabAnchor(), browseButton, destinationButton, cancelButton,
                                    compressButton};
    for (qsizetype i = 1; i < stops.size(); ++i)
        setTabOrder(stops.at(i - 1), stops.at(i));
}

void MainWidget::setArchiverProgram(const QString &program)
{
    archiver = program;
}

void MainWidget::onSizeChanged(float size)
{
    if (fileWidget->fileCount() == 0) {
        destinationWidget->hide();
        // Later, for a rebuild of the list passes through an empty list too.
        QTimer::singleShot(0, this, &MainWidget::forgetChosenDestinationIfListEmpty);
    }
    sizeLabel->setText(sizeLineText(size));
}

void MainWidget::onCancelClicked()
{
    removeOwnCopies();
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
    const QStringList paths = FileDialogs::openFiles(this);
    takeKeyboardBack();
    if (paths.isEmpty())
        return;
    // Before the list sees the files, so that an empty list takes its
    // destination from the first of them.
    onDestinationPathInit(paths.first());
    emit addFiles(paths);
}

void MainWidget::browseForFolder()
{
    const QString folder = FileDialogs::openFolder(this);
    takeKeyboardBack();
    if (folder.isEmpty())
        return;
    onDestinationPathInit(folder);
    emit addFiles({folder});
}

// Not every system gives the keyboard back to the window when a dialog it
// opened closes (under Wine no window had it until one was clicked).
void MainWidget::takeKeyboardBack()
{
    activateWindow();
}

void MainWidget::onBrowseDestinationFolderClicked()
{
    const QString path = FileDialogs::saveArchive(this, destination.path());
    takeKeyboardBack();
    if (path.isEmpty())
        return;
    destination.choose(path);
    showDestination();
}

// Shown as the system writes paths (backslashes on Windows).
void MainWidget::showDestination()
{
    destinationButton->setPath(QDir::toNativeSeparators(destination.path()));
}

QString MainWidget::destinationPath() const
{
    return destination.path();
}

void MainWidget::showInsideScreen(const QSize &preferred)
{
    // Sizes are known only once the style sheet has reached every part.
    ensurePolished();
    const QRect available = screen()->availableGeometry();
    // A screen too low for the whole window takes height from the list (its
    // rows scroll), down to one row, so that the buttons below stay in view.
    const int excess = leastSizeWithDestination().height() - available.height();
    if (excess > 0)
        fileWidget->setMinimumHeight(qMax(listLeastHeight, fileWidget->minimumHeight() - excess));
    // What still does not fit (at 200 % on a small laptop screen) scrolls,
    // below the title bar, so that the window is never larger than the screen.
    const QSize overflow = (leastSizeWithDestination() - available.size()).expandedTo(QSize(0, 0));
    bodyScroll->setMinimumSize(bodyScroll->minimumSize() - overflow);
    layout()->activate();
    resize(preferred.boundedTo(available.size()).expandedTo(minimumSizeHint()));
    move(available.center() - rect().center());
    show();
}

// The destination row shows with the first file; the window must not have
// to grow for it then. The body is wholly in view at this size.
QSize MainWidget::leastSizeWithDestination()
{
    QWidget *body = bodyScroll->widget();
    const bool wasHidden = destinationWidget->isHidden();
    destinationWidget->show();
    // The nested layouts learn of changed sizes only when activated.
    body->layout()->activate();
    bodyScroll->setMinimumSize(body->minimumSizeHint());
    layout()->activate();
    const QSize least = minimumSizeHint();
    destinationWidget->setHidden(wasHidden);
    body->layout()->activate();
    layout()->activate();
    return least;
}

void MainWidget::forgetChosenDestinationIfListEmpty()
{
    if (fileWidget->fileCount() == 0)
        destination.forgetChoice();
}

void MainWidget::onDestinationPathInit(QString filePath)
{
    if (fileWidget->fileCount() > 0)
        return;
    if (destination.beginList(filePath, StagingFolder::ofThisProgram()))
        showDestination();
    destinationWidget->show();
}

void MainWidget::onCompressClicked()
{
    if (compressing)
        return;
    if (fileWidget->fileCount() == 0) {
        MessageBox::tell(QStringLiteral("Please select at least one file to compress"));
        return;
    }
    makeCompressedFilesFolder();
    // Asked to end just now: no new run, and none left waiting after this one.
    if (termination->takeRequest()) {
        QCoreApplication::exit(0);
        return;
    }

    compressing = true;
    CompressionRun run(archiver, this, termination);
    const CompressionRun::Ending ending =
        run.exec(destination.path(), fileWidget->getFiles(), destination.mayReplace());
    compressing = false;
    if (termination->takeRequest())
        QCoreApplication::exit(0);
    if (ending == CompressionRun::Ending::BeforeArchiver)
        return;
    if (ending == CompressionRun::Ending::Succeeded) {
        fileWidget->removeAllFiles();
        // Only now: the archiver has finished reading the copies.
        StagingFolder::ofThisProgram().tidyUp();
        // On to the next archive, never to Cancel (next in line after the
        // destination, which goes with the files).
        browseButton->setFocus();
    }
    advWidget->startAdv(10);
}

void MainWidget::makeCompressedFilesFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                           + QStringLiteral("/compressed_files");
    if (!QFileInfo(folder).isDir())
        QDir().mkdir(folder);
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

// However the window is closed (Alt+F4, the window manager's close), the
// program ends with it, as with the title bar's Close; help windows left
// open would otherwise keep it running without a window to go back to.
void MainWidget::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        QCoreApplication::quit();
}

// The style sheet's background picture is decoded as the window is first
// styled, on the window's thread, unless Qt finds it already made: it is,
// from what a start-up worker decoded meanwhile.
bool MainWidget::event(QEvent *event)
{
    if (event->type() == QEvent::Polish)
        BackgroundPicture::prime(devicePixelRatioF());
    return QWidget::event(event);
}

void MainWidget::paintEvent(QPaintEvent *)
{
    paintStyledBackground(this);
    static bool painted = false;
    if (!std::exchange(painted, true))
        StartupWarmUp::afterFirstPaint();
}

