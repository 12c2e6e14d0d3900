#include "frame/FrameLess.h"

#include <QCursor>
#include <QEvent>
#include <QHoverEvent>
#include <QMargins>
#include <QMouseEvent>
#include <QRect>
#include <QRubberBand>
#include <QWidget>

#include <utility>

namespace {

bool movesLeftEdge(FrameLess::Edge edge)
{
    return edge == FrameLess::Left || edge == FrameLess::TopLeft || edge == FrameLess::BottomLeft;
}

bool movesRightEdge(FrameLess::Edge edge)
{
    return edge == FrameLess::Right || edge == FrameLess::TopRight || edge == FrameLess::BottomRight;
}

bool movesTopEdge(FrameLess::Edge edge)
{
    return edge == FrameLess::Top || edge == FrameLess::TopLeft || edge == FrameLess::TopRight;
}

bool movesBottomEdge(FrameLess::Edge edge)
{
    return edge == FrameLess::Bottom || edge == FrameLess::BottomLeft || edge == FrameLess::BottomRight;
}

Qt::CursorShape cursorFor(FrameLess::Edge edge)
{
    if (edge == FrameLess::Top || edge == FrameLess::Bottom)
        return Qt::SizeVerCursor;
    if (edge == FrameLess::Left || edge == FrameLess::Right)
        return Qt::SizeHorCursor;
    if (edge == FrameLess::TopLeft || edge == FrameLess::BottomRight)
        return Qt::SizeFDiagCursor;
    return Qt::SizeBDiagCursor;
}

bool within(int low, int value, int high)
{
    return low <= value && value <= high;
}

} // namespace

Qt::WindowFlags FrameLess::frameFlags()
{
#if defined(Q_OS_WIN)
    // With the minimise box, Windows minimises and restores the window when
    // its taskbar button is clicked; without it the click does nothing. It
    // draws no frame for it. (On X11 the same hint brings the frame back.)
    return Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint;
#else
    return Qt::FramelessWindowHint;
#endif
}

FrameLess::FrameLess(QWidget *target)
    : target(target), cursorChanged(false), leftButtonPressed(false), pressedEdge(None),
      hoverEdge(None), borderWidth(5), dragStart(false)
{
    target->setAttribute(Qt::WA_MouseTracking);
    target->setWindowFlags(frameFlags());
    target->setAttribute(Qt::WA_Hover);
    target->installEventFilter(this);
    rubberBand = std::make_unique<QRubberBand>(QRubberBand::Rectangle);
}

FrameLess::~FrameLess() = default;

bool FrameLess::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != target)
        return QObject::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::MouseButtonPress:
        handleMousePress(static_cast<QMouseEvent *>(event));
        return true;
    case QEvent::MouseButtonRelease:
        handleMouseRelease(static_cast<QMouseEvent *>(event));
        return true;
    case QEvent::MouseMove:
        handleMouseMove(static_cast<QMouseEvent *>(event));
        return true;
    case QEvent::Leave:
        if (!leftButtonPressed)
            target->unsetCursor();
        return true;
    case QEvent::HoverMove: {
        const QPointF local = static_cast<QHoverEvent *>(event)->position();
        updateCursorShape(target->mapToGlobal(local).toPoint());
        return true;
    }
    default:
        return target->eventFilter(watched, event);
    }
}

// The left band reaches outside the frame, the others stop at its outline.
// Where bands meet, the order of the tests decides: sides before corners.
void FrameLess::detectEdge(const QPoint &globalPos, const QRect &frame, Edge &result) const
{
    const int px = globalPos.x();
    const int py = globalPos.y();
    const int x = frame.x();
    const int y = frame.y();
    const int w = frame.width();
    const int h = frame.height();
    const int b = borderWidth;

    const bool leftColumn = within(x, px, x + b);
    const bool rightColumn = within(x + w - b, px, x + w);
    const bool middleColumn = within(x + b, px, x + w - b);
    const bool topRow = within(y, py, y + b);
    const bool bottomRow = within(y + h - b, py, y + h);
    const bool middleRow = within(y + b, py, y + h - b);

    // The first band that holds the point wins.
    const std::pair<bool, Edge> bands[] = {
        {within(x - b, px, x + b) && middleRow, Left}, {rightColumn && middleRow, Right},
        {middleColumn && bottomRow, Bottom},           {middleColumn && topRow, Top},
        {leftColumn && bottomRow, BottomLeft},         {rightColumn && bottomRow, BottomRight},
        {rightColumn && topRow, TopRight},             {leftColumn && topRow, TopLeft},
    };
    result = None;
    for (const auto &[inBand, edge] : bands) {
        if (inBand) {
            result = edge;
            return;
        }
    }
}

