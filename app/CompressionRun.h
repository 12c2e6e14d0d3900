#pragma once

#include "app/ArchiveJob.h"
#include "ui/ProgressDialog.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class PrivateFolder;
class QEventLoop;
class TerminationWatch;

// One press of Compress: checks before the archiver starts, the archiver's
// run under a progress dialog, and the message that tells the outcome. The
// archive is written in a private folder beside the destination and moved to
// the destination only when the run succeeded, so that the destination never
// holds a partial archive, and nothing there is replaced but what the user
// agreed to replace.
class CompressionRun : public QObject
{
    Q_OBJECT

public:
    enum class Ending { BeforeArchiver, Succeeded, Failed };
    enum class Moment { ArchiverStarts, ArchiverEnded };

    // termination, when given, is asked at the run's end whether the
    // program is to end instead of telling the outcome.
    CompressionRun(const QString &archiver, QWidget *window, TerminationWatch *termination = nullptr);

    // replace: the user agreed to replace what is at destination (the save
    // dialog asked); the old file then goes only as a finished archive
    // takes its place.
    Ending exec(const QString &destination, const QStringList &paths, bool replace = false);

    // Test seam: the check for unusable files runs this instead.
    static void setCheckForTests(std::function<QStringList(const QStringList &)> check);
    // Test seam: called at each moment of a run with the private folder's
    // path, before going on (it may block, as another program holding the
    // disk up would).
    static void setPauseForTests(std::function<void(Moment, const QString &)> pause);

private:
    struct Check
    {
        QStringList unusable;
        // What the listed regular files hold.
        qint64 bytes = 0;
    };

    void buildDialog();
    Ending stopBeforeArchiver(const QString &message);
    Check check(const QStringList &paths);
    ArchiveJob::Outcome runArchiver(const PrivateFolder &folder, const QString &name, const QStringList &paths);
    void requestCancel();
    Ending conclude(ArchiveJob::Outcome outcome, const PrivateFolder &folder, const QString &destination,
                    const QStringList &paths, bool replace);
    Ending tellMoveFailure(const QString &destination, bool replace);
    void tellFailure(const QStringList &paths, const QString &folder);

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
