#include "filelist/BackgroundWork.h"
#include "filelist/FileList.h"
#include "filelist/StagingFolder.h"
#include "support/TestSupport.h"

#include <QLockFile>
#include <QRegularExpression>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <memory>
#include <vector>

using namespace TestSupport;

// The staging folder: which folder each running copy takes, the copies made there, and what goes when.
class TestStaging : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void copyIsTheFileUnderAnotherName();
    void stagingFolderChoice_data();
    void stagingFolderChoice();
    void everyNameTakenBySomeoneElse();
    void nameTakenAfterASuccess_data();
    void nameTakenAfterASuccess();
    void deadCopiesAreTidiedAfter_data();
    void deadCopiesAreTidiedAfter();

private:
    QString file(const QString &relative, const QByteArray &content = "x");
    std::unique_ptr<IsolatedEnvironment> environment;
};

void TestStaging::init()
{
    environment = std::make_unique<IsolatedEnvironment>();
    QVERIFY(environment->isValid());
}

void TestStaging::cleanup()
{
    // Let go of the folder before its temporary folder goes.
    StagingFolder::ofThisProgram().release();
    environment.reset();
}

QString TestStaging::file(const QString &relative, const QByteArray &content)
{
    return writeFile(environment->root() + QLatin1Char('/') + relative, content);
}

// The copy carries the user's file into the archive under another name, and
// nothing else changes: its date is the file's, and it can always be
// removed again, a read-only source's copy too; a file in the staging folder
// that is not ours is never replaced.
void TestStaging::copyIsTheFileUnderAnotherName()
{
    const QString folder = environment->tempPath() + "/velmora";
    const QString saved = writeFile(folder + "/keep.7z", "the user's archive");
    const QString source = file("c.txt", "c's bytes");
    QVERIFY(setModified(source, 1500000000));
    QVERIFY(QFile::setPermissions(source, QFile::ReadOwner | QFile::ReadUser));
    FileList list;
    list.add({source});

    list.rename(source, "keep.7z");
    const QString copy = list.paths().value(0);
    QCOMPARE(list.entry(copy)->name, QStringLiteral("keep.7z"));
    QVERIFY(copy != saved);
    QCOMPARE(readFile(saved), QByteArray("the user's archive"));
    QCOMPARE(readFile(copy), QByteArray("c's bytes"));
    QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch(), 1500000000);
    QVERIFY(QFileInfo(copy).permissions() & QFile::WriteOwner);

    list.rename(copy, "again.txt");
    QVERIFY(!QFileInfo::exists(copy));
    QCOMPARE(QFileInfo(list.paths().value(0)).lastModified().toSecsSinceEpoch(), 1500000000);
    StagingFolder::ofThisProgram().tidyUp();
    QCOMPARE(entriesOf(folder), QStringList{"keep.7z"});
    QVERIFY(QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner));
}

void TestStaging::stagingFolderChoice_data()
{
    QTest::addColumn<QString>("atTheName");
    QTest::addColumn<QString>("ours");
    QTest::newRow("lock of a copy that died") << "stale lock" << "velmora";
    QTest::newRow("another running copy") << "running copy" << "velmora-2";
#ifdef Q_OS_UNIX
    QTest::newRow("link to another folder") << "link" << "velmora-2";
    if (::geteuid() == 0)
        QTest::newRow("another user's folder") << "other user" << "velmora-2";
#endif
}

// Each running copy renames into a folder of its own, and its tidy-up
// after a success touches nothing else.
void TestStaging::stagingFolderChoice()
{
    QFETCH(QString, atTheName);
    QFETCH(QString, ours);
    const QString shared = environment->tempPath() + "/velmora";
    const QString theirs = writeFile(environment->root() + "/theirs/report.txt", "theirs");
    // The other running copy: a list with a staging folder of its own.
    StagingFolder otherCopy;
    FileList theirList;
    theirList.useStagingFolder(&otherCopy);
    if (atTheName == "stale lock") // no running process has this id
        writeFile(shared + ".lock", "2147483600\nbrimlet\n\n");
    if (atTheName == "running copy") {
        const QString mine = file("their/mine.txt", "theirs");
        theirList.add({mine});
        theirList.rename(mine, "report.txt");
    }
    if (atTheName == "link")
        QVERIFY(QFile::link(QFileInfo(theirs).absolutePath(), shared));
#ifdef Q_OS_UNIX
    if (atTheName == "other user") {
        QVERIFY(QFile::rename(QFileInfo(theirs).absolutePath(), shared));
        QCOMPARE(::chown(QFile::encodeName(shared).constData(), 65534, 65534), 0);
    }
#endif

    FileList list;
    const QString mine = file("mine.txt", "mine");
    list.add({mine});
    list.rename(mine, "report.txt");
    const QString copy = environment->tempPath() + '/' + ours + "/report.txt";
    QCOMPARE(list.paths(), QStringList{copy});
    QCOMPARE(readFile(copy), QByteArray("mine"));
    StagingFolder::ofThisProgram().tidyUp();
    QVERIFY(!QFileInfo::exists(QFileInfo(copy).absolutePath()));
    if (ours != "velmora")
        QCOMPARE(readFile(shared + "/report.txt"), QByteArray("theirs"));
}

