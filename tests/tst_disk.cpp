#include "app/ArchiverCommand.h"
#include "disk/FileCopy.h"
#include "disk/FolderWalk.h"
#include "disk/LongPath.h"
#include "disk/OwnerOnlyFolder.h"
#include "disk/PrivateFolder.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QRegularExpression>
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
#include <aclapi.h>
#include <sddl.h>
#endif

using namespace TestSupport;

namespace {

#ifdef Q_OS_UNIX
// The bytes 7-Zip packs into a new archive of the paths, or -1 when it fails the run.
qint64 archivedBytes(const QString &archive, const QStringList &paths)
{
    QByteArray listing;
    if (!runProgram(sevenZip(), ArchiverCommand::arguments(archive, paths)) || !runProgram(sevenZip(), {"l", archive}, &listing))
        return -1;
    static const QRegularExpression summary(QStringLiteral("^\\S+ \\S+\\s+(\\d+)\\s+\\d+\\s+\\d+ files"),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = summary.match(QString::fromUtf8(listing));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

bool isClosedToOthers(const QString &path)
{
    return (QFileInfo(path).permissions() & 0x0077) == QFile::Permissions();
}
#endif

} // namespace

// What the program asks of the disk: folders only this user may enter, the
// move that never replaces, copies under another name, and the folder walk
// and check as the archiver reads a folder.
class TestDisk : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ownerOnlyFolder_data();
    void ownerOnlyFolder();
    void privateFolderGoesWithAllItHolds();
    void copyIsTheFileUnderAnotherName_data();
    void copyIsTheFileUnderAnotherName();
    void privateFolderMovesOut();
    void archiveTakesTheAccessOfItsFolder();
    void longPathForm_data();
    void longPathForm();
    void folderWeighsWhatTheArchiveHolds_data();
    void folderWeighsWhatTheArchiveHolds();
    void unusableInsideAListedFolder();
    void onlyFilesAndFoldersArePacked_data();
    void onlyFilesAndFoldersArePacked();

private:
    std::unique_ptr<IsolatedEnvironment> environment;
};

void TestDisk::init()
{
    environment = std::make_unique<IsolatedEnvironment>();
    QVERIFY(environment->isValid());
}

void TestDisk::cleanup()
{
    environment.reset();
}

void TestDisk::ownerOnlyFolder_data()
{
    QTest::addColumn<QString>("atTheName");
    QTest::addColumn<bool>("taken");
    QTest::newRow("nothing") << "" << true;
    QTest::newRow("our own folder") << "own" << true;
    QTest::newRow("a file") << "file" << false;
#ifdef Q_OS_UNIX
    // Left by an earlier run that made it open to others: closed again.
    QTest::newRow("our own folder, open to others") << "own, open" << true;
    QTest::newRow("a link to a folder of ours") << "link" << false;
    QTest::newRow("a link to nothing") << "dangling link" << false;
    if (::geteuid() == 0)
        QTest::newRow("another user's folder") << "other user" << false;
#endif
}

// Made or taken back only as a real folder of this user's, closed to others.
void TestDisk::ownerOnlyFolder()
{
    QFETCH(QString, atTheName);
    QFETCH(bool, taken);
    const QString path = environment->tempPath() + "/velmora";
    const QString elsewhere = environment->root() + "/elsewhere";
    QVERIFY(QDir().mkpath(elsewhere));
    if (atTheName.startsWith("own") || atTheName == "other user")
        QVERIFY(QDir().mkdir(path));
    if (atTheName == "file")
        writeFile(path, "a file");
#ifdef Q_OS_UNIX
    if (atTheName == "own, open")
        QVERIFY(QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOther | QFile::ExeOther));
    if (atTheName == "link")
        QVERIFY(QFile::link(elsewhere, path));
    if (atTheName == "dangling link")
        QVERIFY(QFile::link(environment->root() + "/nothing", path));
    if (atTheName == "other user")
        QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
#endif
    QCOMPARE(OwnerOnlyFolder::ensure(path), taken);
    QCOMPARE(OwnerOnlyFolder::isOwn(path), taken);
#ifdef Q_OS_UNIX
    if (taken)
        QVERIFY(isClosedToOthers(path));
    // Nothing was done through a link.
    QVERIFY(!isClosedToOthers(elsewhere));
    QCOMPARE(entriesOf(elsewhere), QStringList());
#endif
}

