#pragma once

#include <QMessageBox>
#include <QPointer>

// The main window's message box. QMessageBox sizes itself to its text every
// time it is shown; this one keeps the fixed size it was given.
class MessageBox : public QMessageBox
{
    Q_OBJECT

public:
    explicit MessageBox(QWidget *parent = nullptr);

    void keepFixedSize(const QSize &size);
    // The box has no parent; it still opens centred over this window.
    void centreOver(QWidget *window);

protected:
    bool event(QEvent *event) override;

private:
    QSize chosenSize;
    QPointer<QWidget> anchor;
};
