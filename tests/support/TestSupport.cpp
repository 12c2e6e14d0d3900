#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QProcess>
#include <QScopedValueRollback>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace TestSupport {

namespace {

// Environments may overlap (a new one made before the old one goes, as with
// `env = std::make_unique<...>()`): the newest one alive is always in force,
// and the machine's own values come back only when the last one goes.
QList<IsolatedEnvironment *> liveEnvironments;

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
    if (!liveEnvironments.isEmpty())
        base = originalTmp.isEmpty() ? QStringLiteral("/tmp") : QString::fromLocal8Bit(originalTmp);
    return base + QStringLiteral("/brimlet-test-XXXXXX");
}

QString makeFile(const QString &path, const QByteArray &content, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()
        || (size >= 0 && !file.resize(size)))
        return QString();
    return path;
}

} // namespace

IsolatedEnvironment::IsolatedEnvironment()
    : dir(scratchTemplate())
{
    for (const char *folder : {"tmp", "home", "work"})
        QDir(dir.path()).mkpath(QLatin1String(folder));
    if (liveEnvironments.isEmpty()) {
        originalTmp = qgetenv(tempVariable);
        originalHome = qgetenv("HOME");
    }
    liveEnvironments.append(this);
    apply();
    QStandardPaths::setTestModeEnabled(true);
}

IsolatedEnvironment::~IsolatedEnvironment()
{
    liveEnvironments.removeOne(this);
    if (!liveEnvironments.isEmpty()) {
        liveEnvironments.last()->apply();
        return;
    }
    qputenv(tempVariable, originalTmp);
    qputenv("HOME", originalHome);
}

void IsolatedEnvironment::apply() const
{
    qputenv(tempVariable, tempPath().toLocal8Bit());
    qputenv("HOME", homePath().toLocal8Bit());
}

QString writeFile(const QString &path, const QByteArray &content)
{
    return makeFile(path, content, -1);
}

QString makeSparseFile(const QString &path, qint64 size)
{
    return makeFile(path, QByteArray(), size);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QMap<QString, QByteArray> filesUnder(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readFile(path));
    }
    return files;
}

bool runProgram(const QString &program, const QStringList &args, QByteArray *out)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    const bool ok = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (out)
        *out = process.readAllStandardOutput();
    return ok;
}

QString sevenZip()
{
    return QStandardPaths::findExecutable(QStringLiteral("7zz"));
}

bool processEnded(qint64 pid)
{
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    const bool ended = !process || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    if (process)
        CloseHandle(process);
    return ended;
#else
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
#endif
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

FakeArchiver::FakeArchiver(const QString &orders)
{
    for (const QString &part : orders.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        const QByteArray name = "FAKE_ARCHIVER_" + part.left(equals).toUpper().toLatin1();
        qputenv(name, equals < 0 ? QByteArray("1") : part.mid(equals + 1).toUtf8());
        names << name;
    }
}

FakeArchiver::~FakeArchiver()
{
    for (const QByteArray &name : names)
        qunsetenv(name);
}

QString FakeArchiver::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("fakearchiver"), {QCoreApplication::applicationDirPath()});
}

ModalAnswerer::ModalAnswerer(QObject *parent)
    : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start(10);
}

void ModalAnswerer::answerMessageBox(QMessageBox::StandardButton button)
{
    answerWith([button](QWidget *widget) {
        auto *box = static_cast<QMessageBox *>(widget);
        if (QAbstractButton *target = box->button(button))
            target->click();
        else
            box->done(button);
    }, [](QWidget *widget) { return qobject_cast<QMessageBox *>(widget) != nullptr; });
}

void ModalAnswerer::answerInputDialog(const QString &text)
{
    answerWith([text](QWidget *widget) {
        static_cast<QInputDialog *>(widget)->setTextValue(text);
        static_cast<QInputDialog *>(widget)->accept();
    }, [](QWidget *widget) { return qobject_cast<QInputDialog *>(widget) != nullptr; });
}

void ModalAnswerer::cancelInputDialog()
{
    answerWith([](QWidget *widget) { static_cast<QInputDialog *>(widget)->reject(); },
               [](QWidget *widget) { return qobject_cast<QInputDialog *>(widget) != nullptr; });
}

void ModalAnswerer::answerWith(std::function<void(QWidget *)> answer, std::function<bool(QWidget *)> accepts)
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
    if (answers.head().accepts && !answers.head().accepts(modal))
        return;

    SeenBox box{QString(), QString(), modal->windowTitle(), QStringList()};
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