// The archive's folder beside its destination: a name nobody can guess,
// closed to others from the start, held from then on, and gone with
// everything in it, whatever stands at its name by then.
void TestDisk::privateFolderGoesWithAllItHolds()
{
    const QString parent = environment->root() + "/shared";
    const QString documents = writeFile(environment->root() + "/documents/keep.txt", "the user's");
    QVERIFY(QDir().mkpath(parent));
    QString made;
    {
        const PrivateFolder folder(parent);
        QVERIFY(folder.isValid());
        made = folder.path();
        QVERIFY2(QRegularExpression("/\\.brimlet-[A-Za-z0-9]{6}$").match(made).hasMatch(), qPrintable(made));
        QVERIFY(OwnerOnlyFolder::isOwn(made));
        writeFile(made + "/deeper/archive.zip", "PK");
#if defined(Q_OS_WIN)
        // Nobody may rename it while it is held.
        QVERIFY(!QDir().rename(made, parent + "/moved"));
#else
        // Someone who may rename entries beside it puts a link to the
        // user's documents in its place.
        QVERIFY(QDir().rename(made, parent + "/moved"));
        QVERIFY(QFile::link(QFileInfo(documents).path(), made));
#endif
    }
#if !defined(Q_OS_WIN)
    QCOMPARE(entriesOf(parent), QStringList{QFileInfo(made).fileName()});
    QVERIFY(QFile::remove(made));
#endif
    QCOMPARE(entriesOf(parent), QStringList());
    QCOMPARE(readFile(documents), QByteArray("the user's"));
    QVERIFY(!PrivateFolder(environment->root() + "/no such folder").isValid());
}

// Out of the folder, in one step, never over a file that is there unless asked.
void TestDisk::privateFolderMovesOut()
{
    const QString parent = environment->root();
    const PrivateFolder folder(parent);
    writeFile(folder.path() + "/a.zip", "new");
    const QString there = writeFile(parent + "/there.zip", "old");
    QCOMPARE(folder.moveOut("a.zip", "there.zip", false), PrivateFolder::Move::Taken);
    QCOMPARE(readFile(there), QByteArray("old"));
    QCOMPARE(folder.moveOut("a.zip", "there.zip", true), PrivateFolder::Move::Moved);
    QCOMPARE(readFile(there), QByteArray("new"));
    writeFile(folder.path() + "/b.zip", "b");
    QCOMPARE(folder.moveOut("b.zip", "free.zip", false), PrivateFolder::Move::Moved);
    QCOMPARE(readFile(parent + "/free.zip"), QByteArray("b"));
    QCOMPARE(entriesOf(folder.path()), QStringList());
}

// The archive comes out of a folder only this user may enter; in its new
// folder it must be open to whom a file saved there is open.
void TestDisk::archiveTakesTheAccessOfItsFolder()
{
#ifdef Q_OS_WIN
    const QString team = environment->root() + "/team";
    QVERIFY(QDir().mkpath(team));
    // The team's folder: everyone may read what is saved in it.
    PSECURITY_DESCRIPTOR given = nullptr;
    QVERIFY(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)(A;OICI;FR;;;WD)",
                                                                 SDDL_REVISION_1, &given, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    QVERIFY(GetSecurityDescriptorDacl(given, &present, &list, &defaulted));
    const std::wstring teamPath = QDir::toNativeSeparators(team).toStdWString();
    QCOMPARE(SetNamedSecurityInfoW(const_cast<wchar_t *>(teamPath.c_str()), SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   list, nullptr),
             DWORD(ERROR_SUCCESS));
    LocalFree(given);

    // Read back as the system holds it.
    const auto accessOf = [](const QString &path) {
        const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
        PSECURITY_DESCRIPTOR held = nullptr;
        QString sddl;
        LPWSTR text = nullptr;
        if (GetNamedSecurityInfoW(native.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  nullptr, nullptr, &held)
                == ERROR_SUCCESS
            && ConvertSecurityDescriptorToStringSecurityDescriptorW(held, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                    &text, nullptr)) {
            sddl = QString::fromWCharArray(text);
            LocalFree(text);
        }
        LocalFree(held);
        return sddl;
    };
    const PrivateFolder folder(team);
    writeFile(folder.path() + "/a.zip", "PK");
    QCOMPARE(folder.moveOut("a.zip", "a.zip", false), PrivateFolder::Move::Moved);

    // As a file saved there: Wine, which keeps access as file modes, shows
    // the same; Windows shows what the team's folder passes on.
    const QString saved = writeFile(team + "/saved.zip", "PK");
    QVERIFY(!accessOf(saved).isEmpty());
    QCOMPARE(accessOf(team + "/a.zip"), accessOf(saved));
#else
    QSKIP("Windows' access lists; a file's mode on Linux is its own, wherever it moves");
#endif
}

