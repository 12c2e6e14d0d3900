#include "app/ArchiveJob.h"
#include "filelist/BackgroundWork.h"
#include "filelist/FileList.h"
#include "filelist/FileWidget.h"
#include "filelist/SingleFileWidget.h"
#include "filelist/StagingFolder.h"
#include "support/TestSupport.h"
#include "ui/ProgressDialog.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QImageReader>
#include <QLockFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSemaphore>
#include <QToolButton>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/time.h>
#include <ctime>
#include <unistd.h>
#endif

#include <memory>

using namespace TestSupport;
using System = FileNames::System;

namespace {

const QString existsText = QStringLiteral("The file with the name you provided exists");
const QString renameExistsText = existsText + QStringLiteral(", Please choose another name");
const QString invalidText = QStringLiteral("The file name you provided is not valid, Please choose another name");
const QString copyFailedText = QStringLiteral("The file could not be copied under the new name");

// The whole test runs scaled as on a 200 % screen, unless the caller chose
// a scale: set before QTEST_MAIN makes the application.
const bool scaled = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") || qputenv("QT_SCALE_FACTOR", "2");

QStringList texts(const QSignalSpy &spy)
{
    QStringList all;
    for (const QList<QVariant> &signal : spy)
        all << signal.at(0).toString();
    return all;
}

QStringList namesOf(const QStringList &paths)
{
    QStringList names;
    for (const QString &path : paths)
        names << QFileInfo(path).fileName();
    return names;
}

// What lies in the staging folder but the list of our copies kept there.
QStringList copiesIn(const QString &folder)
{
    QStringList entries = entriesOf(folder);
    entries.removeAll(QStringLiteral(".brimlet-copies"));
    return entries;
}

QList<SingleFileWidget *> listedRows(FileWidget &list)
{
    auto *grid = list.findChild<QGridLayout *>();
    QList<SingleFileWidget *> rows;
    for (int i = 0; i < grid->count(); ++i)
        rows << qobject_cast<SingleFileWidget *>(grid->itemAt(i)->widget());
    return rows;
}

SingleFileWidget *rowNamed(FileWidget &list, const QString &name)
{
    for (SingleFileWidget *row : listedRows(list)) {
        if (row->getName() == name)
            return row;
    }
    return nullptr;
}

QPoint cellOf(FileWidget &list, SingleFileWidget *row)
{
    auto *grid = list.findChild<QGridLayout *>();
    int r = -1, c = -1, rs = 0, cs = 0;
    grid->getItemPosition(grid->indexOf(row), &r, &c, &rs, &cs);
    return QPoint(c, r);
}

QString sizeTextOf(SingleFileWidget *row)
{
    return row->findChild<QLabel *>(QStringLiteral("fileSizeLabel"))->text();
}

QPixmap pictureOf(SingleFileWidget *row)
{
    for (QLabel *label : row->findChildren<QLabel *>()) {
        if (!label->pixmap().isNull())
            return label->pixmap();
    }
    return QPixmap();
}

// As a drag from another application ends: entered, then dropped.
void drop(FileWidget &list, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &enter);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &event);
}

// Holds the next worker where it may pause (a copy with its target open, a
// walk before it starts) until released, as a stuck read would.
class HeldWorkers
{
public:
    // Owns what waits for the workers, so that nothing outlives this.
    QObject context;

    HeldWorkers()
    {
        BackgroundWork::setPauseForTests([this] {
            if (holds.fetchAndSubOrdered(1) <= 0)
                return;
            arrived.release();
            gate.acquire();
        });
    }
    ~HeldWorkers()
    {
        gate.release(100);
        BackgroundWork::setPauseForTests({});
    }
    // Whether a worker has reached its pause; asked from the GUI thread.
    bool oneArrived() { return arrived.tryAcquire(); }
    void release()
    {
        released = true;
        gate.release();
    }
    bool released = false;

private:
    QAtomicInt holds = 1;
    QSemaphore arrived;
    QSemaphore gate;
};

