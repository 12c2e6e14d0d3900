#include "Bench.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTimer>

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

Sandbox::Sandbox()
    : dir(QDir::tempPath() + QStringLiteral("/brimlet-bench-XXXXXX"))
{
    if (!dir.isValid())
        return;
    for (const char *name : {"tmp", "home", "runtime"})
        QDir(dir.path()).mkpath(QString::fromLatin1(name));
    QFile::setPermissions(path(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("TMPDIR", path(QStringLiteral("tmp")).toLocal8Bit());
    qputenv("HOME", path(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", path(QStringLiteral("runtime")).toLocal8Bit());
    // Unset, these follow HOME; set, they would lead back to the real ones.
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR"})
        qunsetenv(name);
}

QStringList Sandbox::makeFiles(const QString &folder, int count, qint64 size) const
{
    QDir().mkpath(path(folder));
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        QFile file(path(QStringLiteral("%1/file-%2.txt").arg(folder).arg(i, 6, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
            fail(QStringLiteral("Cannot write %1").arg(file.fileName()));
        paths << file.fileName();
    }
    paths.sort();
    return paths;
}

QString Sandbox::makeFolderTree(const QString &folder, int folders, int filesEach) const
{
    for (int i = 0; i < folders; ++i)
        QDir().mkpath(path(QStringLiteral("%1/part-%2").arg(folder).arg(i)));
    for (int i = 0; i < folders; ++i)
        makeFiles(QStringLiteral("%1/part-%2").arg(folder).arg(i), filesEach, 0);
    return path(folder);
}

void settle()
{
    // A layout request can post another one for the parent, and showing a
    // widget posts its first paint: a few rounds leave nothing behind.
    for (int round = 0; round < 5; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

double longestGapWhile(const std::function<void()> &work)
{
    QElapsedTimer sinceLastTurn;
    qint64 longest = 0;
    const auto turn = [&] {
        longest = qMax(longest, sinceLastTurn.nsecsElapsed());
        sinceLastTurn.restart();
    };
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &timer, turn);
    sinceLastTurn.start();
    timer.start(10);
    work();
    turn();
    return double(longest) / 1e6;
}