void TestDisk::copyIsTheFileUnderAnotherName_data()
{
    QTest::addColumn<QString>("source"); // "file", "read-only", "folder", "gone", "pipe"
    QTest::addColumn<bool>("copied");
    QTest::newRow("a file") << "file" << true;
    // The copy can always be removed again.
    QTest::newRow("a read-only file") << "read-only" << true;
    QTest::newRow("a folder") << "folder" << false;
    QTest::newRow("gone") << "gone" << false;
#ifdef Q_OS_UNIX
    // Nobody writes to it: the open would wait for ever.
    QTest::newRow("a named pipe") << "pipe" << false;
#endif
}

void TestDisk::copyIsTheFileUnderAnotherName()
{
    QFETCH(QString, source);
    QFETCH(bool, copied);
    const QString from = environment->root() + "/source";
    const QString to = environment->root() + "/copy.txt";
    if (source == "file" || source == "read-only")
        writeFile(from, QByteArray(3 << 20, 'c'));
    if (source == "folder")
        QVERIFY(QDir().mkpath(from));
#ifdef Q_OS_UNIX
    if (source == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(from).constData(), 0600), 0);
#endif
    if (QFileInfo(from).isFile()) {
        QVERIFY(setModified(from, 1500000000));
        if (source == "read-only")
            QVERIFY(QFile::setPermissions(from, QFile::ReadOwner | QFile::ReadUser));
    }
    QElapsedTimer clock;
    clock.start();
    FileCopy copy(from, to);
    QList<qint64> reported;
    const bool done = copy.open() && copy.run(nullptr, [&](qint64 bytes, qint64) { reported << bytes; });
    QCOMPARE(done, copied);
    QCOMPARE_LT(clock.elapsed(), 5000);
    if (!copied)
        return;
    QCOMPARE(readFile(to), readFile(from));
    QCOMPARE(reported.last(), qint64(3 << 20));
    QCOMPARE(QFileInfo(to).lastModified().toSecsSinceEpoch(), 1500000000);
    QVERIFY(QFileInfo(to).permissions() & QFile::WriteOwner);
    QVERIFY(QFile::remove(to));
    QVERIFY(QFile::setPermissions(from, QFile::ReadOwner | QFile::WriteOwner));

    // Stopped, it says so.
    std::atomic_bool cancelled{true};
    FileCopy stopped(from, to);
    QVERIFY(stopped.open());
    QVERIFY(!stopped.run(&cancelled));
}

void TestDisk::longPathForm_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
#ifdef Q_OS_WIN
    // Taken literally by the system: absolute, cleaned, backslashes.
    QTest::newRow("drive") << "C:/Users/anna/../anna/Trip/Trip.7z" << "\\\\?\\C:\\Users\\anna\\Trip\\Trip.7z";
    QTest::newRow("share") << "//server/share/Trip/Trip.7z" << "\\\\?\\UNC\\server\\share\\Trip\\Trip.7z";
    QTest::newRow("already long") << "\\\\?\\C:\\a\\b.7z" << "\\\\?\\C:\\a\\b.7z";
#else
    QTest::newRow("elsewhere as it is") << "/home/anna/../anna/Trip.7z" << "/home/anna/../anna/Trip.7z";
#endif
}

