// A stand-in for the 7-Zip console program, for tests that need a given
// behaviour. It takes its orders from the environment, since its arguments
// are the archiver's command line:
//   FAKE_ARCHIVER_PRINT        what to print on standard output first, as 7-Zip's words
//   FAKE_ARCHIVER_REMOVE       a file to delete first, as if it went mid-run
//   FAKE_ARCHIVER_WRITE        "1": write a small archive at the archive name
//   FAKE_ARCHIVER_TOUCH        a file to write meanwhile, as if the user made it
//   FAKE_ARCHIVER_PROGRESS     "1": name each listed file in a progress line, as 7-Zip does
//   FAKE_ARCHIVER_RECORD       a file to write its process id to, once the archive is written
//   FAKE_ARCHIVER_IGNORE_TERM  "1": ignore a polite request to stop (SIGTERM)
//   FAKE_ARCHIVER_WAIT_FOR     then wait until this file exists (for ever if it never does)
//   FAKE_ARCHIVER_EXIT         the exit code (0 unless given)
//   FAKE_ARCHIVER_CRASH        "1": print the success marker, then crash instead
//   FAKE_ARCHIVER_TERM_PARENT  "1": ask the program to end (SIGTERM) just before exiting
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

QString order(const char *name)
{
    return qEnvironmentVariable(name);
}

// The archive's name is the first argument after the command that is not a switch.
QString archiveName(const QStringList &args)
{
    for (qsizetype i = 2; i < args.size(); ++i) {
        if (!args.at(i).startsWith(QLatin1Char('-')))
            return args.at(i);
    }
    return QString();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!path.isEmpty() && file.open(QIODevice::WriteOnly))
        file.write(content);
}

// The paths follow the archive's name; each gets the line 7-Zip shows
// while adding it (" 50% 1 + path"), redrawn in place with backspaces.
void printProgress(const QStringList &args)
{
    const qsizetype first = args.indexOf(archiveName(args)) + 1;
    for (qsizetype i = first; i < args.size(); ++i) {
        const QByteArray line = QStringLiteral(" 50% %1 + %2").arg(i - first).arg(args.at(i)).toUtf8();
        std::fputs((line + QByteArray(line.size(), '\b')).constData(), stdout);
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (order("FAKE_ARCHIVER_IGNORE_TERM") == QLatin1String("1"))
        std::signal(SIGTERM, SIG_IGN);
    std::fputs(order("FAKE_ARCHIVER_PRINT").toUtf8().constData(), stdout);
    std::fflush(stdout);
    QFile::remove(order("FAKE_ARCHIVER_REMOVE"));
    if (order("FAKE_ARCHIVER_WRITE") == QLatin1String("1"))
        writeFile(archiveName(QCoreApplication::arguments()), "PK\x05\x06" + QByteArray(18, '\0'));
    writeFile(order("FAKE_ARCHIVER_TOUCH"), "the user's own");
    if (order("FAKE_ARCHIVER_PROGRESS") == QLatin1String("1"))
        printProgress(QCoreApplication::arguments());
    writeFile(order("FAKE_ARCHIVER_RECORD"), QByteArray::number(QCoreApplication::applicationPid()) + '\n');

    const QString waitFor = order("FAKE_ARCHIVER_WAIT_FOR");
    while (!waitFor.isEmpty() && !QFile::exists(waitFor))
        QThread::msleep(10);
    if (order("FAKE_ARCHIVER_CRASH") == QLatin1String("1")) {
        std::puts("Everything is Ok");
        std::fflush(stdout);
#ifdef Q_OS_WIN
        // What an access violation ends a program with; abort() there is a
        // plain exit with code 3.
        std::_Exit(int(0xC0000005));
#else
        std::abort();
#endif
    }
#ifdef Q_OS_UNIX
    if (order("FAKE_ARCHIVER_TERM_PARENT") == QLatin1String("1"))
        ::kill(::getppid(), SIGTERM);
#endif
    return order("FAKE_ARCHIVER_EXIT").toInt();
}
