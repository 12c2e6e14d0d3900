#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// One figure: the program's samples beside its reference's, taken in the
// same run, and the goal it is held to.
struct Figure
{
    enum class Goal { None, Below, RatioAtMost };

    Figure(const QString &name, const QString &referenceName, const QString &unit = QStringLiteral("ms"))
        : name(name), referenceName(referenceName), unit(unit)
    {
    }

    QString name;
    QString referenceName;
    QString unit;
    QList<double> samples;
    QList<double> referenceSamples;
    Goal goal = Goal::None;
    double limit = 0.0;
    bool worstCounts = false; // the worst sample stands, not the median

    double value() const;
    double reference() const;
    // The goal, and whether it was met or by how much it was missed.
    QString verdict() const;
};

// A temporary folder that the benchmark and its children work in. TMPDIR and
// HOME point inside it, so the machine's own staging and documents folders
// are never touched. Made before the application object, which reads both.
class Sandbox
{
public:
    Sandbox();
    bool isValid() const { return dir.isValid(); }
    QString path(const QString &relative) const { return dir.filePath(relative); }
    // count sparse files of size bytes in a new folder, sorted as listed.
    QStringList makeFiles(const QString &folder, int count, qint64 size) const;
    // folders * filesEach empty files; the folders are made first, so the
    // top folder's own time is old once the files are there.
    QString makeFolderTree(const QString &folder, int folders, int filesEach) const;

private:
    QTemporaryDir dir;
};

// The figures as a Markdown table, ready for the README.
QString table(const QList<Figure> &figures);
// A benchmark that cannot go on ends the run: a table with a hole misleads.
[[noreturn]] void fail(const QString &message);
double msSince(qint64 startNs, qint64 nowNs);
// Lays out and paints what is pending and deletes what was released, as the
// event loop would before the user sees the result.
void settle();
// Runs work and gives the longest time, in ms, between two turns of a 10 ms
// timer meanwhile: how long the window could not react.
double longestGapWhile(const std::function<void()> &work);

// Each measures what one design decision protects, beside its reference.
QList<Figure> measureStartup(const Sandbox &sandbox);
int runStartupChild(int &argc, char **argv); // brimlet_bench --child start-main|start-bare [folder]
QList<Figure> measureList(const Sandbox &sandbox);
QList<Figure> measureFreezes(const Sandbox &sandbox);
QList<Figure> measureCompression(const Sandbox &sandbox, const QString &archiver);
