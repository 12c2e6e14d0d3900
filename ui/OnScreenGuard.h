#pragma once

#include <QObject>

// Installed on the application: every window of the program, as it is shown
// (a file dialog, a rename dialog, any box), is moved, and cut down where it
// is larger, to lie whole inside the free part of its screen, frame and all.
// Qt places a dialog over its parent at its preferred size, which at 200 %
// on a small laptop screen runs off the screen's edge.
class OnScreenGuard : public QObject
{
    Q_OBJECT

public:
    explicit OnScreenGuard(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
