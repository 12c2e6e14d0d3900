// A stand-in for the 7-Zip console program, for tests that need a given
// behaviour. It takes its orders from the environment, since its arguments
// are the archiver's command line:
//   FAKE_ARCHIVER_PRINT        what to print on standard output first, as 7-Zip's words
//   FAKE_ARCHIVER_REMOVE       a file to delete first, as if it went mid-run
//   FAKE_ARCHIVER_WRITE        "1": write a small archive at the archive name
//   FAKE_ARCHIVER_TOUCH        a file to write meanwhile, as if the user made it
//   FAKE_ARCHIVER_RECORD       a file to write its process id to, once the archive is written
//   FAKE_ARCHIVER_IGNORE_TERM  "1": ignore a polite request to stop (SIGTERM)
//   FAKE_ARCHIVER_WAIT_FOR     then wait until this file exists (for ever if it never does)
//   FAKE_ARCHIVER_EXIT         the exit code (0 unless given)
//   FAKE_ARCHIVER_CRASH        "1": print the success marker, then crash instead
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>

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
    return order("FAKE_ARCHIVER_EXIT").toInt();
}
