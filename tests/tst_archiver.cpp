#include "app/ArchiverOutput.h"

#include <QFile>
#include <QTest>

namespace {

QByteArray recorded(const QString &name)
{
    QFile file(QFINDTESTDATA(QStringLiteral("data/archiver/") + name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing recorded output %s", qPrintable(name));
    return file.readAll();
}

} // namespace

// What 7-Zip prints, read from recorded output (data/archiver/): no
// archiver runs here.
class TestArchiver : public QObject
{
    Q_OBJECT

private slots:
    void judgesOutput_data();
    void judgesOutput();
    void readsProgressInAnyPieces();
    void readsTheFileBeingPacked();
    void namesTheFileItFailedOn_data();
    void namesTheFileItFailedOn();
};

void TestArchiver::judgesOutput_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("archiveExists");
    QTest::addColumn<bool>("expected");

    // A vanished input only warns: the archive lacks it and must not count.
    QTest::newRow("missing input, archive written") << recorded("missing.out") << 1 << true << false;
    QTest::newRow("marker, error exit, no archive") << QByteArray("Everything is Ok\n") << 2 << false << false;
    QTest::newRow("marker after erased progress") << QByteArray(" 99%\b\b\b\b    \b\b\b\bEverything is Ok\n") << 3 << true << true;
    QTest::newRow("marker redrawn with CR, CRLF ends") << QByteArray(" 99%\rEverything is Ok\r\n") << 3 << true << true;
    QTest::newRow("marker inside a file name") << QByteArray("  5% + Everything is Ok.txt\n") << 2 << true << false;
    QTest::newRow("clean exit, no archive") << QByteArray() << 0 << false << false;
}

void TestArchiver::judgesOutput()
{
    QFETCH(QByteArray, out);
    QFETCH(int, exitCode);
    QFETCH(bool, archiveExists);
    QFETCH(bool, expected);
    QCOMPARE(ArchiverOutput::succeeded(out, exitCode, archiveExists), expected);
}

void TestArchiver::readsProgressInAnyPieces()
{
    const QByteArray output = recorded(QStringLiteral("progress.out"));
    for (int pieceSize : {1, 7, 1024}) {
        ArchiverOutput reader;
        QList<int> seen;
        for (qsizetype at = 0; at < output.size(); at += pieceSize) {
            if (reader.read(output.mid(at, pieceSize)) && (seen.isEmpty() || seen.last() != reader.percent()))
                seen << reader.percent();
        }
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(seen.size() >= 2 ? seen.last() : -1, 99);
    }
}

void TestArchiver::readsTheFileBeingPacked()
{
    const QByteArray output = recorded(QStringLiteral("files.out"));
    for (int pieceSize : {1, 7, 1024}) {
        ArchiverOutput reader;
        QStringList seen;
        for (qsizetype at = 0; at < output.size(); at += pieceSize) {
            if (reader.read(output.mid(at, pieceSize)) && !reader.file().isEmpty()
                && (seen.isEmpty() || seen.last() != reader.file()))
                seen << reader.file();
        }
        QCOMPARE(seen, (QStringList{"in/a.bin", "in/b c.bin", "in/d.bin"}));
    }
}

void TestArchiver::namesTheFileItFailedOn_data()
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

void TestArchiver::namesTheFileItFailedOn()
{
    QFETCH(QByteArray, out);
    QFETCH(QStringList, paths);
    QFETCH(QString, expected);
    QCOMPARE(ArchiverOutput::failedFileIn(out, paths), expected);
}

QTEST_APPLESS_MAIN(TestArchiver)
#include "tst_archiver.moc"
