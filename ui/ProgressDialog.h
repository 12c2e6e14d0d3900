#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

// The program's own progress dialog, in the message box's look: frameless,
// application-modal, centred over the window it belongs to. It says what is
// being done, on a second line which item is at hand (the file being packed,
// say), and how far the work has got. Cancel, Escape and a close from the
// window system only ask to cancel: the dialog stays until its owner hides
// it, once the work has really stopped.
class ProgressDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ProgressDialog(const QString &text, QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    // Shortened in the middle to the dialog's width; an empty one hides the line.
    QString detail() const;
    void setDetail(const QString &detail);
    // From 0 to 0 the bar shows that the work goes on without saying how far.
    void setRange(int minimum, int maximum);
    void setValue(int value);
    // Says "Cancelling..." and no longer offers Cancel.
    void showCancelling();

signals:
    void cancelRequested();

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void showDetail();

    QLabel *textLabel;
    QLabel *detailLabel;
    QProgressBar *bar;
    QPushButton *cancelButton;
    QString fullDetail;
};