// Runs action from the event loop that the list keeps going while a held
// worker waits, once a worker has arrived; then lets the worker go on.
void whileHeld(HeldWorkers &held, std::function<void()> action)
{
    QObject *context = &held.context;
    auto *ticker = new QTimer(context);
    QObject::connect(ticker, &QTimer::timeout, ticker, [&held, ticker, context, action] {
        if (!held.oneArrived())
            return;
        ticker->stop();
        ticker->deleteLater();
        action();
        // Posted after whatever action posted, so it comes after that.
        QMetaObject::invokeMethod(context, [&held] { held.release(); }, Qt::QueuedConnection);
    });
    ticker->start(5);
}

#ifdef Q_OS_UNIX
bool setModified(const QString &path, qint64 secondsSinceEpoch)
{
    const timeval then{time_t(secondsSinceEpoch), 0};
    const timeval times[2] = {then, then};
    return ::utimes(QFile::encodeName(path).constData(), times) == 0;
}

// The bytes 7-Zip packs into a new archive of the paths, or -1 when it fails the run.
qint64 archivedBytes(const QString &archive, const QStringList &paths)
{
    QByteArray listing;
    if (!runProgram(sevenZip(), ArchiveJob::arguments(archive, paths)) || !runProgram(sevenZip(), {"l", archive}, &listing))
        return -1;
    static const QRegularExpression summary(QStringLiteral("^\\S+ \\S+\\s+(\\d+)\\s+\\d+\\s+\\d+ files"),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = summary.match(QString::fromUtf8(listing));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}
#else
bool setModified(const QString &path, qint64 secondsSinceEpoch)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite)
        && file.setFileTime(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch), QFileDevice::FileModificationTime);
}
#endif

} // namespace

// The list's rules without a window, then the list as the window shows it.
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
    void copyIsTheFileUnderAnotherName();
    void stagingFolderChoice_data();
    void stagingFolderChoice();
    void everyNameTakenBySomeoneElse();
    void deadCopiesAreTidiedAfter();
    void folderWeighsWhatTheArchiveHolds_data();
    void folderWeighsWhatTheArchiveHolds();
    void folderIsWalkedOncePerAddition();
    void changesWaitForDiskWork_data();
    void changesWaitForDiskWork();
    void cancelGivesControlBackAtOnce_data();
    void cancelGivesControlBackAtOnce();
    void exitDuringWorkLeavesTheWorkerItsOwn();

    void rowSizeText_data();
    void rowSizeText();
    void typePicture_data();
    void typePicture();
    void removal_data();
    void removal();
    void dropIsAddedJustAfter();
    void rowsInGridAndScrolling();

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
    QCOMPARE(exceeded.size(), names.size() - listed.size());
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
    QCOMPARE(texts(refused), QStringList(refusals, existsText));
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
    QTest::newRow("folder") << posix << "folder" << "b2" << copyFailedText << false;
    QTest::newRow("listed name") << posix << "" << "b.txt" << renameExistsText << false;
    QTest::newRow("listed name in other case, Linux") << posix << "" << "B.txt" << "" << true;
    QTest::newRow("listed name in other case, Windows") << windows << "" << "B.TXT" << renameExistsText << false;
    QTest::newRow("listed name in other case, macOS") << mac << "" << "B.txt" << renameExistsText << false;
    QTest::newRow("own name in other case, Windows") << windows << "" << "A.txt" << "" << true;
    for (const char *name : {"../escaped.txt", "..\\escaped.txt", ".", ".."})
        QTest::addRow("everywhere: %s", name) << posix << "" << name << invalidText << false;
    for (const char *name : {"a:b", "all*", "tab\there", "trailing.", "trailing ", "nul", "aux.txt", "LPT9", "com\u00B9"})
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
    QCOMPARE(texts(refused), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(list.paths().contains(original), !renamed);
    if (renamed)
        QVERIFY(list.paths().contains(StagingFolder::path() + '/' + answer));
    // No copy, nor part of one: "." and ".." name folders, not copies.
    QCOMPARE(copiesIn(StagingFolder::path()), renamed ? QStringList{answer} : QStringList());
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
    QCOMPARE(texts(refused), (QStringList{existsText, existsText}));

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
    StagingFolder::remove();
    QCOMPARE(entriesOf(folder), (QStringList{"archive.7z", "foreign.txt"}));
}

