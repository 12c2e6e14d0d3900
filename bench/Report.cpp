#include "Report.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QThread>

#include <cmath>

namespace {

QString readCpuModel()
{
    QFile cpuInfo(QStringLiteral("/proc/cpuinfo"));
    if (!cpuInfo.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    for (const QByteArray &line : cpuInfo.readAll().split('\n')) {
        if (line.startsWith("model name"))
            return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return QStringLiteral("unknown");
}

// Other work on the machine slows every figure; the record says how busy it
// was when the run began.
QString readLoadAverage()
{
    QFile loadAverage(QStringLiteral("/proc/loadavg"));
    if (!loadAverage.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(loadAverage.readAll().split(' ').mid(0, 3).join(' '));
}

QString amount(double value, const QString &unit)
{
    return QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10.0 ? 2 : 1).arg(unit);
}

QString ratio(double value)
{
    // Small ratios keep two significant digits rather than rounding to zero.
    if (value < 0.1)
        return QStringLiteral("%1×").arg(value, 0, 'g', 2);
    return QStringLiteral("%1×").arg(value, 0, 'f', 2);
}

QString mark(const Figure &figure)
{
    if (!figure.hasGoal())
        return QStringLiteral("–");
    return figure.goalMet() ? QStringLiteral("✓") : QStringLiteral("✗");
}

QJsonArray toJson(const QList<double> &values)
{
    QJsonArray array;
    for (double value : values)
        array.append(value);
    return array;
}

QJsonObject toJson(const Figure &figure)
{
    QJsonObject object{
        {QStringLiteral("name"), figure.name},
        {QStringLiteral("unit"), figure.unit},
        {QStringLiteral("summary"),
         figure.summary == Figure::Summary::Maximum ? QStringLiteral("max") : QStringLiteral("median")},
        {QStringLiteral("value"), figure.value()},
        {QStringLiteral("reference"), figure.reference()},
        {QStringLiteral("referenceName"), figure.referenceName},
        {QStringLiteral("ratio"), figure.ratio()},
        {QStringLiteral("samples"), toJson(figure.samples)},
        {QStringLiteral("referenceSamples"), toJson(figure.referenceSamples)},
    };
    if (figure.hasGoal()) {
        object.insert(QStringLiteral("goal"), figure.goalText());
        object.insert(QStringLiteral("goalMet"), figure.goalMet());
        if (figure.valueLimit)
            object.insert(QStringLiteral("goalValueBelow"), *figure.valueLimit);
        if (figure.ratioLimit)
            object.insert(QStringLiteral("goalRatioAtMost"), *figure.ratioLimit);
    }
    return object;
}

} // namespace

Machine Machine::describe(const QString &archiverVersion)
{
    Machine machine;
    machine.cores = QThread::idealThreadCount();
    machine.cpuModel = readCpuModel();
    machine.qtVersion = QString::fromLatin1(qVersion());
    machine.archiverVersion = archiverVersion;
    machine.loadAverage = readLoadAverage();
    return machine;
}

QJsonObject Machine::toJson() const
{
    return {
        {QStringLiteral("cores"), cores},
        {QStringLiteral("cpu"), cpuModel},
        {QStringLiteral("qt"), qtVersion},
        {QStringLiteral("archiver"), archiverVersion},
        {QStringLiteral("loadAverage"), loadAverage},
    };
}

namespace Report {

QString table(const QList<Figure> &figures, const Machine &machine)
{
    const auto row = [](const QString &name, const QString &value, const QString &reference,
                        const QString &ratio, const QString &goal, const QString &met,
                        const QString &referenceName) {
        return name.leftJustified(38) + value.rightJustified(12) + reference.rightJustified(12)
            + ratio.rightJustified(10) + QStringLiteral("   ") + goal.leftJustified(17) + met.leftJustified(5)
            + referenceName + u'\n';
    };

    QString text = QStringLiteral("%1 cores, %2, Qt %3, load average %4 at start\n%5\n\n")
                       .arg(machine.cores)
                       .arg(machine.cpuModel, machine.qtVersion, machine.loadAverage, machine.archiverVersion);
    text += row(QStringLiteral("Figure"), QStringLiteral("Brimlet"), QStringLiteral("Reference"),
                QStringLiteral("Ratio"), QStringLiteral("Goal"), QStringLiteral("Met"),
                QStringLiteral("Reference is"));
    for (const Figure &figure : figures) {
        text += row(figure.name, amount(figure.value(), figure.unit), amount(figure.reference(), figure.unit),
                    ratio(figure.ratio()), figure.goalText(), mark(figure), figure.referenceName);
    }
    return text;
}

QJsonObject json(const QList<Figure> &figures, const Machine &machine)
{
    QJsonArray figureArray;
    for (const Figure &figure : figures)
        figureArray.append(toJson(figure));
    return {
        {QStringLiteral("measuredAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("machine"), machine.toJson()},
        {QStringLiteral("figures"), figureArray},
    };
}

} // namespace Report
