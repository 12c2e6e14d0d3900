#include "filelist/BackgroundWork.h"
#include "filelist/FileList.h"
#include "filelist/StagingFolder.h"
#include "support/HeldWorkers.h"
#include "support/TestSupport.h"

#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <memory>

using namespace TestSupport;
using System = FileNames::System;

namespace {

const QString existsText = QStringLiteral("The file with the name you provided exists");
const QString renameExistsText = existsText + QStringLiteral(", Please choose another name");
const QString invalidText = QStringLiteral("The file name you provided is not valid, Please choose another name");
const QString copyFailedText = QStringLiteral("The file could not be copied under the new name");
const QString exceededText = QStringLiteral("You can't add more than 500 MB of files");
const QString folderText = QStringLiteral("A folder keeps its own name in the archive: only a file can be given another name.");

QStringList namesOf(const QStringList &paths)
{
    QStringList names;
    for (const QString &path : paths)
        names << QFileInfo(path).fileName();
    return names;
}

} // namespace

// The list's rules, without a window: names, sizes, renames, the queue of changes.
class TestFileList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sizeLimit_data();
    void sizeLimit();
    void namesWhenAdding_data();
    void namesWhenAdding();
    void renameAnswer_data();
    void renameAnswer();
    void renameMakesStagingCopy();
    void refusalSaysWhichAndWhy_data();
    void refusalSaysWhichAndWhy();
    void changeQueuedDuringRenameFollowsTheFile_data();
    void changeQueuedDuringRenameFollowsTheFile();
    void folderIsWalkedOncePerAddition();
    void exitDuringWorkLeavesTheWorkerItsOwn();

private:
    QString file(const QString &relative, const QByteArray &content = "x");
    std::unique_ptr<IsolatedEnvironment> environment;
};

void TestFileList::init()
{
    environment = std::make_unique<IsolatedEnvironment>();
    QVERIFY(environment->isValid());
}

void TestFileList::cleanup()
{
    // Let go of the folder before its temporary folder goes.
    StagingFolder::ofThisProgram().release();
    environment.reset();
}

QString TestFileList::file(const QString &relative, const QByteArray &content)
{
    return writeFile(environment->root() + QLatin1Char('/') + relative, content);
}

void TestFileList::sizeLimit_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<qint64>>("bytes");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<float>("total");
    QTest::newRow("rounds to 500 MB as a float") << QStringList{"f"} << QList<qint64>{524288016}
                                                 << QStringList{"f"} << 500.0f;
    QTest::newRow("one byte more") << QStringList{"f"} << QList<qint64>{524288017} << QStringList() << 0.0f;
    QTest::newRow("judged per file") << QStringList{"half1", "tooBig", "half2", "oneMB", "empty"}
                                     << QList<qint64>{262144000, 300 << 20, 262144000, 1 << 20, 0}
                                     << QStringList{"empty", "half1", "half2"} << 500.0f;
    // Two 16-byte files, summed before 300 MB as their keys come first, make
    // one unit in the last place; each alone, added to 300, rounds away.
    const float small = 16.0f / 1024 / 1024;
    QTest::newRow("summed in key order") << QStringList{"b", "a1", "a2"} << QList<qint64>{300 << 20, 16, 16}
                                         << QStringList{"a1", "a2", "b"} << (small + small) + 300.0f;
}

void TestFileList::sizeLimit()
{
    QFETCH(QStringList, names);
    QFETCH(QList<qint64>, bytes);
    QFETCH(QStringList, listed);
    QFETCH(float, total);
    FileList list;
    QSignalSpy exceeded(&list, &FileList::sizeExceeded);
    QSignalSpy changed(&list, &FileList::sizeChanged);
    QStringList paths;
    for (int i = 0; i < names.size(); ++i)
        paths << makeSparseFile(environment->root() + '/' + names[i], bytes[i]);
    list.add(paths);
    QCOMPARE(namesOf(list.paths()), listed);
    // One message for the one addition, naming each file left out.
    QCOMPARE(firstLines(exceeded), names.size() > listed.size() ? QStringList{exceededText} : QStringList());
    for (const QString &path : paths) {
        if (!list.entry(path))
            QVERIFY(exceeded.first().first().toString().contains(QDir::toNativeSeparators(path)));
    }
    // Exact comparisons: QCOMPARE would forgive the last place.
    QVERIFY(list.total() == total);
    QVERIFY(changed.isEmpty() || changed.last().first().toFloat() == total);
}