// Another user on a shared temporary folder can hold every name the
// program would try; a rename still works, in a folder nobody can guess.
void TestStaging::everyNameTakenBySomeoneElse()
{
    const QString base = environment->tempPath() + "/velmora";
    std::vector<std::unique_ptr<QLockFile>> held;
    for (int number = 1; number <= 64; ++number) {
        const QString name = number == 1 ? base : base + '-' + QString::number(number);
        held.push_back(std::make_unique<QLockFile>(name + ".lock"));
        QVERIFY(held.back()->tryLock(0));
    }
    writeFile(base + "/theirs.txt", "theirs");

    FileList list;
    const QString mine = file("mine.txt", "mine");
    list.add({mine});
    list.rename(mine, "report.txt");
    const QString copy = list.paths().value(0);
    QCOMPARE(QFileInfo(copy).fileName(), QStringLiteral("report.txt"));
    QVERIFY2(QRegularExpression("/velmora-[A-Za-z0-9]{6}$").match(QFileInfo(copy).path()).hasMatch(), qPrintable(copy));
#ifdef Q_OS_UNIX
    QCOMPARE(QFileInfo(QFileInfo(copy).path()).permissions() & 0x0077, QFile::Permissions());
#endif
    StagingFolder::ofThisProgram().tidyUp();
    QVERIFY(!QFileInfo::exists(QFileInfo(copy).path()));
    QCOMPARE(readFile(base + "/theirs.txt"), QByteArray("theirs"));
}

void TestStaging::nameTakenAfterASuccess_data()
{
    QTest::addColumn<QString>("taker");
    QTest::newRow("a file") << "file";
#ifdef Q_OS_UNIX
    QTest::newRow("a link") << "link";
    if (::geteuid() == 0) {
        QTest::newRow("another user's folder") << "other user";
        QTest::newRow("another user's file beside it, at its list's name") << "other user's list";
    }
#endif
}

// After a success the folder goes, and anyone may put something at its
// name before the next rename: that rename still works, elsewhere.
void TestStaging::nameTakenAfterASuccess()
{
    QFETCH(QString, taker);
    const QString shared = environment->tempPath() + "/velmora";
    FileList list;
    const QString first = file("first.txt", "first");
    list.add({first});
    list.rename(first, "one.txt");
    QCOMPARE(list.paths(), QStringList{shared + "/one.txt"});
    StagingFolder::ofThisProgram().tidyUp();
    list.removeAll();
    QVERIFY(!QFileInfo::exists(shared));

    if (taker == "file")
        writeFile(shared, "theirs");
    if (taker == "link")
        QVERIFY(QFile::link(environment->root(), shared));
#ifdef Q_OS_UNIX
    if (taker == "other user") {
        QVERIFY(QDir().mkdir(shared));
        QCOMPARE(::chown(QFile::encodeName(shared).constData(), 65534, 65534), 0);
    }
    if (taker == "other user's list") {
        writeFile(shared + ".copies", "theirs");
        QCOMPARE(::chown(QFile::encodeName(shared + ".copies").constData(), 65534, 65534), 0);
    }
#endif
    const QString second = file("second.txt", "second");
    list.add({second});
    QSignalSpy refused(&list, &FileList::refused);
    list.rename(second, "two.txt");
    QCOMPARE(refused.size(), 0);
    QCOMPARE(list.paths(), QStringList{environment->tempPath() + "/velmora-2/two.txt"});
    QCOMPARE(readFile(list.paths().value(0)), QByteArray("second"));
}

void TestStaging::deadCopiesAreTidiedAfter_data()
{
    QTest::addColumn<QString>("left");
    QTest::newRow("as it left them") << "";
#ifdef Q_OS_UNIX
    // Windows holds no such names.
    QTest::newRow("a name with a line break") << "line break";
    QTest::newRow("a link for a subfolder") << "link";
#endif
}

// What a copy of the program that died left is removed by the next one; a
// live copy's folder, what nobody listed as a copy, and what lies behind a
// link put in a subfolder's place, stay.
void TestStaging::deadCopiesAreTidiedAfter()
{
    QFETCH(QString, left);
    const QString temp = environment->tempPath();
    StagingFolder live;
    FileList liveList;
    liveList.useStagingFolder(&live);
    const QString mine = file("mine.txt");
    liveList.add({mine});
    liveList.rename(mine, "mine-renamed.txt");
    {
        StagingFolder died;
        FileList diedList;
        diedList.useStagingFolder(&died);
        const QString a = file("a.txt");
        const QString b = file("b.txt");
        diedList.add({a, b});
        diedList.rename(a, "copy.txt");
        writeFile(temp + "/velmora-2/keep.7z", "the user's archive");
        diedList.rename(b, "keep.7z");
        QCOMPARE(diedList.paths(), (QStringList{temp + "/velmora-2/2/keep.7z", temp + "/velmora-2/copy.txt"}));
        // The rename field refuses such a name now; a list written before did not.
        BackgroundWork work;
        if (left == "line break")
            QCOMPARE(died.copyUnderName(a, "x\n+keep.7z", work).outcome, StagingFolder::Outcome::Made);
    }
    // Its lock as a process that died leaves it.
    writeFile(temp + "/velmora-2.lock", "2147483600\nbrimlet\n\n");
    const QString users = file("documents/keep.7z", "the user's other archive");
    if (left == "link") {
        QVERIFY(QDir(temp + "/velmora-2/2").removeRecursively());
        QVERIFY(QFile::link(QFileInfo(users).path(), temp + "/velmora-2/2"));
    }

    StagingFolder::removeWhatDeadCopiesLeft(temp);
    QCOMPARE(entriesOf(temp + "/velmora-2"), left == "link" ? (QStringList{"2", "keep.7z"}) : QStringList{"keep.7z"});
    QCOMPARE(readFile(temp + "/velmora-2/keep.7z"), QByteArray("the user's archive"));
    QCOMPARE(readFile(users), QByteArray("the user's other archive"));
    QVERIFY(!QFileInfo::exists(temp + "/velmora-2.lock"));
    QCOMPARE(copiesIn(temp + "/velmora"), QStringList{"mine-renamed.txt"});
}

QTEST_MAIN(TestStaging)
#include "tst_staging.moc"
