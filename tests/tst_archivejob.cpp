#include "app/ArchiveJob.h"
#include "filelist/FileNames.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

#if defined(Q_OS_UNIX)
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <qt_windows.h>
#endif
#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

using Outcome = ArchiveJob::Outcome;
using namespace TestSupport;

namespace {

QByteArray recorded(const QString &name)
{
    QFile file(QFINDTESTDATA(QStringLiteral("data/archiver/") + name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing recorded output %s", qPrintable(name));
    return file.readAll();
}

} // namespace

// The archiver job on recorded 7-Zip output and with the real 7-Zip.
class TestArchiveJob : public QObject
{
    Q_OBJECT

private slots:
    void judgesOutput_data();
    void judgesOutput();
    void readsProgressInAnyPieces();
    void readsTheFileBeingPacked();
    void namesTheFileItFailedOn_data();
    void namesTheFileItFailedOn();
    void unusableInsideAListedFolder();
    void onlyFilesAndFoldersArePacked_data();
    void onlyFilesAndFoldersArePacked();
    void realArchiverTakesThousandsOfNames_data();
    void realArchiverTakesThousandsOfNames();
};

void TestArchiveJob::judgesOutput_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("archiveExists");
    QTest::addColumn<Outcome>("expected");

    // A vanished input only warns: the archive lacks it and must not count.
    QTest::newRow("missing input, archive written") << recorded("missing.out") << 1 << true << Outcome::Failed;
    QTest::newRow("marker, error exit, no archive") << QByteArray("Everything is Ok\n") << 2 << false << Outcome::Failed;
    QTest::newRow("marker after erased progress") << QByteArray(" 99%\b\b\b\b    \b\b\b\bEverything is Ok\n") << 3 << true << Outcome::Succeeded;
    QTest::newRow("marker redrawn with CR, CRLF ends") << QByteArray(" 99%\rEverything is Ok\r\n") << 3 << true << Outcome::Succeeded;
    QTest::newRow("marker inside a file name") << QByteArray("  5% + Everything is Ok.txt\n") << 2 << true << Outcome::Failed;
    QTest::newRow("clean exit, no archive") << QByteArray() << 0 << false << Outcome::Failed;
}

void TestArchiveJob::judgesOutput()
{
    QFETCH(QByteArray, out);
    QFETCH(int, exitCode);
    QFETCH(bool, archiveExists);
    QFETCH(Outcome, expected);
    QCOMPARE(ArchiveJob::judge(out, exitCode, archiveExists), expected);
}

void TestArchiveJob::readsProgressInAnyPieces()
{
    const QByteArray output = recorded(QStringLiteral("progress.out"));
    for (int pieceSize : {1, 7, 1024}) {
        ArchiveJob job;
        QSignalSpy spy(&job, &ArchiveJob::progressChanged);
        for (qsizetype at = 0; at < output.size(); at += pieceSize)
            job.consumeOutput(output.mid(at, pieceSize));
        QList<int> seen;
        for (const QList<QVariant> &signal : spy)
            seen << signal.at(0).toInt();
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(seen.size() >= 2 ? seen.last() : -1, 99);
    }
}

void TestArchiveJob::readsTheFileBeingPacked()
{
    const QByteArray output = recorded(QStringLiteral("files.out"));
    for (int pieceSize : {1, 7, 1024}) {
        ArchiveJob job;
        QSignalSpy spy(&job, &ArchiveJob::fileChanged);
        for (qsizetype at = 0; at < output.size(); at += pieceSize)
            job.consumeOutput(output.mid(at, pieceSize));
        QStringList seen;
        for (const QList<QVariant> &signal : spy)
            seen << signal.at(0).toString();
        QCOMPARE(seen, (QStringList{"in/a.bin", "in/b c.bin", "in/d.bin"}));
    }
}

void TestArchiveJob::namesTheFileItFailedOn_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QStringList>("paths"); // as they were listed for the recording
    QTest::addColumn<QString>("expected");