void TestFileList::namesWhenAdding_data()
{
    QTest::addColumn<System>("system");
    QTest::addColumn<QStringList>("added"); // "rename:x" gives the first row the name x
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<int>("refusals");
    const System posix = System::OtherUnix, windows = System::Windows;
    QTest::newRow("same file twice") << posix << QStringList{"one/a.txt", "one/a.txt"} << QStringList{"a.txt"} << 1;
    QTest::newRow("same name from two folders") << posix << QStringList{"one/a.txt", "two/a.txt"} << QStringList{"a.txt"} << 1;
    QTest::newRow("other case, Linux") << posix << QStringList{"one/Report.pdf", "two/report.pdf"}
                                       << QStringList{"Report.pdf", "report.pdf"} << 0;
    // On a disk that ignores case they would be one file in the archive.
    QTest::newRow("other case, Windows") << windows << QStringList{"one/Report.pdf", "two/report.pdf"}
                                         << QStringList{"Report.pdf"} << 1;
    QTest::newRow("a renamed row's name in other case, Windows")
        << windows << QStringList{"one/a.txt", "rename:Z.txt", "two/z.txt"} << QStringList{"Z.txt"} << 1;
    QTest::newRow("a renamed row frees its old name") << posix << QStringList{"one/a.txt", "rename:b.txt", "two/a.txt"}
                                                      << QStringList{"a.txt", "b.txt"} << 0;
}

void TestFileList::namesWhenAdding()
{
    QFETCH(System, system);
    QFETCH(QStringList, added);
    QFETCH(QStringList, listed);
    QFETCH(int, refusals);
    FileList list;
    list.useNameRules(system);
    QSignalSpy refused(&list, &FileList::refused);
    for (const QString &item : added) {
        if (item.startsWith("rename:"))
            list.rename(list.paths().first(), item.mid(7));
        else
            list.add({file(item)});
    }
    QStringList names;
    for (const QString &path : list.paths())
        names << list.entry(path)->name;
    names.sort();
    QCOMPARE(names, listed);
    QCOMPARE(firstLines(refused), QStringList(refusals, existsText));
}

void TestFileList::renameAnswer_data()
{
    QTest::addColumn<System>("system");
    QTest::addColumn<QString>("source"); // "pipe", "gone", "folder" or a plain file
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("message"); // empty: nothing is said
    QTest::addColumn<bool>("renamed");

    const System posix = System::OtherUnix, windows = System::Windows, mac = System::MacOs;
    QTest::newRow("same name") << posix << "" << "a.txt" << "" << false;
    QTest::newRow("empty") << posix << "" << "" << "" << false;
    QTest::newRow("source gone") << posix << "gone" << "b2.txt" << copyFailedText << false;
#ifdef Q_OS_UNIX
    // Nobody writes to it: a copy would wait for ever.
    QTest::newRow("named pipe") << posix << "pipe" << "b2.txt" << copyFailedText << false;
#endif
    QTest::newRow("folder") << posix << "folder" << "b2" << folderText << false;
    QTest::newRow("listed name") << posix << "" << "b.txt" << renameExistsText << false;
    QTest::newRow("listed name in other case, Linux") << posix << "" << "B.txt" << "" << true;
    QTest::newRow("listed name in other case, Windows") << windows << "" << "B.TXT" << renameExistsText << false;
    QTest::newRow("listed name in other case, macOS") << mac << "" << "B.txt" << renameExistsText << false;
    QTest::newRow("own name in other case, Windows") << windows << "" << "A.txt" << "" << true;
    for (const char *name : {"../escaped.txt", "..\\escaped.txt", ".", ".."})
        QTest::addRow("everywhere: %s", name) << posix << "" << name << invalidText << false;
    QTest::newRow("everywhere: a line break") << posix << "" << "keep\n.7z" << invalidText << false;
    QTest::newRow("everywhere: a tab") << posix << "" << "tab\there" << invalidText << false;
    // The staging folder's own records are kept elsewhere.
    QTest::newRow("the name of the copies' list") << posix << "" << ".brimlet-copies" << "" << true;
    for (const char *name : {"a:b", "all*", "trailing.", "trailing ", "nul", "aux.txt", "LPT9", "com\u00B9"})
        QTest::addRow("Windows: %s", name) << windows << "" << QString::fromUtf8(name) << invalidText << false;
    // What Linux takes; a Windows disk refuses these whatever the list says.
    if (FileNames::thisSystem() != System::Windows)
        QTest::newRow("Linux: a:b") << posix << "" << "a:b" << "" << true;
    for (const char *name : {"COM10", "console.txt"})
        QTest::addRow("Windows: %s", name) << windows << "" << name << "" << true;
}

