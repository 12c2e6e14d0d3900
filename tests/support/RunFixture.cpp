#include "support/RunFixture.h"

#include "app/CompressionRun.h"
#include "app/FileDialogs.h"
#include "app/MainWidget.h"
#include "filelist/BackgroundWork.h"
#include "filelist/FileList.h"
#include "filelist/FileWidget.h"
#include "filelist/StagingFolder.h"
#include "ui/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace TestSupport {

void RunFixture::setUp()
{
    env = std::make_unique<IsolatedEnvironment>();
    in = env->root() + "/in";
    record = env->root() + "/archiver-ran.txt";
    never = "wait_for=" + env->root() + "/never";
    recorder = std::make_unique<FakeArchiver>("record=" + record);
    window = std::make_unique<MainWidget>();
    window->setArchiverProgram(FakeArchiver::program());
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &urls, "open");
    urls.opened.clear();
}

void RunFixture::tearDown()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    CompressionRun::setCheckForTests({});
    CompressionRun::setPauseForTests({});
    MessageBox::clearAnswers();
    window.reset();
    StagingFolder::ofThisProgram().release();
    recorder.reset();
    env.reset();
}

void RunFixture::listFiles(const QStringList &paths)
{
    window->onDestinationPathInit(paths.first());
    emit window->addFiles(paths);
}

void RunFixture::whenArchiverRuns(std::function<void()> action)
{
    auto *timer = new QTimer(&context);
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer, action] {
        if (!QFile::exists(record))
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start(10);
}

// The archiver's process id, once the stand-in has written it whole.
qint64 recordedPid(const QString &record)
{
    const QByteArray content = readFile(record);
    return content.endsWith('\n') ? content.trimmed().toLongLong() : 0;
}

// A renamed copy as the program makes it: the tidy-up removes only those.
QString stagedCopy(const QString &name, const QByteArray &content)
{
    const QString source = writeFile(QDir::tempPath() + QStringLiteral("/sources/") + name, content);
    BackgroundWork work;
    return StagingFolder::ofThisProgram().copyUnderName(source, name, work).path;
}

