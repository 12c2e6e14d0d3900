#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

class QElapsedTimer;

// One figure: the program's samples beside its reference's, taken in the
// same run, and the goal it is held to.
struct Figure
{
    enum class Goal { None, Below, RatioAtMost };

    Figure(const QString &name, const QString &referenceName, Goal goal = Goal::None, double limit = 0.0)
        : name(name), referenceName(referenceName), goal(goal), limit(limit), worstCounts(goal == Goal::Below)
    {
    }

    QString name;
    QString referenceName;
    Goal goal;
    double limit;
    bool worstCounts; // the worst sample stands, not the median: kept for gaps
    QString unit = QStringLiteral("ms");
    QList<double> samples;
    QList<double> referenceSamples;
};

// A temporary folder that the benchmark and its children work in. TMPDIR and
// HOME point inside it, so the machine's own staging and documents folders
// are never touched. Made before the application object, which reads both.
class Sandbox
{
public:
    Sandbox();
    ~Sandbox();
    bool isValid() const { return dir.isValid(); }
    QString path(const QString &relative) const { return dir.filePath(relative); }
    // count sparse files of size bytes in a new folder, in the list's order.
    QStringList makeFiles(const QString &folder, int count, qint64 size) const;

private:
    QTemporaryDir dir;
};

QString table(const QList<Figure> &figures); // Markdown, as the README shows it
[[noreturn]] void fail(const QString &message); // a table with a hole would mislead
double msSince(const QElapsedTimer &clock);
// Lays out and paints what is pending and deletes what was released, as the
// event loop would before the user sees the result.
void settle();
// Runs work and gives the longest time, in ms, between two turns of a timer
// of that interval meanwhile: how long the window could not react.
double longestGapWhile(const std::function<void()> &work, int intervalMs = 10);

// Each measures what one design decision protects, beside its reference.
QList<Figure> measureStartup(const Sandbox &sandbox);
int runStartupChild(int &argc, char **argv); // --child start-main|start-bare [folder]
QList<Figure> measureList(const Sandbox &sandbox);
QList<Figure> measureScale(const Sandbox &sandbox);
QList<Figure> measureOverLimit(const Sandbox &sandbox);
int runScaleChild(int &argc, char **argv); // --child scale|scale-over folder
QList<Figure> measureFreezes(const Sandbox &sandbox);
QList<Figure> measureCompression(const Sandbox &sandbox, const QString &archiver);