// The copy carries the user's file into the archive under another name, and
// nothing else changes: its date is the file's, and it can always be
// removed again, a read-only source's copy too; a file in the staging folder
// that is not ours is never replaced.
void TestFileList::copyIsTheFileUnderAnotherName()
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
    StagingFolder::remove();
    QCOMPARE(entriesOf(folder), QStringList{"keep.7z"});
    QVERIFY(QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner));
}

void TestFileList::stagingFolderChoice_data()
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
void TestFileList::stagingFolderChoice()
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
    StagingFolder::remove();
    QVERIFY(!QFileInfo::exists(QFileInfo(copy).absolutePath()));
    if (ours != "velmora")
        QCOMPARE(readFile(shared + "/report.txt"), QByteArray("theirs"));
}

// Another user on a shared temporary folder can hold every name the
// program would try; a rename still works, in a folder nobody can guess.
void TestFileList::everyNameTakenBySomeoneElse()
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
    StagingFolder::remove();
    QVERIFY(!QFileInfo::exists(QFileInfo(copy).path()));
    QCOMPARE(readFile(base + "/theirs.txt"), QByteArray("theirs"));
}

// What a copy of the program that died left is removed by the next one; a
// live copy's folder, and what nobody listed as a copy, stay.
void TestFileList::deadCopiesAreTidiedAfter()
{
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
    }
    // Its lock as a process that died leaves it.
    writeFile(temp + "/velmora-2.lock", "2147483600\nbrimlet\n\n");

    StagingFolder::removeWhatDeadCopiesLeft(temp);
    QCOMPARE(entriesOf(temp + "/velmora-2"), QStringList{"keep.7z"});
    QVERIFY(!QFileInfo::exists(temp + "/velmora-2.lock"));
    QCOMPARE(copiesIn(temp + "/velmora"), QStringList{"mine-renamed.txt"});
}

void TestFileList::folderWeighsWhatTheArchiveHolds_data()
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

void TestFileList::folderWeighsWhatTheArchiveHolds()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, link);
    QFETCH(QString, target);
    QFETCH(qint64, listed);
    QFETCH(qint64, archived);
    if (sevenZip().isEmpty())
        QSKIP("7zz (Debian package 7zip) is not installed");
    const QString folder = environment->root() + "/folder";
    file("folder/a.txt", "hello\n");
    file("outside/big.bin", QByteArray(1000, 'b'));
    file("outside/tree/x", QByteArray(300, 'x'));
    file("outside/tree/sub/y", QByteArray(200, 'y'));
    QDir().mkpath(QFileInfo(folder + '/' + link).absolutePath());
    QVERIFY(QFile::link(target, folder + '/' + link));

    FileList list;
    list.add({folder});
    QCOMPARE(qRound64(double(list.total()) * 1024 * 1024), listed);
    QCOMPARE(archivedBytes(environment->root() + "/folder.zip", {folder}), archived);
#else
    QSKIP("Symbolic links as 7-Zip follows them on Linux");
#endif
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

void TestFileList::changesWaitForDiskWork_data()
{
    QTest::addColumn<QString>("slow");     // what runs on a held worker
    QTest::addColumn<QString>("meanwhile"); // what arrives while it waits
    QTest::addColumn<QStringList>("listed"); // names, in key order
    QTest::addColumn<QStringList>("refused");
    QTest::newRow("drop during a rename copy") << "rename a.txt to first.txt" << "drop other/first.txt"
                                               << QStringList{"first.txt"} << QStringList{existsText};
    QTest::newRow("same-named folders dropped back to back") << "drop A/Photos" << "drop B/Photos"
                                                             << QStringList{"Photos"} << QStringList{existsText};
    QTest::newRow("drop during a folder walk") << "drop A/Photos" << "drop c.txt"
                                               << QStringList{"Photos", "c.txt"} << QStringList();
    QTest::newRow("removal during a folder walk") << "drop A/Photos" << "remove a.txt"
                                                  << QStringList{"Photos"} << QStringList();
}

