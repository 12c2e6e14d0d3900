#pragma once

#include "app/ArchiverOutput.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

class PrivateFolder;

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

    void start(const QString &program, const QString &archive, const QStringList &paths);
    // Writes the archive, named archiveName, into folder, which the archiver
    // reaches through its handle where the system allows (see
    // PrivateFolder), and leaves the folder itself out of the archive. The
    // folder must outlive the run.
    void start(const QString &program, const PrivateFolder &folder, const QString &archiveName,
               const QStringList &paths);
    bool isRunning() const;
    int percent() const;
    // Everything the archiver wrote in its last run (its errors included).
    const QByteArray &output() const;
    // The last run failed before the archiver started: the list of paths
    // could not be written to the temporary folder.
    bool listFileFailed() const;

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
    void begin(const QString &program, const QString &archiveArgument, const QStringList &paths);
    bool archiveWritten() const;
    bool writeListFile(const QStringList &paths);
    void removeListFile();
    void readStandardOutput();
    // Standard output as it arrives, in pieces of any size.
    void consumeOutput(const QByteArray &chunk);
    void onProcessFinished(int exitCode, QProcess::ExitStatus status);
    void onProcessError(QProcess::ProcessError error);
    void finish(Outcome outcome);

    QProcess *process = nullptr;
    QString listFilePath;
    QString archive;
    // With a private folder: the folder, and the archive's name in it.
    const PrivateFolder *folder = nullptr;
    QString archiveName;
    bool archiveExisted = false;
    bool listFileUnwritable = false;
    bool running = false;
    bool cancelRequested = false;
    ArchiverOutput reader;
};
