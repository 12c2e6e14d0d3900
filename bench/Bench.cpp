#include "Bench.h"

#include "filelist/StagingFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

double summary(QList<double> values, bool worst)
{
    std::sort(values.begin(), values.end());
    if (values.isEmpty() || worst)
        return values.isEmpty() ? std::nan("") : values.last();
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2.0;
}

QString amount(double value, const QString &unit)
{
    return std::isnan(value) ? QString() : QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10.0 ? 2 : 1).arg(unit);
}

QString verdict(const Figure &figure, double value, double ratio)
{
    if (figure.goal == Figure::Goal::Below)
        return QStringLiteral("< %1 %2 ").arg(figure.limit).arg(figure.unit)
            + (value < figure.limit ? QStringLiteral("✓") : QStringLiteral("✗ by ") + amount(value - figure.limit, figure.unit));
    if (figure.goal == Figure::Goal::RatioAtMost)
        return QStringLiteral("≤ %1× ").arg(figure.limit)
            + (ratio <= figure.limit ? QStringLiteral("✓") : QStringLiteral("✗ by %1×").arg(ratio - figure.limit, 0, 'f', 2));
    return QString();
}

} // namespace

QString table(const QList<Figure> &figures)
{
    QString text = QStringLiteral("| Figure | Brimlet | Reference | Ratio | Goal | Reference is |\n"
                                  "|---|---|---|---|---|---|\n");
    for (const Figure &figure : figures) {
        const double value = summary(figure.samples, figure.worstCounts);
        const double reference = summary(figure.referenceSamples, figure.worstCounts);
        const double ratio = value / reference;
        text += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |\n")
                    .arg(figure.name, amount(value, figure.unit), amount(reference, figure.unit),
                         std::isnan(ratio) ? QString() : QStringLiteral("%1×").arg(ratio, 0, 'f', 2),
                         verdict(figure, value, ratio), figure.referenceName);
    }
    return text;
}

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

void fail(const QString &message)
{
    std::fprintf(stderr, "Benchmark failed: %s\n", qPrintable(message));
    std::exit(1);
}

Sandbox::Sandbox()
    : dir(QDir::tempPath() + QStringLiteral("/brimlet-bench-XXXXXX"))
{
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

// The staging folder's lock lives in the sandbox: let it go before the
// sandbox does.
Sandbox::~Sandbox()
{
    StagingFolder::ofThisProgram().release();
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
    return paths; // numbered with leading zeros: already in the list's order
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

double longestGapWhile(const std::function<void()> &work, int intervalMs)
{
    QElapsedTimer sinceLastTurn;
    qint64 longest = 0;
    const auto turn = [&] { longest = qMax(longest, sinceLastTurn.nsecsElapsed()); sinceLastTurn.restart(); };
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &timer, turn);
    sinceLastTurn.start();
    timer.start(intervalMs);
    work();
    turn();
    return double(longest) / 1e6;
}
