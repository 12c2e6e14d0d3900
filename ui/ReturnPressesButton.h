#pragma once

#include <QObject>

// Return and Enter press the focused button, as Space does and as Windows
// users expect. Qt gives them to a push button only inside a dialog, and to
// a tool button never. Installed on the application, it serves every window
// of the program: the main window, its title bar, the boxes and dialogs.
class ReturnPressesButton : public QObject
{
    Q_OBJECT

public:
    explicit ReturnPressesButton(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