// Whatever arrives while the list waits for a worker (the event loop runs
// meanwhile) waits in turn and then meets the list as the first change left it.
void TestFileList::changesWaitForDiskWork()
{
    QFETCH(QString, slow);
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, refused);
    const QString a = file("a.txt");
    file("A/Photos/1.jpg");
    file("B/Photos/2.jpg");
    file("other/first.txt");
    file("c.txt");
    FileWidget list;
    list.addFile(a);
    QSignalSpy refusals(&list, &FileWidget::refused);
    HeldWorkers held;
    const QString path = environment->root() + '/' + meanwhile.section(' ', 1);
    whileHeld(held, [&] {
        if (meanwhile.startsWith("drop"))
            drop(list, {QUrl::fromLocalFile(path)});
        else
            rowNamed(list, "a.txt")->findChild<QToolButton *>()->click();
        // Nothing of it yet: the list is in the middle of a change.
        QCOMPARE(list.getFiles(), QStringList{a});
    });

    if (slow.startsWith("rename")) {
        list.fileList()->rename(a, "first.txt");
    } else {
        drop(list, {QUrl::fromLocalFile(environment->root() + '/' + slow.section(' ', 1))});
    }
    QTRY_VERIFY(held.released);
    QTRY_VERIFY(!list.fileList()->isBusy());

    QStringList names;
    for (const QString &listedPath : list.getFiles())
        names << QFileInfo(listedPath).fileName();
    names.removeAll("a.txt");
    QCOMPARE(names, listed);
    QCOMPARE(texts(refusals), refused);
    QCOMPARE(listedRows(list).size(), list.getFiles().size());
}

void TestFileList::cancelGivesControlBackAtOnce_data()
{
    QTest::addColumn<QString>("work");
    QTest::newRow("a copy stuck in a read") << "copy";
    QTest::newRow("a walk stuck in a folder") << "walk";
}

// The user's Cancel is answered at once, even by a worker that does not
// return; what the worker made it removes itself when it does.
void TestFileList::cancelGivesControlBackAtOnce()
{
    QFETCH(QString, work);
    const QString source = file("a.txt", QByteArray(3 << 20, 'a'));
    const QString folder = QFileInfo(file("Photos/1.jpg")).absolutePath();
    FileWidget list;
    list.show();
    if (work == "copy")
        list.addFile(source);
    HeldWorkers held;
    QElapsedTimer sinceCancel;
    QString detail;
    bool programsOwn = false;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<ProgressDialog *>(QApplication::activeModalWidget());
        if (!dialog || sinceCancel.isValid())
            return;
        // The program's own dialog, naming what it works on.
        detail = dialog->detail();
        programsOwn = (dialog->windowFlags() & Qt::FramelessWindowHint)
                      && !(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        sinceCancel.start();
        dialog->findChild<QPushButton *>()->click();
    });
    ticker.start(10);

    if (work == "copy")
        list.fileList()->rename(source, "b.txt");
    else
        list.addFile(folder);
    QVERIFY(sinceCancel.isValid());
    QCOMPARE_LT(sinceCancel.elapsed(), 1000);
    QVERIFY(programsOwn);
    QCOMPARE(detail, QDir::toNativeSeparators(work == "copy" ? source : folder));
    QCOMPARE(list.getFiles(), work == "copy" ? QStringList{source} : QStringList());
    QTRY_VERIFY(!QApplication::activeModalWidget());

    // The worker comes back on its own and leaves nothing behind.
    held.release();
    QTRY_COMPARE(copiesIn(StagingFolder::path()), QStringList());
    QCOMPARE(readFile(source).size(), 3 << 20);
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