void TestDisk::longPathForm()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(::longPathForm(path), expected);
}

void TestDisk::folderWeighsWhatTheArchiveHolds_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("target");
    QTest::addColumn<qint64>("listed");
    QTest::addColumn<qint64>("archived"); // -1: 7-Zip fails the run
    // The folder holds a.txt (6 bytes); outside lie big.bin (1000) and tree/ (300 + 200).
    QTest::newRow("link to a file outside") << "linked.bin" << "../outside/big.bin" << qint64(1006) << qint64(1006);
    QTest::newRow("link to a folder outside") << "linked" << "../outside/tree" << qint64(506) << qint64(506);
    // 7-Zip follows a loop until the system refuses, and fails the run.
    QTest::newRow("loop") << "sub/back" << ".." << qint64(6) << qint64(-1);
    // 7-Zip packs the file twice; the list counts each real file once.
    QTest::newRow("link to a file inside") << "sub/again.txt" << "../a.txt" << qint64(6) << qint64(12);
}

void TestDisk::folderWeighsWhatTheArchiveHolds()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, link);
    QFETCH(QString, target);
    QFETCH(qint64, listed);
    QFETCH(qint64, archived);
    if (sevenZip().isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    const QString folder = environment->root() + "/folder";
    writeFile(folder + "/a.txt", "hello\n");
    writeFile(environment->root() + "/outside/big.bin", QByteArray(1000, 'b'));
    writeFile(environment->root() + "/outside/tree/x", QByteArray(300, 'x'));
    writeFile(environment->root() + "/outside/tree/sub/y", QByteArray(200, 'y'));
    QDir().mkpath(QFileInfo(folder + '/' + link).absolutePath());
    QVERIFY(QFile::link(target, folder + '/' + link));

    QCOMPARE(FolderWalk::walk(folder, FolderWalk::Purpose::Weigh).bytes, listed);
    QCOMPARE(archivedBytes(environment->root() + "/folder.zip", {folder}), archived);
#else
    QSKIP("Symbolic links as 7-Zip follows them on Linux");
#endif
}

void TestDisk::unusableInsideAListedFolder()
{
#ifndef Q_OS_UNIX
    QSKIP("file modes are a POSIX matter");
#else
    const QString folder = environment->root() + "/Photos";
    writeFile(folder + "/open.jpg", "o");
    writeFile(folder + "/private.jpg", "p");
    writeFile(folder + "/locked/inner.jpg", "i");
    // Behind a link the archiver follows, as the size does.
    QVERIFY(QFile::link(writeFile(environment->root() + "/outside/secret.jpg", "s"), folder + "/linked.jpg"));
    QFile::setPermissions(environment->root() + "/outside/secret.jpg", QFileDevice::WriteOwner);
    // Open to others down to the folder: root reads anything, so as root
    // the check runs as the user nobody.
    for (const QString &dir : {folder, environment->root(), QFileInfo(environment->root()).path()})
        QFile::setPermissions(dir, QFile::permissions(dir) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    QFile::setPermissions(folder + "/private.jpg", QFileDevice::WriteOwner);
    QFile::setPermissions(folder + "/locked", QFileDevice::WriteOwner);
    QStringList command{QCoreApplication::applicationFilePath(), "--unusable", folder, environment->root() + "/gone.txt"};
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

void TestDisk::onlyFilesAndFoldersArePacked_data()
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
void TestDisk::onlyFilesAndFoldersArePacked()
{
    QFETCH(QString, what);
    const QString folder = environment->root() + "/Photos";
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
    const QStringList listed{folder, what == "gone" ? environment->root() + "/odd" : odd};
    const QStringList named = what == "gone" ? QStringList{"odd"} : QStringList{"Photos/odd", "odd"};
    QCOMPARE(FolderWalk::unusableNames(listed), named);
#ifdef Q_OS_WIN
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
#endif
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The check as another user sees it, in a child process.
    if (app.arguments().value(1) == QStringLiteral("--unusable")) {
        for (const QString &name : FolderWalk::unusableNames(app.arguments().mid(2)))
            std::printf("%s\n", name.toUtf8().constData());
        return 0;
    }
    TestDisk test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_disk.moc"
