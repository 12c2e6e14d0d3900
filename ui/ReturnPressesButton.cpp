#include "ui/ReturnPressesButton.h"

#include <QAbstractButton>
#include <QKeyEvent>

ReturnPressesButton::ReturnPressesButton(QObject *parent)
    : QObject(parent)
{
}

bool ReturnPressesButton::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    auto *button = qobject_cast<QAbstractButton *>(watched);
    const bool returnKey = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    // With a modifier the key belongs to a shortcut (Ctrl+Return compresses);
    // a held key must not press the button over and over.
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !key->isAutoRepeat();
    if (button && returnKey && plain && button->hasFocus() && button->isEnabled()) {
        button->click();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
