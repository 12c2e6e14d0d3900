#include "ui/MessageBox.h"

#include <QAbstractButton>
#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QQueue>

#include <memory>

namespace {

const QSize boxSize(400, 200);

QQueue<QMessageBox::StandardButton> &nextAnswers()
{
    static QQueue<QMessageBox::StandardButton> answers;
    return answers;
}

QStringList &answered()
{
    static QStringList texts;
    return texts;
}

QPointer<MessageBox> &sharedBox()
{
    static QPointer<MessageBox> box;
    return box;
}

} // namespace

MessageBox::MessageBox(QWidget *parent)
    : QMessageBox(parent)
{
    setWindowTitle(QStringLiteral("Brimlet"));
    // setWindowModality() puts back the plain dialog flags, so the modality
    // goes first or the box would get a platform frame again.
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::FramelessWindowHint);
    // File names are shown as they are, never read as markup.
    setTextFormat(Qt::PlainText);
    setFixedSize(boxSize);
}

void MessageBox::centreOver(QWidget *window)
{
    anchor = window;
}

int MessageBox::exec()
{
    if (nextAnswers().isEmpty())
        return QMessageBox::exec();
    QString seen = text();
    if (!informativeText().isEmpty())
        seen += QLatin1Char('\n') + informativeText();
    answered() << seen;
    return nextAnswers().dequeue();
}

void MessageBox::tell(const QString &text)
{
    if (MessageBox *box = sharedBox()) {
        box->setStandardButtons(QMessageBox::Ok);
        box->setText(text);
        box->setInformativeText(QString());
        box->exec();
        return;
    }
    MessageBox box;
    box.setStandardButtons(QMessageBox::Ok);
    box.setText(text);
    box.exec();
}

bool MessageBox::offerOpen(const QString &text, const QString &informativeText)
{
    std::unique_ptr<MessageBox> own;
    MessageBox *box = sharedBox();
    if (!box) {
        own = std::make_unique<MessageBox>();
        box = own.get();
    }
    box->setStandardButtons(QMessageBox::Ok | QMessageBox::Yes);
    box->button(QMessageBox::Yes)->setText(QStringLiteral("Open"));
    // Return, Escape and the box's first focus choose the plain answer;
    // opening a folder is only ever chosen on purpose.
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(QMessageBox::Ok);
    box->setText(text);
    box->setInformativeText(informativeText);
    // It names a path, which must never be read as markup either.
    if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    const bool open = box->exec() == QMessageBox::Yes;
    // The next message of the shared box is plain again.
    box->setInformativeText(QString());
    return open;
}

void MessageBox::setShared(MessageBox *box)
{
    sharedBox() = box;
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton button)
{
    nextAnswers().enqueue(button);
}

QStringList MessageBox::answeredTexts()
{
    return answered();
}

void MessageBox::clearAnswers()
{
    nextAnswers().clear();
    answered().clear();
}

bool MessageBox::event(QEvent *event)
{
    // The style sheet gives the buttons 50 pixels of width: room for a word,
    // not for an icon as well ("Open" would lose its last letter).
    if (event->type() == QEvent::Show) {
        for (QAbstractButton *button : buttons())
            button->setIcon(QIcon());
    }
    const bool result = QMessageBox::event(event);
    // QMessageBox fits itself to its text whenever it lays itself out anew.
    if (size() != boxSize
        && (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show))
        setFixedSize(boxSize);
    if (event->type() == QEvent::Show && anchor && anchor->isVisible())
        move(anchor->geometry().center() - rect().center());
    return result;
}
