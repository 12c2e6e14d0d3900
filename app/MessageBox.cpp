#include "app/MessageBox.h"

#include <QAbstractButton>
#include <QEvent>
#include <QIcon>

MessageBox::MessageBox(QWidget *parent)
    : QMessageBox(parent)
{
}

void MessageBox::keepFixedSize(const QSize &size)
{
    chosenSize = size;
    setFixedSize(size);
}

void MessageBox::centreOver(QWidget *window)
{
    anchor = window;
}

bool MessageBox::event(QEvent *event)
{
    // The style sheet gives the buttons 50 pixels of width: room for a word,
    // not for an icon as well ("Open" would lose its last letter).
    if (event->type() == QEvent::Show) {
        for (QAbstractButton *button : buttons())
            button->setIcon(QIcon());
    }
    const bool result = QMessageBox::event(event);
    // QMessageBox fits itself to its text whenever it lays itself out anew.
    if (chosenSize.isValid() && size() != chosenSize
        && (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show))
        setFixedSize(chosenSize);
    if (event->type() == QEvent::Show && anchor && anchor->isVisible())
        move(anchor->geometry().center() - rect().center());
    return result;
}
