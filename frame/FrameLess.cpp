#include "frame/FrameLess.h"

#include <QRubberBand>
#include <QWidget>

FrameLess::FrameLess(QWidget *target)
    : target(target), rubberBand(nullptr), cursorChanged(false), leftButtonPressed(false),
      pressedEdge(None), hoverEdge(None), borderWidth(5), dragStart(false)
{
}
FrameLess::~FrameLess() = default;
bool FrameLess::eventFilter(QObject *watched, QEvent *event) { return QObject::eventFilter(watched, event); }
void FrameLess::detectEdge(const QPoint &, const QRect &, Edge &result) const { result = None; }
void FrameLess::updateCursorShape(const QPoint &) {}
void FrameLess::handleMousePress(QMouseEvent *) {}
void FrameLess::handleMouseMove(QMouseEvent *) {}
