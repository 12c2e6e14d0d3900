#include "help/HelpWidget.h"

#include "ui/AccessibleRole.h"
#include "ui/ScreenFit.h"
#include "ui/StyledBackground.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScrollArea>
#include <QStringList>
#include <QVBoxLayout>

HelpWidget::HelpWidget(QWidget *parent)
    : QWidget(parent, Qt::Window), titleLabel(new QLabel), textLabel(new QLabel)
{
    // A window to a screen reader, named apart from the main window, whose
    // title it shares.
    AccessibleRole::set(this, QAccessible::Window);
    setAccessibleName(QStringLiteral("Brimlet Help"));

    titleLabel->setText(titleText());
    textLabel->setText(helpText());
    // The steps quote button captions; they must never be read as markup.
    textLabel->setTextFormat(Qt::PlainText);

    auto *contents = new QWidget;
    auto *layout = new QVBoxLayout(contents);
    layout->addWidget(titleLabel, 0, Qt::AlignTop | Qt::AlignHCenter);
    layout->addWidget(textLabel, 1, Qt::AlignTop | Qt::AlignHCenter);

    scrollArea = ScreenFit::scrollingArea(contents);
    // The keys scroll the text (arrows, Page Up and Down) where it does not fit.
    scrollArea->setFocusPolicy(Qt::StrongFocus);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scrollArea);

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

void HelpWidget::showOver(QWidget *window)
{
    resize(fittingSize());
    ScreenFit::centreInside(this, window);
    show();
}

// The text's own size where the screen has room for it; where it has not,
// the screen's width, the lines wrapped to it, and no more than its height.
QSize HelpWidget::fittingSize()
{
    ensurePolished();
    textLabel->setWordWrap(false);
    QWidget *contents = scrollArea->widget();
    contents->layout()->activate();
    const QSize whole = contents->sizeHint();
    const QSize room = ScreenFit::availableArea(this, parentWidget())
                           .marginsRemoved(ScreenFit::frameAllowance(this))
                           .size();
    if (room.isEmpty() || (whole.width() <= room.width() && whole.height() <= room.height()))
        return whole;
    textLabel->setWordWrap(true);
    contents->layout()->activate();
    const int width = qMin(whole.width(), room.width());
    const int height = contents->hasHeightForWidth() ? contents->heightForWidth(width) : whole.height();
    return QSize(width, qMin(height, room.height()));
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
