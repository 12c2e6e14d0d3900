#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QPointer>
#include <QScopedValueRollback>
#include <QStandardPaths>

namespace TestSupport {

namespace {

// Environments may overlap (a new one made before the old one goes, as with
// `env = std::make_unique<...>()`): the newest one alive is always in force,
// and the machine's own values come back only when the last one goes.
QList<IsolatedEnvironment *> &liveEnvironments()
{
    static QList<IsolatedEnvironment *> live;
    return live;
}

// The variable QDir::tempPath() answers from: Windows reads TMP, not TMPDIR.
#ifdef Q_OS_WIN
const char tempVariable[] = "TMP";
#else
const char tempVariable[] = "TMPDIR";
#endif

QByteArray originalTmp;
QByteArray originalHome;

// Beside, never inside, a live environment's folders, which go with it.
QString scratchTemplate()
{
    QString base = QDir::tempPath();
    if (!liveEnvironments().isEmpty())
        base = originalTmp.isEmpty() ? QStringLiteral("/tmp") : QString::fromLocal8Bit(originalTmp);
    return base + QStringLiteral("/brimlet-test-XXXXXX");
}

} // namespace

IsolatedEnvironment::IsolatedEnvironment()
    : dir(scratchTemplate())
{
    QDir(dir.path()).mkpath(QStringLiteral("tmp"));
    QDir(dir.path()).mkpath(QStringLiteral("home"));
    QDir(dir.path()).mkpath(QStringLiteral("work"));
    if (liveEnvironments().isEmpty()) {
        originalTmp = qgetenv(tempVariable);
        originalHome = qgetenv("HOME");
    }
    liveEnvironments().append(this);
    apply();
    QStandardPaths::setTestModeEnabled(true);
}

IsolatedEnvironment::~IsolatedEnvironment()
{
    liveEnvironments().removeOne(this);
    if (!liveEnvironments().isEmpty()) {
        liveEnvironments().last()->apply();
    } else {
        qputenv(tempVariable, originalTmp);
        qputenv("HOME", originalHome);
    }
}

void IsolatedEnvironment::apply() const
{
    qputenv(tempVariable, tempPath().toLocal8Bit());
    qputenv("HOME", homePath().toLocal8Bit());
}

bool IsolatedEnvironment::isValid() const
{
    return dir.isValid();
}

QString IsolatedEnvironment::root() const
{
    return dir.path() + QStringLiteral("/work");
}

QString IsolatedEnvironment::tempPath() const
{
    return dir.path() + QStringLiteral("/tmp");
}

QString IsolatedEnvironment::homePath() const
{
    return dir.path() + QStringLiteral("/home");
}

QString writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(content);
    return path;
}

QString makeSparseFile(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.resize(size))
        return QString();
    return path;
}

QString writeScript(const QString &path, const QByteArray &body)
{
    if (writeFile(path, "#!/bin/sh\n" + body).isEmpty())
        return QString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                    | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    return path;
}

void chooseInFileDialog(QWidget *fileDialog, const QString &path)
{
    auto *dialog = qobject_cast<QFileDialog *>(fileDialog);
    if (!dialog)
        return;
    // A selection in the views, which the dialog may make while it still
    // loads the folder, would win over the typed name.
    for (QAbstractItemView *view : dialog->findChildren<QAbstractItemView *>())
        view->clearSelection();
    if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        name->setText(path);
    else
        dialog->selectFile(path);
    static_cast<QDialog *>(dialog)->accept();
}

ModalAnswerer::ModalAnswerer(QObject *parent)
    : QObject(parent)
{
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start();
}

void ModalAnswerer::answerMessageBox(QMessageBox::StandardButton button)
{
    answerWith([button](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box)
            return;
        if (QAbstractButton *target = box->button(button))
            target->click();
        else
            box->done(button);
    }, [](QWidget *widget) { return qobject_cast<QMessageBox *>(widget) != nullptr; });
}

void ModalAnswerer::answerInputDialog(const QString &text)
{
    answerWith([text](QWidget *widget) {
        if (auto *dialog = qobject_cast<QInputDialog *>(widget)) {
            dialog->setTextValue(text);
            dialog->accept();
        }
    }, [](QWidget *widget) { return qobject_cast<QInputDialog *>(widget) != nullptr; });
}

void ModalAnswerer::cancelInputDialog()
{
    answerWith([](QWidget *widget) {
        if (auto *dialog = qobject_cast<QInputDialog *>(widget))
            dialog->reject();
    }, [](QWidget *widget) { return qobject_cast<QInputDialog *>(widget) != nullptr; });
}

void ModalAnswerer::answerWith(std::function<void(QWidget *)> answer,
                               std::function<bool(QWidget *)> accepts)
{
    answers.enqueue({std::move(accepts), std::move(answer)});
}

int ModalAnswerer::pending() const
{
    return answers.size();
}

QList<SeenBox> ModalAnswerer::seen() const
{
    return boxes;
}

QStringList ModalAnswerer::seenTexts() const
{
    QStringList texts;
    for (const SeenBox &box : boxes)
        texts << box.text;
    return texts;
}

bool ModalAnswerer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == answered && event->type() == QEvent::Hide) {
        watched->removeEventFilter(this);
        answered = nullptr;
    }
    return QObject::eventFilter(watched, event);
}

void ModalAnswerer::poll()
{
    // An answer may run an event loop of its own (a QTRY_ wait): the timer
    // must not answer again from inside it.
    if (polling)
        return;
    const QScopedValueRollback<bool> guard(polling, true);
    QWidget *modal = QApplication::activeModalWidget();
    if (answered) {
        if (answered == modal && modal->isVisible() && retries < 500) {
            ++retries;
            lastAction(modal);
            return;
        }
        answered = nullptr;
    }
    if (!modal || answers.isEmpty() || !modal->isVisible())
        return;
    const Answer &next = answers.head();
    if (next.accepts && !next.accepts(modal))
        return;

    SeenBox box;
    box.windowTitle = modal->windowTitle();
    if (auto *messageBox = qobject_cast<QMessageBox *>(modal)) {
        box.text = messageBox->text();
        box.informativeText = messageBox->informativeText();
        for (QAbstractButton *button : messageBox->buttons())
            box.buttonTexts << button->text();
    } else if (auto *dialog = qobject_cast<QInputDialog *>(modal)) {
        box.text = dialog->labelText();
    }
    boxes << box;
    // Once it hides, the answer is done with, even if the same box opens again.
    modal->installEventFilter(this);
    answered = modal;
    retries = 0;
    lastAction = answers.dequeue().action;
    lastAction(modal);
}

} // namespace TestSupport
