#pragma once

#include <QList>
#include <QString>

// A benchmark that cannot go on ends the run: a table with a hole misleads.
[[noreturn]] void fail(const QString &message);

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

// The figures as a Markdown table, ready for the README.
QString table(const QList<Figure> &figures);

double msSince(qint64 startNs, qint64 nowNs);