namespace {

void say(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// Stops the run at that moment ("starts": the archiver's; "ended"), says
// where the program's private folder is, and goes on once told so (a line
// on standard input).
void pauseAt(const QString &moment)
{
    const auto wanted = moment == QLatin1String("starts") ? CompressionRun::Moment::ArchiverStarts
                                                          : CompressionRun::Moment::ArchiverEnded;
    CompressionRun::setPauseForTests([wanted](CompressionRun::Moment now, const QString &folder) {
        if (now != wanted)
            return;
        say(QStringLiteral("paused ") + folder);
        QFile input;
        if (input.open(stdin, QIODevice::ReadOnly))
            input.readLine();
    });
}

// In a child process: the program as its user runs it, for the endings a
// test cannot go through in its own process. What it says goes to standard
// output, a line each.
int runAsUser(QStringList args)
{
    if (args.value(0) == QLatin1String("compress-pausing")) {
        pauseAt(args.value(1));
        args = QStringList{QStringLiteral("compress")} + args.mid(2);
    }
    const QString mode = args.value(0);
    MainWidget window;
    window.setArchiverProgram(FakeArchiver::program());
    const QString file = args.last();
    window.onDestinationPathInit(file);
    emit window.addFiles(mode == QLatin1String("compress") ? args.mid(3) : QStringList{file});
    if (mode == QLatin1String("compress-until-killed")) {
        window.onCompressClicked();
        return 0;
    }
    if (mode == QLatin1String("compress-and-stay")) {
        QTimer::singleShot(0, &window, &MainWidget::onCompressClicked);
        return QCoreApplication::exec();
    }
    if (mode == QLatin1String("stuck-then-close")) {
        // The work sticks as a read on a dead share would, for good; the
        // window is closed once it does.
        const auto stick = [&window] {
            say(QStringLiteral("closing"));
            QMetaObject::invokeMethod(&window, &QWidget::close, Qt::QueuedConnection);
            (new QSemaphore)->acquire();
        };
        window.show();
        if (args.value(1) == QLatin1String("check")) {
            CompressionRun::setCheckForTests([stick](const QStringList &) {
                stick();
                return QStringList();
            });
            QTimer::singleShot(0, &window, &MainWidget::onCompressClicked);
        } else {
            BackgroundWork::setPauseForTests(stick);
            auto *list = window.findChild<FileWidget *>()->fileList();
            QTimer::singleShot(0, list, [list, file] { list->rename(file, QStringLiteral("renamed.txt")); });
        }
        return QCoreApplication::exec();
    }
    if (mode == QLatin1String("compress")) {
        window.setArchiverProgram(args.value(1));
        FileDialogs::setNextArchiveAnswer(args.value(2));
        window.onBrowseDestinationFolderClicked();
        MessageBox::setNextAnswer(QMessageBox::Ok);
        window.onCompressClicked();
        for (const QString &text : MessageBox::answeredTexts())
            say(text.section(QLatin1Char('\n'), 0, 0));
        return 0;
    }
    // "rename-then <how>": a renamed copy, then the program ends that way.
    auto *list = window.findChild<FileWidget *>()->fileList();
    list->rename(file, QStringLiteral("renamed.txt"));
    say(QStringLiteral("renamed ") + list->paths().value(0));
    window.show();
    if (args.value(1) == QLatin1String("cancel"))
        window.onCancelClicked();
    if (args.value(1) == QLatin1String("close"))
        QTimer::singleShot(0, &window, &QWidget::close);
    return QCoreApplication::exec();
}

#ifdef Q_OS_LINUX
// A file that anyone may write in, made only where nothing is.
bool plant(const QString &target, const QByteArray &content)
{
    const int fd = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::fchmod(fd, 0666) == 0 && ::close(fd) == 0 && written;
}

// In a child process, as another user who may write in the destination's
// folder: whatever name goes there, or goes from there, gets a ZIP of its
// own at once, and any new folder gets one at the archive's name inside.
int plantArchives(const QString &folder, const QString &zip, const QString &archiveName)
{
    const QByteArray evil = readFile(zip);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 || ::inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_CREATE | IN_DELETE | IN_MOVED_FROM) < 0)
        return 1;
    say(QStringLiteral("watching"));
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(watch, buffer, sizeof(buffer));
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            const QString path = folder + QLatin1Char('/') + QFile::decodeName(event->name);
            QStringList targets;
            if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                targets << path;
            if ((event->mask & IN_CREATE) && (event->mask & IN_ISDIR))
                targets << path + QLatin1Char('/') + archiveName;
            for (const QString &target : targets)
                plant(target, evil);
        }
    }
}

// In a child process, as another user who may rename what others put in
// the folder around the program's private folder: renames that folder
// away and puts a link to the user's documents at its name, or a folder of
// his own that anyone may write in, with a ZIP of his at the archive's name.
int swapFolder(const QString &how, const QString &folder, const QString &documents, const QString &zip,
               const QString &archiveName)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::rename(path.constData(), (path + "-his").constData()) != 0)
        return 1;
    if (how == QLatin1String("link"))
        return ::symlink(QFile::encodeName(documents).constData(), path.constData()) == 0 ? 0 : 2;
    if (::mkdir(path.constData(), 0777) != 0 || ::chmod(path.constData(), 0777) != 0)
        return 3;
    return plant(folder + QLatin1Char('/') + archiveName, readFile(zip)) ? 0 : 4;
}
#endif

} // namespace

bool isChild(const QStringList &arguments)
{
    return arguments.value(1) == QStringLiteral("--child");
}

int runChild(const QStringList &arguments)
{
#ifdef Q_OS_LINUX
    if (arguments.value(2) == QStringLiteral("plant"))
        return plantArchives(arguments.value(3), arguments.value(4), arguments.value(5));
    if (arguments.value(2) == QStringLiteral("swap"))
        return swapFolder(arguments.value(3), arguments.value(4), arguments.value(5), arguments.value(6),
                          arguments.value(7));
#endif
    return runAsUser(arguments.mid(2));
}

} // namespace TestSupport
