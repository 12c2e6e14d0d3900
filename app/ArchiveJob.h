#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

// Runs the archiver for one archive without blocking: starts it, reads its
// output as it comes (the percentage it prints), stops it on request and
// gives the verdict. It knows nothing of windows; the main window shows what
// it reports.
class ArchiveJob : public QObject
{
    Q_OBJECT

public:
    enum class Outcome { Succeeded, AccessDenied, Failed, Cancelled };
    Q_ENUM(Outcome)

    explicit ArchiveJob(QObject *parent = nullptr);

    // The archiver's command line for packing exactly these paths.
    static QStringList arguments(const QString &destination, const QStringList &paths);
    // The paths that have gone or cannot be read: packing them would only warn.
    static QStringList unusablePaths(const QStringList &paths);
    // The verdict on an archiver that exited normally.
    static Outcome judge(const QByteArray &standardOutput, const QByteArray &standardError,
                         int exitCode, bool archiveExists);

    void start(const QString &program, const QString &destination, const QStringList &paths);
    bool isRunning() const;
    int percent() const;

    // Standard output as it arrives, in pieces of any size.
    void consumeOutput(const QByteArray &chunk);

public slots:
    void cancel();

signals:
    void progressChanged(int percent);
    void finished(ArchiveJob::Outcome outcome);

private:
    void readStandardOutput();
    void readStandardError();
    void onProcessFinished(int exitCode, QProcess::ExitStatus status);
    void onProcessError(QProcess::ProcessError error);
    static int percentIn(const QByteArray &segment, int otherwise);
    void finish(Outcome outcome);

    QProcess *process = nullptr;
    QTimer killTimer;
    QString destination;
    bool destinationExisted = false;
    bool running = false;
    bool cancelRequested = false;
    int currentPercent = 0;
    QByteArray standardOutput;
    QByteArray standardError;
    QByteArray pendingSegment;
};
