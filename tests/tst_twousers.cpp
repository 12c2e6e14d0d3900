#include "app/MainWidget.h"
#include "support/RunFixture.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace TestSupport;

namespace {

const QString successText = QStringLiteral("Compression finished successfully!");

} // namespace

// Another local user beside the destination, on a shared folder, during a
// run of the real 7-Zip: the program runs as one user (nobody), the other
// (uid 65533) acts as another (as root only).
class TestTwoUsers : public QObject, private RunFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void secondWriterCannotAddToTheArchive();
    void secondUserSwapsTheProgramsFolder_data();
    void secondUserSwapsTheProgramsFolder();

private:
    bool prepare(int sharedOwner, int sharedMode);
    static QStringList as(int uid);
    void startUser(QProcess &user, const QStringList &args);
    QStringList packedIn(const QString &archive);

    QString program;
    QString shared;
    QString zip;
    QString home;
    QStringList files;
};

#ifdef Q_OS_LINUX
// A shared folder (its owner and mode given), an archive of the other user's, the user's files and a
// home of nobody's own; false when the test cannot act as two users here.
bool TestTwoUsers::prepare(int sharedOwner, int sharedMode)
{
    program = sevenZip();
    if (::geteuid() != 0 || program.isEmpty())
        return false;
    // Everyone may pass down to the test's folders, and write in the shared one.
    for (QString folder = env->root(); folder != QDir::tempPath() && folder.size() > 1; folder = QFileInfo(folder).path())
        QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ExeOther | QFile::ReadOther);
    shared = env->root() + "/shared";
    zip = env->root() + "/evil.zip";
    home = env->root() + "/home-of-nobody";
    files = QStringList{writeFile(in + "/a.txt", "a"), writeFile(in + "/private.txt", "p")};
    writeFile(home + "/documents/keep.txt", "the user's own");
    return QDir().mkpath(shared) && ::chown(QFile::encodeName(shared).constData(), sharedOwner, sharedOwner) == 0
        && ::chmod(QFile::encodeName(shared).constData(), mode_t(sharedMode)) == 0
        && runProgram(program, {"a", "-tzip", zip, writeFile(env->root() + "/evil/EVIL.exe", "evil")})
        && QDir().mkpath(home + "/tmp")
        && runProgram("chown", {"-R", "65534:65534", home});
}
#else
bool TestTwoUsers::prepare(int, int)
{
    return false;
}
#endif

QStringList TestTwoUsers::as(int uid)
{
    return QStringList{QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid), "--clear-groups",
                       QCoreApplication::applicationFilePath(), "--child"};
}

void TestTwoUsers::startUser(QProcess &user, const QStringList &args)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("TMPDIR", home + "/tmp");
    user.setProcessEnvironment(environment);
    user.start("setpriv", as(65534) << args);
}

// What an archive holds, its folders' entries left out.
QStringList TestTwoUsers::packedIn(const QString &archive)
{
    QByteArray listing;
    if (!runProgram(program, {"l", "-slt", archive}, &listing))
        return {};
    QStringList packed;
    for (const QByteArray &line : listing.split('\n')) {
        if (line.startsWith("Path = ") && !line.contains(archive.toUtf8()))
            packed << QString::fromUtf8(line.mid(7));
    }
    return packed;
}

// Another user who may write beside the destination plants archives at
// every name that appears or goes there, as fast as the system tells it: the
// archive still holds exactly the listed files.
void TestTwoUsers::secondWriterCannotAddToTheArchive()
{
    if (!prepare(0, 01777))
        QSKIP("acting as two users needs root, Linux and 7zz (Debian package 7zip)");
    QProcess planter;
    planter.start("setpriv", as(65533) << "plant" << shared << zip << "mine.7z");
    QVERIFY(planter.waitForReadyRead(20000));
    QProcess user;
    startUser(user, QStringList{"compress", program, shared + "/mine.7z"} << files);
    QVERIFY(user.waitForFinished(120000));
    planter.kill();
    planter.waitForFinished();

    QCOMPARE(QString::fromUtf8(user.readAllStandardOutput()).trimmed(), successText);
    QCOMPARE(packedIn(shared + "/mine.7z"), (QStringList{"a.txt", "private.txt"}));
}

void TestTwoUsers::secondUserSwapsTheProgramsFolder_data()
{
    QTest::addColumn<QString>("moment");
    QTest::addColumn<QString>("swap");
    QTest::newRow("a link to the user's documents, as 7-Zip ends") << "ended" << "link";
    QTest::newRow("a folder of his own with a ZIP, as 7-Zip ends") << "ended" << "folder";
    QTest::newRow("a folder of his own with a ZIP, as 7-Zip starts") << "starts" << "folder";
}

// The folder is his (sticky, 1733: others may drop files in without
// listing it), so he may rename what others put in it: at a moment of the run he renames the program's private folder away
// and puts something of his at its name. The program goes on in the folder
// it made, and touches nothing of his, nor through what he put there.
void TestTwoUsers::secondUserSwapsTheProgramsFolder()
{
    QFETCH(QString, moment);
    QFETCH(QString, swap);
    if (!prepare(65533, 01733))
        QSKIP("acting as two users needs root, Linux and 7zz (Debian package 7zip)");
    QProcess user;
    startUser(user, QStringList{"compress-pausing", moment, program, shared + "/mine.7z"} << files);
    QVERIFY(user.waitForReadyRead(60000));
    const QString folder = QString::fromUtf8(user.readLine()).trimmed().section(' ', 1);
    QVERIFY2(QFileInfo(folder).fileName().startsWith(".brimlet-"), qPrintable(folder));
    QProcess other;
    other.start("setpriv", as(65533) << "swap" << swap << folder << home + "/documents" << zip << "mine.7z");
    QVERIFY(other.waitForFinished(20000));
    QCOMPARE(other.exitCode(), 0);
    user.write("go\n");
    QVERIFY(user.waitForFinished(120000));

    QCOMPARE(QString::fromUtf8(user.readAllStandardOutput()).trimmed(), successText);
    QCOMPARE(packedIn(shared + "/mine.7z"), (QStringList{"a.txt", "private.txt"}));
    QCOMPARE(readFile(home + "/documents/keep.txt"), QByteArray("the user's own"));
    if (swap == "folder")
        QCOMPARE(readFile(folder + "/mine.7z"), readFile(zip));
    // Nothing of the program's is left; what he put there stays his.
    QCOMPARE(entriesOf(shared), (QStringList{QFileInfo(folder).fileName(), "mine.7z"}));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (isChild(app.arguments()))
        return runChild(app.arguments());
    TestTwoUsers test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_twousers.moc"
