#pragma once

#include <QObject>

class QKeyEvent;

// Return and Enter press the focused button, as Space does and as Windows
// users expect. Qt gives them to a push button only inside a dialog, and to
// a tool button never. Installed on the application, it serves every window
// of the program: the main window, its title bar, the boxes and dialogs.
//
// One press, one action: a Return or Enter held down acts once, whatever
// window appears meanwhile. The repeats the keyboard sends while the key is
// held would otherwise land in the dialog the first press opened (Cancel in
// the progress dialog, OK in a box) and answer it. And with Ctrl (Ctrl+Return
// compresses) the key is a shortcut's, never a press of the focused button,
// which Qt's push button would click on any Return.
class ReturnPressesButton : public QObject
{
    Q_OBJECT

public:
    explicit ReturnPressesButton(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isRepeat(const QKeyEvent *key) const;

    // The last release of Return or Enter: the window system's time of it.
    int releasedKey = 0;
    quint64 releasedAt = 0;
};
