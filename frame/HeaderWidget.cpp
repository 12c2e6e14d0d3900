#include "frame/HeaderWidget.h"

#include "ui/StyledBackground.h"

#include "help/HelpWidget.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QToolButton>

namespace {

// The width of the band along the window's outline in which the frame
// controller resizes the window.
const int resizeBorderWidth = 5;

void describeButton(QToolButton *button, const QString &iconPath, const QString &name)
{
    button->setIcon(QIcon(iconPath));
    // The buttons show only a symbol; screen readers and hovering users get words.
    button->setToolTip(name);
    button->setAccessibleName(name);
    // As a window's own caption buttons, they are not on Tab's way: F1,
    // Alt+F4 and the window menu reach what they do.
    button->setFocusPolicy(Qt::NoFocus);
}

} // namespace

HeaderWidget::HeaderWidget(QWidget *parent)
    : QWidget(parent), mousePressed(false), lastMousePos(0, 0), minimizeButton(nullptr),
      closeButton(nullptr), helpButton(nullptr), resizePassedOn(false)
{
    setAttribute(Qt::WA_MouseTracking);

    closeButton = new QToolButton(this);
    minimizeButton = new QToolButton(this);
    helpButton = new QToolButton(this);
    buildContents();

    connect(minimizeButton, &QToolButton::clicked, this, &HeaderWidget::onMinimize);
    connect(closeButton, &QToolButton::clicked, QCoreApplication::instance(), &QCoreApplication::quit);
    connect(helpButton, &QToolButton::clicked, this, &HeaderWidget::onHelpPressed);

    setMinimumHeight(74);
}

void HeaderWidget::buildContents()
{
    auto *layout = new QHBoxLayout(this);

    auto *iconLabel = new QLabel(this);
    iconLabel->setContentsMargins(40, 0, 0, 0);
    // Drawn for the screen's pixels: loaded at its own size, the drawing
    // would be enlarged, and blurred, on a scaled screen.
    QImageReader package(QStringLiteral(":/qrc/file-all.svg"));
    const qreal ratio = iconLabel->devicePixelRatioF();
    package.setScaledSize(package.size() * ratio);
    QPixmap packagePicture = QPixmap::fromImage(package.read());
    packagePicture.setDevicePixelRatio(ratio);
    iconLabel->setPixmap(packagePicture);

    // The cross drawn at the button's size: the large one, decoded whole for
    // sixteen pixels, cost more than the rest of the title bar.
    describeButton(closeButton, QStringLiteral(":/qrc/close-title.png"), QStringLiteral("Close"));
    describeButton(minimizeButton, QStringLiteral(":/qrc/minimize.png"), QStringLiteral("Minimize"));
    describeButton(helpButton, QStringLiteral(":/qrc/help.png"), QStringLiteral("Help"));

    // Its font and colour come from the application style sheet.
    auto *caption = new QLabel(QStringLiteral("Brimlet\u2122"), this);

    layout->addWidget(iconLabel, 0, Qt::AlignLeft);
    layout->addSpacing(10);
    layout->addWidget(caption, 1, Qt::AlignLeft);
    layout->addWidget(helpButton, 0, Qt::AlignRight);
    layout->addWidget(minimizeButton, 0, Qt::AlignRight);
    layout->addWidget(closeButton, 0, Qt::AlignRight);
    layout->addSpacing(27);
}

// The title bar's own window, not whichever window happens to be active:
// that may be a help window, or none at all when no window has focus.
void HeaderWidget::onMinimize()
{
    window()->showMinimized();
}

void HeaderWidget::onHelpPressed()
{
    // A window of the main window's own: it stays above it and goes with it.
    helpWidget = new HelpWidget(window());
    // A new window opens per click; closed ones must not pile up.
    helpWidget->setAttribute(Qt::WA_DeleteOnClose);
    // Without the customize hint some platforms, X11 among them, ignore the
    // missing buttons and offer minimise and maximise all the same.
    helpWidget->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                               | Qt::WindowCloseButtonHint);
    helpWidget->setWindowTitle(QStringLiteral("Brimlet"));
    // Over the window it explains, not wherever the platform puts new windows.
    helpWidget->showOver(window());
}

void HeaderWidget::mousePressEvent(QMouseEvent *event)
{
    const QPoint position = event->globalPosition().toPoint();
    if (resizePassedOn || (event->button() == Qt::LeftButton && isOnResizeBorder(position))) {
        // The window's resize border runs under the title bar: ignoring the
        // press hands it, and the drag that follows, on to the window's frame
        // controller, which shows the resize cursor there.
        resizePassedOn = true;
        event->ignore();
        return;
    }
    mousePressed = true;
    lastMousePos = position;
}

void HeaderWidget::mouseReleaseEvent(QMouseEvent *event)
{
    lastMousePos = event->globalPosition().toPoint();
    if (resizePassedOn) {
        if (event->button() == Qt::LeftButton)
            resizePassedOn = false;
        event->ignore();
        return;
    }
    mousePressed = false;
}

void HeaderWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint position = event->globalPosition().toPoint();
    if (resizePassedOn) {
        lastMousePos = position;
        event->ignore();
        return;
    }
    const QPoint delta = position - lastMousePos;
    if (mousePressed)
        emit moveWindow(delta);
    lastMousePos = position;
}

void HeaderWidget::paintEvent(QPaintEvent *)
{
    paintStyledBackground(this);
}

bool HeaderWidget::isOnResizeBorder(const QPoint &globalPos) const
{
    const QWidget *frameWindow = window();
    if (frameWindow == this || !(frameWindow->windowFlags() & Qt::FramelessWindowHint)
        || frameWindow->isMaximized() || frameWindow->isFullScreen())
        return false;
    const QRect frame = frameWindow->frameGeometry();
    return globalPos.x() <= frame.x() + resizeBorderWidth
        || globalPos.x() >= frame.x() + frame.width() - resizeBorderWidth
        || globalPos.y() <= frame.y() + resizeBorderWidth;
}
