#include "app/MessageBox.h"

#include <QEvent>

MessageBox::MessageBox(QWidget *parent)
    : QMessageBox(parent)
{
}

void MessageBox::keepFixedSize(const QSize &size)
{
    chosenSize = size;
    setFixedSize(size);
}

bool MessageBox::event(QEvent *event)
{
    const bool result = QMessageBox::event(event);
    // QMessageBox fits itself to its text whenever it lays itself out anew.
    if (chosenSize.isValid() && size() != chosenSize
        && (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show))
        setFixedSize(chosenSize);
    return result;
}
