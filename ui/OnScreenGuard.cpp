#include "ui/OnScreenGuard.h"

#include "ui/ScreenFit.h"

#include <QEvent>
#include <QWidget>

OnScreenGuard::OnScreenGuard(QObject *parent)
    : QObject(parent)
{
}

bool OnScreenGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Show || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    auto *window = static_cast<QWidget *>(watched);
    // Menus, tool tips and lists that drop down place themselves.
    const Qt::WindowType type = window->windowType();
    if (!window->isWindow() || type == Qt::Popup || type == Qt::ToolTip)
        return QObject::eventFilter(watched, event);
    const QRect area = ScreenFit::availableArea(window);
    const QRect frame = window->geometry().marginsAdded(ScreenFit::frameAllowance(window));
    if (!area.isEmpty() && !area.contains(frame))
        ScreenFit::centreInside(window, window->parentWidget() ? window->parentWidget()->window() : nullptr);
    return QObject::eventFilter(watched, event);
}
