#pragma once

#include <QMessageBox>

// The main window's message box. QMessageBox sizes itself to its text every
// time it is shown; this one keeps the fixed size it was given.
class MessageBox : public QMessageBox
{
    Q_OBJECT

public:
    explicit MessageBox(QWidget *parent = nullptr);

    void keepFixedSize(const QSize &size);

protected:
    bool event(QEvent *event) override;

private:
    QSize chosenSize;
};
