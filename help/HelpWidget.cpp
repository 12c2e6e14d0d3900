#include "help/HelpWidget.h"

#include "ui/StyledBackground.h"

#include <QKeyEvent>
#include <QLabel>
#include <QStringList>
#include <QVBoxLayout>

HelpWidget::HelpWidget(QWidget *parent)
    : QWidget(parent, Qt::Window), titleLabel(new QLabel), textLabel(new QLabel)
{
    auto *layout = new QVBoxLayout(this);

    titleLabel->setText(titleText());
    textLabel->setText(helpText());
    // The steps quote button captions; they must never be read as markup.
    textLabel->setTextFormat(Qt::PlainText);

    layout->addWidget(titleLabel, 0, Qt::AlignTop | Qt::AlignHCenter);
    layout->addWidget(textLabel, 1, Qt::AlignTop | Qt::AlignHCenter);

    titleLabel->setObjectName(QStringLiteral("HelpTitleLabel"));
    textLabel->setObjectName(QStringLiteral("HelpStandardLabel"));
}

QString HelpWidget::titleText()
{
    return QStringLiteral("How to Use the File Compression Tool");
}

QString HelpWidget::helpText()
{
    const QStringList lines = {
        QStringLiteral("1. To select files for compression, you can either :"),
        QStringLiteral("\tPress the \"Browse Files\" button and navigate to the desired files on your system, or"),
        QStringLiteral("\tSimply drag and drop the files directly into the application window."),
        QStringLiteral("2. Optionally, you can change the filenames within the application."),
        QStringLiteral("This will not affect the original filenames but will be reflected in the compressed version."),
        QStringLiteral("3. Choose the destination where you want to save the compressed file."),
        QStringLiteral("4. Once you have finalized the settings, click the \"Compress\" button to initiate the compression process."),
        QStringLiteral("5. Once the compression process is complete,"),
        QStringLiteral(" you will be notified of the success. The compressed file will be created and saved at the destination you specified."),
    };
    return lines.join(QLatin1Char('\n'));
}

void HelpWidget::paintEvent(QPaintEvent *)
{
    paintStyledBackground(this);
}

// Escape closes it, as it would a dialog.
void HelpWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}
