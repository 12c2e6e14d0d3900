#include "ui/ProgressDialog.h"

#include "ui/ScreenFit.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The message box's size, so that the two look alike and open alike.
const QSize dialogSize(400, 200);

} // namespace

ProgressDialog::ProgressDialog(const QString &text, QWidget *parent)
    : QDialog(parent)
    , textLabel(new QLabel(text))
    , detailLabel(new QLabel)
    , bar(new QProgressBar)
    , cancelButton(new QPushButton(QStringLiteral("Cancel")))
{
    // What it is doing, as a screen reader names the window; the message
    // box, which tells the outcome, keeps the program's name.
    setWindowTitle(text);
    // The modality first: setWindowModality() puts back the plain dialog
    // flags, and with them a platform frame with minimise and maximise.
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(dialogSize);

    // File names are shown as they are, never read as markup.
    textLabel->setTextFormat(Qt::PlainText);
    detailLabel->setTextFormat(Qt::PlainText);
    detailLabel->hide();
    bar->setRange(0, 100);
    bar->setValue(0);
    // A screen reader names the bar by what it measures.
    bar->setAccessibleName(text);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->addWidget(textLabel);
    layout->addWidget(detailLabel);
    layout->addStretch();
    layout->addWidget(bar);
    layout->addWidget(cancelButton, 0, Qt::AlignRight);

    connect(cancelButton, &QPushButton::clicked, this, &ProgressDialog::cancelRequested);
}

QString ProgressDialog::text() const
{
    return textLabel->text();
}

void ProgressDialog::setText(const QString &text)
{
    textLabel->setText(text);
    setWindowTitle(text);
    bar->setAccessibleName(text);
}

QString ProgressDialog::detail() const
{
    return fullDetail;
}

void ProgressDialog::setDetail(const QString &detail)
{
    if (detail == fullDetail)
        return;
    fullDetail = detail;
    showDetail();
}

void ProgressDialog::showDetail()
{
    detailLabel->setVisible(!fullDetail.isEmpty());
    const int room = width() - layout()->contentsMargins().left() - layout()->contentsMargins().right();
    detailLabel->setText(detailLabel->fontMetrics().elidedText(fullDetail, Qt::ElideMiddle, room));
    detailLabel->setToolTip(fullDetail);
}

void ProgressDialog::setRange(int minimum, int maximum)
{
    bar->setRange(minimum, maximum);
}

void ProgressDialog::setValue(int value)
{
    bar->setValue(value);
}

void ProgressDialog::showCancelling()
{
    textLabel->setText(QStringLiteral("Cancelling..."));
    cancelButton->hide();
}

// Escape lands here; the dialog stays, and its owner decides.
void ProgressDialog::reject()
{
    emit cancelRequested();
}

void ProgressDialog::closeEvent(QCloseEvent *event)
{
    // The user's close (the window system's, Alt+F4) asks to cancel; the
    // program's own close, when it is ending, goes through.
    if (event->spontaneous()) {
        event->ignore();
        emit cancelRequested();
        return;
    }
    QWidget::closeEvent(event);
}

void ProgressDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The style sheet's font is known only now.
    showDetail();
    ScreenFit::centreInside(this, parentWidget() ? parentWidget()->window() : nullptr);
}
