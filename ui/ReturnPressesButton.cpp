#include "ui/ReturnPressesButton.h"

#include <QAbstractButton>
#include <QKeyEvent>

ReturnPressesButton::ReturnPressesButton(QObject *parent)
    : QObject(parent)
{
}

bool ReturnPressesButton::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride && type != QEvent::KeyRelease)
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return QObject::eventFilter(watched, event);
    if (type == QEvent::KeyRelease) {
        releasedKey = key->key();
        releasedAt = key->timestamp();
        return QObject::eventFilter(watched, event);
    }
    if (isRepeat(key)) {
        // Taken as the widget's own (so no shortcut fires), and dropped.
        key->accept();
        return true;
    }
    if (event->type() == QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (!button)
        return QObject::eventFilter(watched, event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return true;
    if (button->hasFocus() && button->isEnabled()) {
        button->click();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// X11 repeats a held key as a release and a press at the same instant, and
// Qt, when the press has not reached it yet as it reads the release, takes
// them for a real release and a new press.
bool ReturnPressesButton::isRepeat(const QKeyEvent *key) const
{
    return key->isAutoRepeat() || (key->timestamp() != 0 && key->timestamp() == releasedAt && key->key() == releasedKey);
}
