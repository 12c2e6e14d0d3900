#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <stdexcept>

// A benchmark that cannot go on (a child that does not start, an archiver
// that fails) ends the run: a table with a hole in it would mislead.
class BenchError : public std::runtime_error
{
public:
    explicit BenchError(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }
};

// One measured figure: the program's samples beside the reference's, taken
// in the same run, and the goal it is held to, if any.
struct Figure
{
    enum class Summary { Median, Maximum };

    QString name;
    QString unit;
    QString referenceName;
    QList<double> samples;
    QList<double> referenceSamples;
    Summary summary = Summary::Median;
    std::optional<double> valueLimit; // the value must stay below this
    std::optional<double> ratioLimit; // the ratio must stay at or below this

    double value() const;
    double reference() const;
    double ratio() const;
    bool hasGoal() const;
    bool goalMet() const;
    QString goalText() const;
};

// A figure in milliseconds, measured against the named reference.
Figure timeFigure(const QString &name, const QString &referenceName);

double median(QList<double> values);
double elapsedMs(qint64 nanoseconds);
