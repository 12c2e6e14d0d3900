#pragma once

#include <QByteArray>
#include <QMap>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace TestSupport {

// Points TMPDIR and HOME at fresh folders of a private temporary folder for
// as long as it lives, so that tests never touch the machine's own staging
// or documents folder. Also switches QStandardPaths to its test mode.
class IsolatedEnvironment
{
public:
    IsolatedEnvironment();
    ~IsolatedEnvironment();

    bool isValid() const { return dir.isValid(); }
    QString root() const { return dir.path() + QStringLiteral("/work"); } // for the test's own files
    QString tempPath() const { return dir.path() + QStringLiteral("/tmp"); } // what QDir::tempPath() answers
    QString homePath() const { return dir.path() + QStringLiteral("/home"); }

private:
    void apply() const;

    QTemporaryDir dir;
};

// Writes content to path (creating folders); returns the path.
QString writeFile(const QString &path, const QByteArray &content);
// Makes a sparse file of the given size; returns the path or an empty string.
QString makeSparseFile(const QString &path, qint64 size);
// The content of a file, empty when it cannot be read.
QByteArray readFile(const QString &path);
// Every file under root: its path relative to root, and its content.
QMap<QString, QByteArray> filesUnder(const QString &root);
// Runs a program to its end; true when it exited with 0. Its output goes to *out.
bool runProgram(const QString &program, const QStringList &args, QByteArray *out = nullptr);
// Debian's 7-Zip, or an empty string when it is not installed.
QString sevenZip();
// True when no process of this id runs any more (a zombie counts as ended).
bool processEnded(qint64 pid);

// Chooses a path in an open QFileDialog as a user would: the full path typed
// into its name field, nothing selected in its views, then accept.
void chooseInFileDialog(QWidget *fileDialog, const QString &path);

// Stands in for the desktop's browser and file manager: register it with
// QDesktopServices::setUrlHandler(scheme, &catcher, "open").
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

// The stand-in archiver built with the tests (tests/fakearchiver), with its
// orders in force for as long as this lives: "write;exit=1" sets
// FAKE_ARCHIVER_WRITE=1 and FAKE_ARCHIVER_EXIT=1.
class FakeArchiver
{
public:
    explicit FakeArchiver(const QString &orders = QString());
    ~FakeArchiver();

    static QString program();

private:
    QList<QByteArray> names;
};

// What a modal box showed when it was answered.
struct SeenBox
{
    QString text;
    QString informativeText;
    QString windowTitle;
    QStringList buttonTexts;
};

// Answers modal message boxes and input dialogs as they open, from a timer,
// so that a test never hangs on one. Answers are used in the order queued.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit ModalAnswerer(QObject *parent = nullptr);

    // The next message box is answered by clicking this standard button.
    void answerMessageBox(QMessageBox::StandardButton button = QMessageBox::Ok);
    // The next input dialog gets this text and is accepted.
    void answerInputDialog(const QString &text);
    // The next input dialog is cancelled.
    void cancelInputDialog();
    // Any other answer: called with the first modal widget that opens and
    // that `accepts` takes (any modal widget when it is empty).
    void answerWith(std::function<void(QWidget *)> answer,
                    std::function<bool(QWidget *)> accepts = {});

    int pending() const;
    QList<SeenBox> seen() const;
    QStringList seenTexts() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void poll();

    QTimer timer;
    struct Answer
    {
        std::function<bool(QWidget *)> accepts;
        std::function<void(QWidget *)> action;
    };
    QQueue<Answer> answers;
    // The dialog answered last and its answer, given again while the dialog
    // stays open: a file dialog may ignore an accept while it still loads.
    QPointer<QWidget> answered;
    std::function<void(QWidget *)> lastAction;
    int retries = 0;
    bool polling = false;
    QList<SeenBox> boxes;
};

} // namespace TestSupport
