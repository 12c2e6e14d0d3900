#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

namespace TestSupport {

// Points TMPDIR and HOME at fresh folders of a private temporary folder for
// as long as it lives, so that tests never touch the machine's own staging
// or documents folder. Also switches QStandardPaths to its test mode.
class IsolatedEnvironment
{
public:
    IsolatedEnvironment();
    ~IsolatedEnvironment();

    bool isValid() const { return dir.isValid(); }
    QString root() const { return dir.path() + QStringLiteral("/work"); } // for the test's own files
    QString tempPath() const { return dir.path() + QStringLiteral("/tmp"); } // what QDir::tempPath() answers
    QString homePath() const { return dir.path() + QStringLiteral("/home"); }

private:
    void apply() const;

    QTemporaryDir dir;
};

// Writes content to path (creating folders); returns the path.
QString writeFile(const QString &path, const QByteArray &content);
// Makes a sparse file of the given size; returns the path or an empty string.
QString makeSparseFile(const QString &path, qint64 size);
// The content of a file, empty when it cannot be read.
QByteArray readFile(const QString &path);
// The names in a folder, hidden ones too, sorted; empty when there is no folder.
QStringList entriesOf(const QString &folder);
// Every file under root: its path relative to root, and its content.
QMap<QString, QByteArray> filesUnder(const QString &root);
// What lies in a staging folder: the copies, and files the user put there.
QStringList copiesIn(const QString &stagingFolder);
// Sets a file's or folder's modification time; false when that fails.
bool setModified(const QString &path, qint64 secondsSinceEpoch);
// The first argument of each signal a spy caught, as text.
QStringList signalTexts(const QList<QList<QVariant>> &caught);
// The first line of each message a spy caught: the program's own text,
// which the lines after it explain.
QStringList firstLines(const QList<QList<QVariant>> &caught);
// Runs a program to its end; true when it exited with 0. Its output goes to *out.
bool runProgram(const QString &program, const QStringList &args, QByteArray *out = nullptr);
// Debian's 7-Zip, or an empty string when it is not installed.
QString sevenZip();
// True when no process of this id runs any more (a zombie counts as ended).
bool processEnded(qint64 pid);

// Stands in for the desktop's browser and file manager: register it with
// QDesktopServices::setUrlHandler(scheme, &catcher, "open").
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

// The stand-in archiver built with the tests (tests/fakearchiver), with its
// orders in force for as long as this lives: "write;exit=1" sets
// FAKE_ARCHIVER_WRITE=1 and FAKE_ARCHIVER_EXIT=1.
class FakeArchiver
{
public:
    explicit FakeArchiver(const QString &orders = QString());
    ~FakeArchiver();

    static QString program();

private:
    QList<QByteArray> names;
};

} // namespace TestSupport