void TestFileList::renameAnswer()
{
    QFETCH(System, system);
    QFETCH(QString, source);
    QFETCH(QString, answer);
    QFETCH(QString, message);
    QFETCH(bool, renamed);
    FileList list;
    list.useNameRules(system);
    QString original = file("a.txt");
    if (source == "folder") {
        original = QFileInfo(file("a/inside.txt")).absolutePath();
    } else if (source == "pipe") {
        QFile::remove(original);
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo(QFile::encodeName(original).constData(), 0600), 0);
#endif
    }
    list.add({original, file("b.txt")});
    if (source == "gone")
        QFile::remove(original);
    QSignalSpy refused(&list, &FileList::refused);
    QElapsedTimer clock;
    clock.start();
    list.rename(original, answer);

    QCOMPARE_LT(clock.elapsed(), 1000);
    QCOMPARE(firstLines(refused), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(list.paths().contains(original), !renamed);
    if (renamed)
        QVERIFY(list.paths().contains(StagingFolder::ofThisProgram().path() + '/' + answer));
    // No copy, nor part of one: "." and ".." name folders, not copies.
    QCOMPARE(copiesIn(environment->tempPath() + "/velmora"), renamed ? QStringList{answer} : QStringList());
}

void TestFileList::renameMakesStagingCopy()
{
    const QString folder = environment->tempPath() + "/velmora";
    FileList list;
    QSignalSpy refused(&list, &FileList::refused);
    const QString original = file("a.txt", "user's bytes");
    list.add({original});
    list.rename(original, "b.txt");

    QCOMPARE(list.paths(), QStringList{folder + "/b.txt"});
    QCOMPARE(readFile(folder + "/b.txt"), QByteArray("user's bytes"));
#ifdef Q_OS_UNIX
    // On a shared temporary folder no other user may look in.
    QCOMPARE(QFileInfo(folder).permissions() & 0x0077, QFile::Permissions());
#endif

    // The user's name is free again; the new one is taken, also from
    // another folder.
    const QString other = file("elsewhere/other.txt");
    list.add({original, original, file("elsewhere/b.txt"), other});
    QCOMPARE(firstLines(refused), QStringList{existsText});

    // A second name replaces our first copy; the user's file stays as it was.
    list.rename(folder + "/b.txt", "c.txt");
    QCOMPARE(list.paths(), (QStringList{folder + "/c.txt", original, other}));
    QCOMPARE(copiesIn(folder), QStringList{"c.txt"});
    QCOMPARE(readFile(original), QByteArray("user's bytes"));

    // A rebuild reads each file again; the copy is still known as ours.
    writeFile(original, QByteArray(4096, 'x'));
    list.remove(other);
    QCOMPARE(list.entry(original)->bytes, 4096);
    list.rename(folder + "/c.txt", "d.txt");
    QCOMPARE(copiesIn(folder), QStringList{"d.txt"});

    // After a success only our copies go: not an archive the user chose to
    // save in the folder, nor someone else's file.
    writeFile(folder + "/archive.7z", "archive");
    writeFile(folder + "/foreign.txt", "not ours");
    StagingFolder::ofThisProgram().tidyUp();
    QCOMPARE(entriesOf(folder), (QStringList{"archive.7z", "foreign.txt"}));
}

void TestFileList::refusalSaysWhichAndWhy_data()
{
    QTest::addColumn<QStringList>("listed");   // name:megabytes, listed first
    QTest::addColumn<QStringList>("added");    // in one addition
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QStringList>("named");    // what the message must hold: paths, or text as is
    QTest::addColumn<int>("messages");
    QTest::newRow("a name listed from another folder")
        << QStringList{"A/report.txt:1"} << QStringList{"B/report.txt:1"} << existsText
        << QStringList{"@B/report.txt", "@A/report.txt"} << 1;
    // 167 MB three times: the third is left out, and 166 MB is what is left.
    QTest::newRow("the third of three large files")
        << QStringList() << QStringList{"a.bin:167", "b.bin:167", "c.bin:167"} << exceededText
        << QStringList{"@c.bin", "166.00 MB", "a.bin", "b.bin"} << 1;
    QStringList many, manyListed;
    for (int i = 0; i < 12; ++i) {
        manyListed << QStringLiteral("A/f%1.txt:1").arg(i, 2, 10, QLatin1Char('0'));
        many << QStringLiteral("B/f%1.txt:1").arg(i, 2, 10, QLatin1Char('0'));
    }
    many << "B/new1.txt:1" << "B/new2.txt:1" << "B/new3.txt:1";
    QTest::newRow("twelve names taken in one addition")
        << manyListed << many << existsText
        << QStringList{"@B/f00.txt", "@A/f00.txt", "@B/f04.txt", "@A/f04.txt", "and 7 more", "3 files", "new1.txt"} << 1;
}

