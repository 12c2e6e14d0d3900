#include "Figure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

double summary(QList<double> values, bool worst)
{
    if (values.isEmpty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    if (worst)
        return values.last();
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2.0;
}

QString amount(double value, const QString &unit)
{
    if (std::isnan(value))
        return QString();
    return QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10.0 ? 2 : 1).arg(unit);
}

} // namespace

double Figure::value() const
{
    return summary(samples, worstCounts);
}

double Figure::reference() const
{
    return summary(referenceSamples, worstCounts);
}

QString Figure::verdict() const
{
    if (goal == Goal::Below) {
        return value() < limit ? QStringLiteral("< %1 %2 ✓").arg(limit).arg(unit)
                               : QStringLiteral("< %1 %2 ✗ by %3").arg(limit).arg(unit).arg(amount(value() - limit, unit));
    }
    if (goal == Goal::RatioAtMost) {
        const double ratio = value() / reference();
        return ratio <= limit ? QStringLiteral("≤ %1× ✓").arg(limit)
                              : QStringLiteral("≤ %1× ✗ by %2×").arg(limit).arg(ratio - limit, 0, 'f', 2);
    }
    return QString();
}

QString table(const QList<Figure> &figures)
{
    QString text = QStringLiteral("| Figure | Brimlet | Reference | Ratio | Goal | Reference is |\n"
                                  "|---|---|---|---|---|---|\n");
    for (const Figure &figure : figures) {
        const double ratio = figure.value() / figure.reference();
        text += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |\n")
                    .arg(figure.name, amount(figure.value(), figure.unit), amount(figure.reference(), figure.unit),
                         std::isnan(ratio) ? QString() : QStringLiteral("%1×").arg(ratio, 0, 'f', 2),
                         figure.verdict(), figure.referenceName);
    }
    return text;
}

double msSince(qint64 startNs, qint64 nowNs)
{
    return double(nowNs - startNs) / 1e6;
}

void fail(const QString &message)
{
    std::fprintf(stderr, "Benchmark failed: %s\n", qPrintable(message));
    std::exit(1);
}
