#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>

// Runs the archiver for one archive without blocking: starts it, reads its
// output as it comes (the percentage it prints), stops it on request and
// gives the verdict. It knows nothing of windows; the main window shows what
// it reports.
class ArchiveJob : public QObject
{
    Q_OBJECT

public:
    enum class Outcome { Succeeded, Failed, Cancelled };
    Q_ENUM(Outcome)

    explicit ArchiveJob(QObject *parent = nullptr);
    ~ArchiveJob() override;

    // The archiver's command line for packing exactly these paths; with a
    // list file the paths are read from it instead, but for those it cannot
    // hold (fitsListFile).
    static QStringList arguments(const QString &archive, const QStringList &paths,
                                 const QString &listFile = QString());
    // Whether the paths go on the command line or, when they would make it
    // too long for the system, into a list file.
    static bool needsListFile(const QString &archive, const QStringList &paths);
    static bool fitsListFile(const QString &path);
    // A path's line in a list file, read back by the archiver exactly.
    static QByteArray listFileLine(const QString &path);
    // What has gone or cannot be read, a listed folder's content included,
    // named as the user knows it: a listed file by its name, anything inside
    // a listed folder from that folder's name on. Packing it would fail.
    // Stops early, with what it found so far, once *cancelled turns true.
    static QStringList unusableNames(const QStringList &paths, const std::atomic_bool *cancelled = nullptr);
    // The verdict on an archiver that exited normally.
    static Outcome judge(const QByteArray &standardOutput, int exitCode, bool archiveExists);
    // The file the archiver's output names as the one it failed on: a listed
    // path, or one inside a listed folder, as the archiver wrote it. Empty
    // when the output names none.
    static QString failedFileIn(const QByteArray &standardOutput, const QStringList &paths);

    void start(const QString &program, const QString &archive, const QStringList &paths);
    bool isRunning() const;
    int percent() const;
    // Everything the archiver wrote in its last run (its errors included).
    const QByteArray &output() const;

    // Standard output as it arrives, in pieces of any size.
    void consumeOutput(const QByteArray &chunk);

public slots:
    // Kills the archiver at once: a cancelled archive is discarded anyway,
    // and a console program on Windows ignores a polite request to stop.
    void cancel();
    // Kills the archiver and waits for it: for when the program is ending.
    void stopNow();

signals:
    void progressChanged(int percent);
    // The file the archiver is packing now, as it names it (it shortens a
    // long path itself).
    void fileChanged(QString name);
    void finished(ArchiveJob::Outcome outcome);

private:
    bool writeListFile(const QStringList &paths);
    void removeListFile();
    void readStandardOutput();
    void onProcessFinished(int exitCode, QProcess::ExitStatus status);
    void onProcessError(QProcess::ProcessError error);
    static int percentIn(const QByteArray &segment, int otherwise);
    static QString fileIn(const QByteArray &segment, const QString &otherwise);
    void finish(Outcome outcome);

    QProcess *process = nullptr;
    QString listFilePath;
    QString archive;
    bool archiveExisted = false;
    bool running = false;
    bool cancelRequested = false;
    int currentPercent = 0;
    QString currentFile;
    QByteArray standardOutput;
    QByteArray pendingSegment;
};