void TestFileList::rowSizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shownName");
    QTest::newRow("empty, long name") << qint64(0) << "holiday_pictures_from_the_summer_of_2023.zip" << "1KB" << "holid...3.zip";
    QTest::newRow("one KiB counts one more") << qint64(1024) << "f.bin" << "2KB" << "f.bin";
    QTest::newRow("smallest MB") << qint64(1047552) << "f.bin" << "1MB" << "f.bin";
    QTest::newRow("two decimals") << qint64(12950000) << "f.bin" << "12.35MB" << "f.bin";
}

void TestFileList::rowSizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, shownName);
    SingleFileWidget row(environment->root() + '/' + name, name, bytes, false);
    QCOMPARE(sizeTextOf(&row), text);
    QCOMPARE(row.findChild<QPushButton *>()->text(), shownName);
}

void TestFileList::typePicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("drawing");
    QTest::newRow("pdf") << "a.pdf" << ":/qrc/file-pdf.svg";
    QTest::newRow("upper-case PDF is not") << "Report.PDF" << "";
    QTest::newRow("folder") << "folder/" << "";
}

// Scaled (see the top): every picture must come with the window's pixel
// ratio, at its own size.
void TestFileList::typePicture()
{
    QFETCH(QString, name);
    QFETCH(QString, drawing);
    const QString path = name.endsWith('/') ? QFileInfo(file(name + "inside")).absolutePath() : file(name);
    FileWidget list;
    list.show();
    list.addFile(path);
    const QPixmap shown = pictureOf(listedRows(list).value(0));
    QCOMPARE(shown.devicePixelRatio(), qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    const QSizeF size = shown.deviceIndependentSize();
    if (drawing.isEmpty()) {
        // Fitted into the glyphs' 22 x 30, not a quarter of it.
        QVERIFY(size.width() <= 22 && size.height() <= 30 && (size.width() == 22 || size.height() == 30));
        return;
    }
    QImageReader reader(drawing);
    QCOMPARE(size, QSizeF(reader.size()));
    reader.setScaledSize(shown.size());
    QImage expected = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    expected.setDevicePixelRatio(shown.devicePixelRatio());
    QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied), expected);
}

void TestFileList::removal_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("removed"); // empty: the whole list is emptied
    QTest::addColumn<QStringList>("emitted"); // sizes in KiB and destination names
    QTest::addColumn<QStringList>("remaining"); // in cell order
    // Added out of key order; upper case sorts before lower case.
    QTest::newRow("third of five") << QStringList{"d.txt", "b.txt", "C.txt", "a.txt", "e.txt"} << "b.txt"
                                   << QStringList{"0", "C.txt", "1", "2", "3", "4"}
                                   << QStringList{"C.txt", "a.txt", "d.txt", "e.txt"};
    QTest::newRow("the only one") << QStringList{"only.txt"} << "only.txt" << QStringList{"0"} << QStringList();
    QTest::newRow("emptied") << QStringList{"a.txt", "b.txt"} << "" << QStringList{"0"} << QStringList();
    QTest::newRow("emptied when empty") << QStringList() << "" << QStringList{"0"} << QStringList();
}

void TestFileList::removal()
{
    QFETCH(QStringList, names);
    QFETCH(QString, removed);
    QFETCH(QStringList, emitted);
    QFETCH(QStringList, remaining);
    FileWidget list;
    for (const QString &name : names)
        list.addFile(file(name, QByteArray(1024, 'x')));
    QStringList log;
    connect(&list, &FileWidget::sizeChanged, [&log](float size) { log << QString::number(size * 1024); });
    connect(&list, &FileWidget::initDestinationPath, [&log](const QString &path) { log << QFileInfo(path).fileName(); });
    if (removed.isEmpty())
        list.removeAllFiles();
    else
        rowNamed(list, removed)->findChild<QToolButton *>()->click();
    QCOMPARE(log, emitted);
    QCOMPARE(listedRows(list).size(), remaining.size());
    for (int i = 0; i < remaining.size(); ++i)
        QCOMPARE(cellOf(list, rowNamed(list, remaining[i])), QPoint(i, 0));
    // Its name is free again.
    const QString freed = removed.isEmpty() ? names.value(0) : removed;
    if (!freed.isEmpty()) {
        list.addFile(environment->root() + '/' + freed);
        QVERIFY(rowNamed(list, freed));
    }
}

