#pragma once

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>

class QLabel;

// The program's one kind of message box: frameless, application-modal,
// titled "Brimlet", plain text. It shows its whole text: at least 400 x 200,
// it grows with its text up to the free part of the screen, and a long path
// breaks across lines after its folder separators.
class MessageBox : public QMessageBox
{
    Q_OBJECT

public:
    explicit MessageBox(QWidget *parent = nullptr);

    // The box has no parent; it still opens centred over this window, and
    // gives it back the keyboard when it closes.
    void centreOver(QWidget *window);

    // Shows the box, or hands back the answer a test set for it.
    int exec() override;

    // The texts as given. QMessageBox's own would hand back what the box
    // lays out, with the marks where a line may break.
    QString text() const;
    void setText(const QString &text);
    QString informativeText() const;
    void setInformativeText(const QString &text);

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
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showText(const char *labelName, const QString &text);
    void fitToText();
    int heightAt(int width) const;

    QString wholeText;
    QString wholeInformativeText;
    QPointer<QWidget> anchor;
};