    // Recorded with the program's own arguments (see data/archiver/README.md).
    const QString onLinux = QStringLiteral("/tmp/brimlet-rec/in/");
    QTest::newRow("7zz: unreadable listed file")
        << recorded("unreadable-linux.out") << QStringList{onLinux + "open.txt", onLinux + "private ü.txt"}
        << onLinux + "private ü.txt";
    // Inside a listed folder: the path from the folder on, as 7-Zip found it.
    QTest::newRow("7zz: unreadable file in a listed folder")
        << recorded("unreadable-in-folder-linux.out") << QStringList{onLinux + "open.txt", onLinux + "Фото альбом"}
        << onLinux + "Фото альбом/2024/закрыто.jpg";
    // Named only in the closing summary, before the system's words.
    QTest::newRow("7zz: listed file gone, the summary")
        << recorded("missing.out") << QStringList{"in/missing.txt"} << "in/missing.txt";
    // Neither a file beside a listed one nor one that only starts like it.
    QTest::newRow("7zz: a listed name's beginning is not it")
        << recorded("unreadable-linux.out") << QStringList{onLinux + "open.txt", onLinux + "private"} << QString();
    // The Windows 7z.exe under Wine, a file held open without sharing by
    // another program; the system's words in English and in Russian.
    const QString onWindows = QStringLiteral("C:\\rec\\in\\");
    QTest::newRow("7z.exe: held without sharing")
        << recorded("held-windows.out") << QStringList{onWindows + "notes.txt", onWindows + "mail.pst"}
        << onWindows + "mail.pst";
    QTest::newRow("7z.exe, Russian: held without sharing")
        << recorded("held-ru-windows.out") << QStringList{onWindows + "notes.txt", onWindows + "Почта.pst"}
        << onWindows + "Почта.pst";
    QTest::newRow("7z.exe, Greek: held inside a listed folder")
        << recorded("held-in-folder-el-windows.out") << QStringList{onWindows + "notes.txt", onWindows + "Αλληλογραφία"}
        << onWindows + "Αλληλογραφία\\Ελληνικά.pst";
    QTest::newRow("7z.exe, Russian: listed file gone")
        << recorded("missing-ru-windows.out") << QStringList{onWindows + "notes.txt", onWindows + "исчез.txt"}
        << onWindows + "исчез.txt";
#ifdef Q_OS_WIN
    // Listed as Qt writes paths, in another case: named as 7-Zip wrote it.
    QTest::newRow("7z.exe: listed with slashes, in another case")
        << recorded("held-windows.out") << QStringList{"c:/REC/in/notes.txt", "c:/REC/in/MAIL.pst"}
        << onWindows + "mail.pst";
#endif
    QTest::newRow("success names nothing")
        << recorded("progress.out") << QStringList{onLinux + "open.txt"} << QString();
}

void TestArchiveJob::namesTheFileItFailedOn()
{
    QFETCH(QByteArray, out);
    QFETCH(QStringList, paths);
    QFETCH(QString, expected);
    QCOMPARE(ArchiveJob::failedFileIn(out, paths), expected);
}

void TestArchiveJob::unusableInsideAListedFolder()
{
#ifndef Q_OS_UNIX
    QSKIP("file modes are a POSIX matter");
#else
    IsolatedEnvironment env;
    const QString folder = env.root() + "/Photos";
    writeFile(folder + "/open.jpg", "o");
    writeFile(folder + "/private.jpg", "p");
    writeFile(folder + "/locked/inner.jpg", "i");
    // Behind a link the archiver follows, as the size does.
    QVERIFY(QFile::link(writeFile(env.root() + "/outside/secret.jpg", "s"), folder + "/linked.jpg"));
    QFile::setPermissions(env.root() + "/outside/secret.jpg", QFileDevice::WriteOwner);
    // Open to others down to the folder: root reads anything, so as root
    // the check runs as the user nobody.
    for (const QString &dir : {folder, env.root(), QFileInfo(env.root()).path()})
        QFile::setPermissions(dir, QFile::permissions(dir) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    QFile::setPermissions(folder + "/private.jpg", QFileDevice::WriteOwner);
    QFile::setPermissions(folder + "/locked", QFileDevice::WriteOwner);
    QStringList command{QCoreApplication::applicationFilePath(), "--unusable", folder, env.root() + "/gone.txt"};
    if (geteuid() == 0)
        command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    QByteArray out;
    if (!runProgram(command.first(), command.mid(1), &out))
        QSKIP("cannot run the check as an unprivileged user");
    QList<QByteArray> names = out.split('\n');
    std::sort(names.begin(), names.end());
    QCOMPARE(names, (QList<QByteArray>{"", "Photos/linked.jpg", "Photos/locked", "Photos/private.jpg", "gone.txt"}));
    QFile::setPermissions(folder + "/locked", QFile::permissions(folder) | QFileDevice::ExeOwner);
#endif
}

void TestArchiveJob::onlyFilesAndFoldersArePacked_data()
{
    QTest::addColumn<QString>("what");
#ifdef Q_OS_UNIX
    // The archiver would read these for ever, or wait on them for ever.
    QTest::newRow("link to /dev/zero") << "zero";
    QTest::newRow("link to a file of /proc") << "proc file";
    QTest::newRow("link into /proc") << "proc folder";
    QTest::newRow("named pipe") << "pipe";
    QTest::newRow("socket") << "socket";
    if (::geteuid() == 0)
        QTest::newRow("device node") << "device";
#endif
#ifdef Q_OS_WIN
    // Another program holds it open and shares it with nobody.
    QTest::newRow("held without sharing") << "held";
#endif
    QTest::newRow("listed path gone") << "gone";
}

// Named before the archiver starts, listed or inside a listed folder.
void TestArchiveJob::onlyFilesAndFoldersArePacked()
{
    QFETCH(QString, what);
    IsolatedEnvironment env;
    const QString folder = env.root() + "/Photos";
    writeFile(folder + "/fine.jpg", "f");
    const QString odd = folder + "/odd";
    const QByteArray oddName = QFile::encodeName(odd);
#ifdef Q_OS_UNIX
    if (what == "zero")
        QVERIFY(QFile::link("/dev/zero", odd));
    if (what == "proc file")
        QVERIFY(QFile::link("/proc/self/status", odd));
    if (what == "proc folder")
        QVERIFY(QFile::link("/proc/self", odd));
    if (what == "pipe")
        QCOMPARE(::mkfifo(oddName.constData(), 0600), 0);
    if (what == "device")
        QCOMPARE(::mknod(oddName.constData(), S_IFCHR | 0600, makedev(1, 5)), 0);
    if (what == "socket") {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, oddName.constData(), sizeof(address.sun_path));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        ::close(fd);
    }
#endif
#ifdef Q_OS_WIN
    HANDLE held = INVALID_HANDLE_VALUE;
    if (what == "held") {
        writeFile(odd, "held");
        held = CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(odd).utf16()), GENERIC_READ, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr);
        QVERIFY(held != INVALID_HANDLE_VALUE);
    }
