#include "app/MainWidget.h"
#include "support/RunFixture.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

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
// run of the real 7-Zip: the program runs as one user, the other acts as
// another (as root only).
class TestTwoUsers : public QObject, private RunFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void secondWriterCannotAddToTheArchive();
};

// Another user who may write beside the destination plants archives at
// every name that appears or goes there, as fast as the system tells it: the
// archive still holds exactly the listed files.
void TestTwoUsers::secondWriterCannotAddToTheArchive()
{
#ifdef Q_OS_LINUX
    if (::geteuid() != 0)
        QSKIP("acting as two users needs root");
    const QString program = sevenZip();
    if (program.isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    // Everyone may pass down to the test's folders, and write in the shared one.
    for (QString folder = env->root(); folder != QDir::tempPath() && folder.size() > 1; folder = QFileInfo(folder).path())
        QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ExeOther | QFile::ReadOther);
    const QString shared = env->root() + "/shared";
    QVERIFY(QDir().mkpath(shared));
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QString zip = env->root() + "/evil.zip";
    QVERIFY(runProgram(program, {"a", "-tzip", zip, writeFile(env->root() + "/evil/EVIL.exe", "evil")}));
    const QStringList files{writeFile(in + "/a.txt", "a"), writeFile(in + "/private.txt", "p")};
    const QString home = env->root() + "/home-of-nobody";
    QVERIFY(QDir().mkpath(home + "/tmp"));
    for (const QString &folder : {home, home + "/tmp"})
        QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);

    const auto as = [](int uid) {
        return QStringList{QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid), "--clear-groups",
                           QCoreApplication::applicationFilePath(), "--child"};
    };
    QProcess planter;
    planter.start("setpriv", as(65533) << "plant" << shared << zip << "mine.7z");
    QVERIFY(planter.waitForReadyRead(20000));
    QProcess user;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("TMPDIR", home + "/tmp");
    user.setProcessEnvironment(environment);
    user.start("setpriv", as(65534) << "compress" << program << shared + "/mine.7z" << files);
    QVERIFY(user.waitForFinished(120000));
    planter.kill();
    planter.waitForFinished();

    QCOMPARE(QString::fromUtf8(user.readAllStandardOutput()).trimmed(), successText);
    QByteArray listing;
    QVERIFY(runProgram(program, {"l", "-slt", shared + "/mine.7z"}, &listing));
    QStringList packed;
    for (const QByteArray &line : listing.split('\n')) {
        if (line.startsWith("Path = ") && !line.contains(shared.toUtf8()))
            packed << QString::fromUtf8(line.mid(7));
    }
    QCOMPARE(packed, (QStringList{"a.txt", "private.txt"}));
#else
    QSKIP("Linux's file system events stand in for the other user here");
#endif
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
