#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class BackgroundWork;
class ProgressDialog;
class QWidget;

// The progress dialog of the list's disk work: shown once the work turns
// out slow, saying what it does and on what, how far it has got, with a
// Cancel that stops the work; closed when the work ends.
class WorkDialog : public QObject
{
    Q_OBJECT

public:
    WorkDialog(BackgroundWork *work, QWidget *window);

private:
    void show(const QString &labelText, const QString &detail);
    void close();

    BackgroundWork *work;
    QWidget *window;
    QPointer<ProgressDialog> dialog;
};
