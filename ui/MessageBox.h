#pragma once

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>

// The program's one kind of message box: frameless, application-modal,
// 400 x 200, titled "Brimlet", plain text. QMessageBox sizes itself to its
// text every time it is shown; this one keeps its fixed size.
class MessageBox : public QMessageBox
{
    Q_OBJECT

public:
    explicit MessageBox(QWidget *parent = nullptr);

    // The box has no parent; it still opens centred over this window.
    void centreOver(QWidget *window);

    // Shows the box, or hands back the answer a test set for it.
    int exec() override;

    // Tells the user something, with OK as the only answer.
    static void tell(const QString &text);
    // Tells the user something and offers "Open" beside OK; true when the
    // user chose "Open".
    static bool offerOpen(const QString &text, const QString &informativeText);
    // Where tell() speaks: the main window's box once there is one.
    static void setShared(MessageBox *box);

    // Test seam: the next box is not shown but answered with this button;
    // answers are used in the order they were set.
    static void setNextAnswer(QMessageBox::StandardButton button);
    // The texts of the boxes answered through the seam, oldest first; each
    // entry is the text, then the informative text after a newline if any.
    static QStringList answeredTexts();
    static void clearAnswers();

protected:
    bool event(QEvent *event) override;

private:
    QPointer<QWidget> anchor;
};
