#pragma once

#include "app/ArchiveJob.h"
#include "ui/ProgressDialog.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QEventLoop;
class TerminationWatch;

// One press of Compress: checks before the archiver starts, the archiver's
// run under a progress dialog, and the message that tells the outcome. The
// archive is written in a private folder beside the destination and moved to
// the destination only when the run succeeded, so that the destination never
// holds a partial archive and nothing there is ever replaced.
class CompressionRun : public QObject
{
    Q_OBJECT

public:
    enum class Ending { BeforeArchiver, Succeeded, Failed };

    // termination, when given, is asked at the run's end whether the
    // program is to end instead of telling the outcome.
    CompressionRun(const QString &archiver, QWidget *window, TerminationWatch *termination = nullptr);

    Ending exec(const QString &destination, const QStringList &paths);

    // Test seam: the check for unusable files runs this instead.
    static void setCheckForTests(std::function<QStringList(const QStringList &)> check);

private:
    void buildDialog();
    Ending stopBeforeArchiver(const QString &message);
    QStringList findUnusable(const QStringList &paths);
    ArchiveJob::Outcome runArchiver(const QString &archive, const QStringList &paths);
    void requestCancel();
    Ending conclude(ArchiveJob::Outcome outcome, const QString &archive,
                    const QString &destination, const QStringList &paths);
    void tellFailure(const QStringList &paths);

    QString archiver;
    TerminationWatch *termination;
    ProgressDialog dialog;
    // The loop that waits for the check before the run, while it runs.
    QEventLoop *checking = nullptr;
    ArchiveJob job;
    bool cancelRequested = false;
    // The program is ending: the run tidies up and tells nothing.
    bool ending = false;
};