#endif
    // Listed on its own, and met inside a listed folder.
    const QStringList listed{folder, what == "gone" ? env.root() + "/odd" : odd};
    const QStringList named = what == "gone" ? QStringList{"odd"} : QStringList{"Photos/odd", "odd"};
    QCOMPARE(ArchiveJob::unusableNames(listed), named);
#ifdef Q_OS_WIN
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
#endif
}

void TestArchiveJob::realArchiverTakesThousandsOfNames_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("3,000 names") << 3000;
    // Under Wine, writing and packing this many files takes minutes.
    if (FileNames::thisSystem() != FileNames::System::Windows)
        QTest::newRow("20,000 names") << 20000;
}

// Every listed name is packed exactly, whatever the count: then they go
// through a list file, which the archiver reads with its own rules.
void TestArchiveJob::realArchiverTakesThousandsOfNames()
{
    QFETCH(int, count);
    const QString program = sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    IsolatedEnvironment env;
    const QString in = env.root() + "/in";
    const QStringList patterns{"-dash %1.txt", "@at %1.txt", "späce ü %1.txt", "名前 %1.txt"};
    QMap<QString, QByteArray> listed;
    for (int i = 0; i < count; ++i)
        listed.insert(patterns.at(i % patterns.size()).arg(i), QByteArray::number(i));
#ifdef Q_OS_UNIX
    // Taken literally, not as a pattern that would match "xy.txt" too.
    listed.insert("x*.txt", "star");
    writeFile(in + "/xy.txt", "pattern");
    // Names a list file would lose (trimmed, unquoted, split), one of them
    // beside the file its trimmed name would be, which is not listed.
    listed.insert("report.txt ", "trailing space");
    writeFile(in + "/report.txt", "not listed");
    listed.insert(" leading.txt", "leading space");
    listed.insert("\"quoted\"", "quotes at both ends");
    listed.insert("\ttab.txt\t", "tabs");
    listed.insert("line\nbreak.txt", "line break");
    listed.insert("carriage\rreturn.txt", "carriage return");
#endif
    // A same-named file in a subfolder stays out.
    writeFile(in + "/sub/-dash 0.txt", "deeper");
    QStringList paths;
    for (auto it = listed.cbegin(); it != listed.cend(); ++it)
        paths << writeFile(in + "/" + it.key(), it.value());
    const QString archive = env.root() + "/out.7z";
    QVERIFY(ArchiveJob::needsListFile(archive, paths));

    ArchiveJob job;
    QSignalSpy finished(&job, &ArchiveJob::finished);
    job.start(program, archive, paths);
    QVERIFY(finished.wait(300000));
    QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::Succeeded);
    // The list file went with the run.
    QCOMPARE(QDir(env.tempPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    QVERIFY(runProgram(program, {"x", "-y", "-o" + env.root() + "/extracted", archive}));
    QCOMPARE(filesUnder(env.root() + "/extracted"), listed);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The program's own run of the archiver, its job and its arguments, for
    // the tests under Wine and for recording what 7-Zip prints: packs the
    // paths into the archive with the shipped 7-Zip, writes what the
    // archiver printed to standard output as it came, and ends with 0 only
    // when the run succeeded.
    if (app.arguments().value(1) == QStringLiteral("--pack")) {
        ArchiveJob job;
        Outcome outcome = Outcome::Failed;
        QEventLoop loop;
        QObject::connect(&job, &ArchiveJob::finished, &loop, [&](Outcome result) {
            outcome = result;
            loop.quit();
        });
        job.start(sevenZip(), app.arguments().value(2), app.arguments().mid(3));
        if (job.isRunning())
            loop.exec();
#ifdef Q_OS_WIN
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        std::fwrite(job.output().constData(), 1, size_t(job.output().size()), stdout);
        return outcome == Outcome::Succeeded ? 0 : 1;
    }
    // The check as another user sees it, in a child process.
    if (app.arguments().value(1) == QStringLiteral("--unusable")) {
        for (const QString &name : ArchiveJob::unusableNames(app.arguments().mid(2)))
            std::printf("%s\n", name.toUtf8().constData());
        return 0;
    }
    TestArchiveJob test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_archivejob.moc"
