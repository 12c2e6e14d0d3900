// A stand-in for the 7-Zip console program, for tests that need a given
// behaviour. It takes its orders from the environment, since its arguments
// are the archiver's command line:
//   FAKE_ARCHIVER_STDOUT, FAKE_ARCHIVER_STDERR  printed as given (\n, \r, \b
//                                               and \\ are understood)
//   FAKE_ARCHIVER_EXIT       the exit code (0 unless given)
//   FAKE_ARCHIVER_WRITE      "1": write a small archive at the archive name
//   FAKE_ARCHIVER_REMOVE     a file to delete first, as if it went mid-run
//   FAKE_ARCHIVER_WAIT_MS    then wait this long; "forever" waits for ever
//   FAKE_ARCHIVER_WAIT_FOR   then wait until this file exists
//   FAKE_ARCHIVER_IGNORE_TERM  "1": ignore a polite request to stop (SIGTERM)
//   FAKE_ARCHIVER_RECORD     a file to write the arguments to, one a line,
//                            followed by its own process id
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {

QByteArray order(const char *name)
{
    return qgetenv(name);
}

QByteArray unescaped(const QByteArray &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != '\\' || i + 1 == text.size()) {
            out += text.at(i);
            continue;
        }
        const char next = text.at(++i);
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 'b' ? '\b' : next;
    }
    return out;
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

void record(const QStringList &args)
{
    QFile file(QString::fromLocal8Bit(order("FAKE_ARCHIVER_RECORD")));
    if (file.fileName().isEmpty() || !file.open(QIODevice::WriteOnly))
        return;
    for (qsizetype i = 1; i < args.size(); ++i)
        file.write(args.at(i).toUtf8() + '\n');
    file.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (order("FAKE_ARCHIVER_IGNORE_TERM") == "1")
        std::signal(SIGTERM, SIG_IGN);
    QFile::remove(QString::fromLocal8Bit(order("FAKE_ARCHIVER_REMOVE")));
    if (order("FAKE_ARCHIVER_WRITE") == "1") {
        QFile archive(archiveName(args));
        if (archive.open(QIODevice::WriteOnly))
            archive.write("PK\x05\x06" + QByteArray(18, '\0'));
    }
    std::fputs(unescaped(order("FAKE_ARCHIVER_STDOUT")).constData(), stdout);
    std::fputs(unescaped(order("FAKE_ARCHIVER_STDERR")).constData(), stderr);
    std::fflush(stdout);
    std::fflush(stderr);
    // Written last: a test that finds it knows the archive is there.
    record(args);

    const QByteArray wait = order("FAKE_ARCHIVER_WAIT_MS");
    if (wait == "forever") {
        for (;;)
            QThread::sleep(60);
    }
    QThread::msleep(wait.toULong());
    const QString waitFor = QString::fromLocal8Bit(order("FAKE_ARCHIVER_WAIT_FOR"));
    while (!waitFor.isEmpty() && !QFile::exists(waitFor))
        QThread::msleep(10);
    return order("FAKE_ARCHIVER_EXIT").toInt();
}