void TestFileList::dropIsAddedJustAfter()
{
    const QString root = environment->root();
    file("pics/a.txt", QByteArray(1000, 'a'));
    file("pics/deeper/b.txt", QByteArray(2000, 'b'));
    const QString notes = file("notes.txt");
    const QString huge = makeSparseFile(root + "/huge.bin", 600 << 20);

    FileWidget list;
    QStringList log;
    connect(&list, &FileWidget::initDestinationPath, [&log](const QString &path) { log << "init " + path; });
    connect(&list, &FileWidget::sizeChanged, [&log](float) { log << "size"; });
    QSignalSpy exceeded(&list, &FileWidget::sizeExceeded);
    QMimeData data;
    data.setUrls({QUrl("https://example.com/page"), QUrl::fromLocalFile(root + "/pics/"),
                  QUrl::fromLocalFile(notes), QUrl::fromLocalFile(huge)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &dropped);

    // The source application is released before any file is looked at.
    QVERIFY(dropped.isAccepted());
    QVERIFY(log.isEmpty());
    QTRY_COMPARE(log, (QStringList{"init " + root + "/pics", "size", "init " + notes, "size", "init " + huge}));
    QCOMPARE(exceeded.size(), 1);
    QCOMPARE(rowNamed(list, "pics")->getSize(), 3000.0f / 1024 / 1024);

#ifdef Q_OS_WIN
    // A shortcut is packed as the small file it is, not what it points to.
    QVERIFY(QFile::link(huge, root + "/pics/deeper/link.lnk"));
    list.updateFiles();
    QCOMPARE(exceeded.size(), 1);
    QVERIFY(rowNamed(list, "pics")->getSize() < 1.0f);
#endif

    QMimeData text;
    text.setText("plain");
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &refused);
    QVERIFY(!refused.isAccepted());

    // Qt hands a drag to the nearest widget that accepts drops; none below the list may.
    for (QWidget *child : list.findChildren<QWidget *>())
        QVERIFY2(!child->acceptDrops(), child->metaObject()->className());
}

void TestFileList::rowsInGridAndScrolling()
{
    FileWidget list;
    list.resize(900, 273);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QStringList paths;
    for (int i = 0; i < 30; ++i)
        paths << file(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')));
    list.addFiles(paths);
    list.removeFile(paths.at(3));
    QCOMPARE(cellOf(list, rowNamed(list, "f08.txt")), QPoint(0, 1));
    QCOMPARE(cellOf(list, rowNamed(list, "f15.txt")), QPoint(0, 2));
    const QList<SingleFileWidget *> rows = listedRows(list);
    for (int i = 0; i < rows.size(); ++i) {
        QTRY_VERIFY(rows[i]->isVisible());
        for (int j = i + 1; j < rows.size(); ++j)
            QVERIFY(!rows[i]->geometry().intersects(rows[j]->geometry()));
    }
    auto *scroll = list.findChild<QScrollArea *>();
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    QVERIFY(scroll->geometry().bottom() < 273);

    // Rows placed in a change are back in sight after it, and before any
    // message that the change gives.
    bool rowsShownDuringMessage = false;
    connect(&list, &FileWidget::refused, [&] { rowsShownDuringMessage = listedRows(list).last()->isVisible(); });
    list.addFiles({file("g1.txt"), file("f01.txt"), file("g2.txt")});
    QVERIFY(rowsShownDuringMessage);
    for (SingleFileWidget *row : listedRows(list))
        QVERIFY(row->isVisible());
}

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
