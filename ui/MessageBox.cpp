#include "ui/MessageBox.h"

#include "ui/ScreenFit.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QQueue>
#include <QTextBoundaryFinder>

#include <memory>

namespace {

const QSize leastSize(400, 200);
// A box grows wider, this many pixels at a time, while its text would make
// it higher than three quarters of its width: a long message reads better
// in a wider box than in a tall column.
constexpr int widthStep = 50;

// Drawn as nothing; a line may break there.
const QChar lineBreakChance(0x200B);
// Letters in a row without a place to break, at most: fewer than fit on a
// line of the least box, in the box's font, whatever the letters.
constexpr int longestUnbroken = 24;

const char *const textLabelName = "qt_msgbox_label";
const char *const informativeLabelName = "qt_msgbox_informativelabel";

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

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

// The text with a chance to break a line after every folder separator, and
// within any run of letters too long for a line (a long file name): a path
// has no spaces to break at, and Qt would not break it at "/" or "\".
QString withLineBreakChances(const QString &text)
{
    QString laidOut;
    int run = 0;
    QTextBoundaryFinder letters(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = letters.toNextBoundary(); end != -1; end = letters.toNextBoundary()) {
        const QStringView letter = QStringView(text).mid(start, end - start);
        start = end;
        if (run == longestUnbroken) {
            laidOut += lineBreakChance;
            run = 0;
        }
        laidOut += letter;
        if (letter.front().isSpace()) {
            run = 0;
        } else if (isSeparator(letter.front())) {
            laidOut += lineBreakChance;
            run = 0;
        } else {
            ++run;
        }
    }
    return laidOut;
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
    setFixedSize(leastSize);
}

void MessageBox::centreOver(QWidget *window)
{
    anchor = window;
}

int MessageBox::exec()
{
    if (nextAnswers().isEmpty()) {
        const int answer = QMessageBox::exec();
        // Not every system gives the keyboard back to a window that did not
        // own the box (Wine gives it to no window at all).
        if (anchor && anchor->isVisible() && !anchor->isMinimized())
            anchor->activateWindow();
        return answer;
    }
    QString seen = text();
    if (!informativeText().isEmpty())
        seen += QLatin1Char('\n') + informativeText();
    answered() << seen;
    return nextAnswers().dequeue();
}

QString MessageBox::text() const
{
    return wholeText;
}

void MessageBox::setText(const QString &text)
{
    wholeText = text;
    QMessageBox::setText(withLineBreakChances(text));
    showText(textLabelName, text);
}

QString MessageBox::informativeText() const
{
    return wholeInformativeText;
}

void MessageBox::setInformativeText(const QString &text)
{
    wholeInformativeText = text;
    QMessageBox::setInformativeText(withLineBreakChances(text));
    showText(informativeLabelName, text);
}

// What a screen reader reads, and what the label may do.
void MessageBox::showText(const char *labelName, const QString &text)
{
    const QString laidOut = withLineBreakChances(text);
    for (QLabel *label : findChildren<QLabel *>(QLatin1String(labelName))) {
        if (label->text() != laidOut)
            continue;
        // It names a path, which must never be read as markup either.
        label->setTextFormat(Qt::PlainText);
        label->setAccessibleName(text);
    }
    if (isVisible())
        fitToText();
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
    // QMessageBox would fit itself to its text its own way (one line up to
    // 500 pixels, then cut), so its handling of a new layout is left out.
    if (event->type() == QEvent::LayoutRequest) {
        const bool result = QDialog::event(event);
        if (isVisible())
            fitToText();
        return result;
    }
    return QMessageBox::event(event);
}

void MessageBox::showEvent(QShowEvent *event)
{
    QMessageBox::showEvent(event);
    // The style sheet gives the buttons 50 pixels of width: room for a word,
    // not for an icon as well ("Open" would lose its last letter).
    for (QAbstractButton *button : buttons())
        button->setIcon(QIcon());
    fitToText();
    ScreenFit::centreInside(this, anchor);
}

void MessageBox::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::Copy) {
        QString copied = wholeText;
        if (!wholeInformativeText.isEmpty())
            copied += QLatin1Char('\n') + wholeInformativeText;
        QGuiApplication::clipboard()->setText(copied);
        return;
    }
    QMessageBox::keyPressEvent(event);
}

// The least box that shows the whole text: 400 x 200 at least, wider when
// the text would make it much higher than wide, never larger than the free
// part of the screen. Every line wraps, at word ends and path separators.
void MessageBox::fitToText()
{
    for (const char *name : {textLabelName, informativeLabelName}) {
        for (QLabel *label : findChildren<QLabel *>(QLatin1String(name))) {
            label->setWordWrap(true);
            // A selection would copy the marks where lines may break; Ctrl+C
            // copies the text as it is.
            label->setTextInteractionFlags(Qt::NoTextInteraction);
            QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
            policy.setHeightForWidth(true);
            label->setSizePolicy(policy);
        }
    }
    layout()->activate();
    const QRect area = ScreenFit::availableArea(this, anchor);
    const QSize most = area.isEmpty() ? QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : area.size();
    int width = qMin(qMax(leastSize.width(), layout()->totalMinimumSize().width()), most.width());
    while (width < most.width() && heightAt(width) > qMin(most.height(), qMax(leastSize.height(), width * 3 / 4)))
        width = qMin(most.width(), width + widthStep);
    const int height = qMin(qMax(leastSize.height(), heightAt(width)), most.height());
    setFixedSize(width, height);
    // Its own changes would ask for this again.
    QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
}

int MessageBox::heightAt(int width) const
{
    return layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width)
                                         : layout()->totalMinimumSize().height();
}