void FrameLess::updateCursorShape(const QPoint &globalPos)
{
    if (isFixedInPlace()) {
        if (cursorChanged)
            target->unsetCursor();
        return;
    }
    if (leftButtonPressed)
        return;

    detectEdge(globalPos, target->frameGeometry(), hoverEdge);
    cursorChanged = hoverEdge != None;
    if (cursorChanged)
        target->setCursor(QCursor(cursorFor(hoverEdge)));
    else
        target->unsetCursor();
}

void FrameLess::handleMousePress(QMouseEvent *event)
{
    // A maximized or full-screen window offers no cursors, so it must not
    // move or resize behind the user's back either.
    if (event->button() != Qt::LeftButton || isFixedInPlace())
        return;

    leftButtonPressed = true;
    pressGlobalPos = event->globalPosition().toPoint();
    detectEdge(pressGlobalPos, target->frameGeometry(), pressedEdge);
    if (pressedEdge != None)
        rubberBand->setGeometry(target->frameGeometry());

    const QRect inner = target->rect().marginsRemoved(
        QMargins(borderWidth, borderWidth, borderWidth, borderWidth));
    const QPoint local = event->position().toPoint();
    dragStart = inner.contains(local);
    if (dragStart)
        dragPos = local;
}

void FrameLess::handleMouseRelease(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    leftButtonPressed = false;
    dragStart = false;
}

void FrameLess::handleMouseMove(QMouseEvent *event)
{
    if (!leftButtonPressed) {
        updateCursorShape(event->globalPosition().toPoint());
        return;
    }
    if (isFixedInPlace())
        return;

    // A press on the line where the border meets the inside selects both;
    // the resize wins, as moving first would only be overwritten.
    if (pressedEdge != None) {
        target->setGeometry(resizedFrame(event->globalPosition().toPoint()));
    } else if (dragStart) {
        const QPoint offset = event->position().toPoint() - dragPos;
        target->move(target->frameGeometry().topLeft() + offset);
    }
}

bool FrameLess::isFixedInPlace() const
{
    return target->isMaximized() || target->isFullScreen();
}

// The dragged edges follow the pointer by the distance it has travelled
// since the press, so the edge does not jump to the pointer when the press
// landed a few pixels inside the band. At a size limit the dragged edge
// stops and the opposite one stays put, so the window never wanders off.
QRect FrameLess::resizedFrame(const QPoint &globalPos) const
{
    const QRect start = rubberBand->geometry();
    const QPoint delta = globalPos - pressGlobalPos;
    int left = start.left();
    int top = start.top();
    int right = start.right();
    int bottom = start.bottom();

    if (movesLeftEdge(pressedEdge))
        left += delta.x();
    if (movesRightEdge(pressedEdge))
        right += delta.x();
    if (movesTopEdge(pressedEdge))
        top += delta.y();
    if (movesBottomEdge(pressedEdge))
        bottom += delta.y();

    const int width = qBound(target->minimumWidth(), right - left + 1, target->maximumWidth());
    const int height = qBound(target->minimumHeight(), bottom - top + 1, target->maximumHeight());
    if (movesLeftEdge(pressedEdge))
        left = right - width + 1;
    else
        right = left + width - 1;
    if (movesTopEdge(pressedEdge))
        top = bottom - height + 1;
    else
        bottom = top + height - 1;

    return QRect(QPoint(left, top), QPoint(right, bottom));
}
