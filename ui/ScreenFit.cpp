#include "ui/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QWidget>

namespace ScreenFit {

QRect availableArea(const QWidget *window, const QWidget *over)
{
    const QWidget *reference = over && over->isVisible() ? over : window;
    QScreen *screen = reference ? reference->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QMargins frameAllowance(const QWidget *window)
{
    if (window->windowFlags() & Qt::FramelessWindowHint)
        return {};
    // Once shown, the frame is known.
    if (window->isVisible() && window->frameGeometry() != window->geometry())
        return {window->geometry().left() - window->frameGeometry().left(),
                window->geometry().top() - window->frameGeometry().top(),
                window->frameGeometry().right() - window->geometry().right(),
                window->frameGeometry().bottom() - window->geometry().bottom()};
    // Before that, the widest frames met (Windows' title bar, Openbox's)
    // fit in twice the style's title bar.
    const int border = window->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 6;
    return {border, 2 * window->style()->pixelMetric(QStyle::PM_TitleBarHeight), border, border};
}

QRect placeCentred(const QSize &size, const QMargins &frame, const QRect &over, const QRect &area)
{
    const QRect room = area.marginsRemoved(frame);
    QRect placed(QPoint(0, 0), size.boundedTo(room.size()));
    placed.moveCenter(over.center());
    placed.moveLeft(qBound(room.left(), placed.left(), room.right() + 1 - placed.width()));
    placed.moveTop(qBound(room.top(), placed.top(), room.bottom() + 1 - placed.height()));
    return placed;
}

void centreInside(QWidget *window, const QWidget *over)
{
    const QRect area = availableArea(window, over);
    if (area.isEmpty())
        return;
    const QRect target = over && over->isVisible() ? over->geometry() : window->geometry();
    // The inside's place, not the frame's (as move() would take it): the
    // frame, known or not yet, goes around it.
    window->setGeometry(placeCentred(window->size(), frameAllowance(window), target, area));
}

QScrollArea *scrollingArea(QWidget *contents)
{
    auto *area = new QScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(contents);
    area->viewport()->setAutoFillBackground(false);
    contents->setAutoFillBackground(false);
    area->setFocusPolicy(Qt::NoFocus);
    return area;
}

} // namespace ScreenFit
