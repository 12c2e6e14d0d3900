#include "Figure.h"

#include <algorithm>
#include <cmath>

double median(QList<double> values)
{
    if (values.isEmpty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    if (values.size() % 2 == 1)
        return values.at(middle);
    return (values.at(middle - 1) + values.at(middle)) / 2.0;
}

double elapsedMs(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

namespace {

double summarise(const QList<double> &values, Figure::Summary summary)
{
    if (summary == Figure::Summary::Maximum && !values.isEmpty())
        return *std::max_element(values.begin(), values.end());
    return median(values);
}

} // namespace

double Figure::value() const
{
    return summarise(samples, summary);
}

double Figure::reference() const
{
    return summarise(referenceSamples, summary);
}

double Figure::ratio() const
{
    return value() / reference();
}

bool Figure::hasGoal() const
{
    return valueLimit || ratioLimit;
}

bool Figure::goalMet() const
{
    if (valueLimit && !(value() < *valueLimit))
        return false;
    if (ratioLimit && !(ratio() <= *ratioLimit))
        return false;
    return true;
}

QString Figure::goalText() const
{
    QStringList parts;
    if (valueLimit)
        parts << QStringLiteral("< %1 %2").arg(*valueLimit).arg(unit);
    if (ratioLimit)
        parts << QStringLiteral("≤ %1×").arg(*ratioLimit);
    return parts.join(QStringLiteral(", "));
}

Figure timeFigure(const QString &name, const QString &referenceName)
{
    Figure figure;
    figure.name = name;
    figure.unit = QStringLiteral("ms");
    figure.referenceName = referenceName;
    return figure;
}