// One message for one addition, however many files it leaves out: its
// first line the list's own, then which files and why.
void TestFileList::refusalSaysWhichAndWhy()
{
    QFETCH(QStringList, listed);
    QFETCH(QStringList, added);
    QFETCH(QString, firstLine);
    QFETCH(QStringList, named);
    QFETCH(int, messages);
    const auto make = [this](const QStringList &items) {
        QStringList paths;
        for (const QString &item : items)
            paths << makeSparseFile(environment->root() + '/' + item.section(':', 0, 0),
                                    item.section(':', 1).toLongLong() << 20);
        return paths;
    };
    FileList list;
    list.add(make(listed));
    QSignalSpy refused(&list, &FileList::refused);
    QSignalSpy exceeded(&list, &FileList::sizeExceeded);
    list.add(make(added));
    const QList<QList<QVariant>> told = refused + exceeded;
    QCOMPARE(told.size(), messages);
    QCOMPARE(firstLines(told), QStringList{firstLine});
    const QString message = told.first().first().toString();
    for (const QString &item : named) {
        const QString expected = item.startsWith('@') ? QDir::toNativeSeparators(environment->root() + '/' + item.mid(1))
                                                      : item;
        QVERIFY2(message.contains(expected), qPrintable(expected + " in: " + message));
    }
}

void TestFileList::changeQueuedDuringRenameFollowsTheFile_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("Remove clicked during the copy") << "remove" << QStringList();
    QTest::newRow("another name asked for during the copy") << "rename c.txt" << QStringList{"c.txt"};
}

// The change was asked for against the file, not against the path it had:
// it meets the file under the path the rename gave it.
void TestFileList::changeQueuedDuringRenameFollowsTheFile()
{
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, listed);
    const QString original = file("a.txt", QByteArray(1 << 20, 'a'));
    FileList list;
    list.add({original});
    HeldWorkers held;
    whileHeld(held, [&] {
        if (meanwhile == "remove")
            list.remove(original);
        else
            list.rename(original, meanwhile.section(' ', 1));
    });
    list.rename(original, "b.txt");
    QTRY_VERIFY(held.released);
    QTRY_VERIFY(!list.isBusy());
    QCOMPARE(namesOf(list.paths()), listed);
}

void TestFileList::folderIsWalkedOncePerAddition()
{
    const QString root = environment->root();
    writeFile(root + "/pics/deeper/a.txt", QByteArray(1000, 'a'));
    const QString other = writeFile(root + "/other.txt", "x");
    const QString gone = writeFile(root + "/gone.txt", "x");
    if (!setModified(root + "/pics", QDateTime::currentSecsSinceEpoch() - 3600))
        QSKIP("needs a way to set a folder's time");
    FileList list;
    list.add({root + "/pics", other, gone});

    // Deeper down: the folder's own time stays, the rebuild keeps its figure.
    writeFile(root + "/pics/deeper/b.txt", QByteArray(2000, 'b'));
    list.remove(gone);
    QCOMPARE(list.entry(root + "/pics")->bytes, 1000);

    // Right inside: the folder's time moves and the rebuild walks it again.
    writeFile(root + "/pics/c.txt", QByteArray(4000, 'c'));
    list.remove(other);
    QCOMPARE(list.entry(root + "/pics")->bytes, 7000);
}

// The wait may end from outside (the program quitting) while the worker
// runs on: it must still have everything it uses.
void TestFileList::exitDuringWorkLeavesTheWorkerItsOwn()
{
    HeldWorkers held;
    BackgroundWork work;
    auto data = std::make_shared<QString>("the worker's");
    const std::weak_ptr<QString> watched = data;
    auto seen = std::make_shared<QString>();
    bool finished = true;
    QTimer::singleShot(0, &work, [&work, &finished, data, seen] {
        finished = work.run(QStringLiteral("Copying..."), QString(), [data, seen](BackgroundWork::Progress &progress) {
            progress.pauseForTests();
            *seen = *data;
        });
    });
    data.reset();
    whileHeld(held, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();

    QVERIFY(!finished);
    QTRY_VERIFY(watched.expired());
    QCOMPARE(*seen, QStringLiteral("the worker's"));
}

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
