// brimlet_bench: measures the program beside a reference for each figure and
// prints a table; the same numbers go to a JSON file.
//
//   brimlet_bench [--only start,list,compression] [results.json]
//
// Start-up and memory are measured in fresh child processes of this very
// executable (brimlet_bench --child MODE [FOLDER]).

#include "ChildModes.h"
#include "CompressionBench.h"
#include "ListBench.h"
#include "Report.h"
#include "Sandbox.h"
#include "StartupBench.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstdio>

namespace {

QtMessageHandler defaultMessageHandler = nullptr;

// The offscreen platform says this for every window it shows; it is no
// fault, and would bury the table.
void dropPlatformNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    defaultMessageHandler(type, context, message);
}

struct Options
{
    QStringList parts{QStringLiteral("start"), QStringLiteral("list"), QStringLiteral("compression")};
    QString output = QStringLiteral("bench-results.json");
};

Options parseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--only") && i + 1 < argc)
            options.parts = QString::fromLocal8Bit(argv[++i]).split(u',');
        else
            options.output = argument;
    }
    return options;
}

QString applicationStyleSheet()
{
    QFile file(QStringLiteral(":/qrc/style.qss"));
    file.open(QIODevice::ReadOnly);
    return QString::fromLatin1(file.readAll());
}

void print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void progress(const QString &text)
{
    std::fputs((text + u'\n').toUtf8().constData(), stderr);
}

void writeJson(const QString &path, const QJsonObject &results)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw BenchError(QStringLiteral("Cannot write %1").arg(path));
    file.write(QJsonDocument(results).toJson());
    if (!file.commit())
        throw BenchError(QStringLiteral("Cannot write %1").arg(path));
}

QString findArchiver()
{
    const QString archiver = QStandardPaths::findExecutable(QStringLiteral("7zz"));
    if (archiver.isEmpty())
        throw BenchError(QStringLiteral("7zz is not on PATH"));
    return archiver;
}

int runBenchmarks(const Options &options, const Sandbox &sandbox)
{
    const QString archiver = findArchiver();
    const Machine machine = Machine::describe(CompressionBench::archiverVersion(archiver));
    QList<Figure> figures;
    if (options.parts.contains(QLatin1String("start"))) {
        progress(QStringLiteral("Measuring start-up and memory..."));
        figures += StartupBench::measure(sandbox);
    }
    if (options.parts.contains(QLatin1String("list"))) {
        progress(QStringLiteral("Measuring the file list..."));
        figures += ListBench::measure(sandbox);
    }
    if (options.parts.contains(QLatin1String("compression"))) {
        progress(QStringLiteral("Measuring compression..."));
        figures += CompressionBench::measure(sandbox, archiver);
    }

    print(Report::table(figures, machine));
    writeJson(options.output, Report::json(figures, machine));
    progress(QStringLiteral("Results written to %1").arg(options.output));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultMessageHandler = qInstallMessageHandler(dropPlatformNoise);

    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return ChildModes::run(argc, argv, QString::fromLatin1(argv[2]),
                               argc >= 4 ? QString::fromLocal8Bit(argv[3]) : QString());

    const Options options = parseOptions(argc, argv);
    // Before the application object, which reads TMPDIR and HOME.
    const Sandbox sandbox;
    if (!sandbox.isValid()) {
        progress(QStringLiteral("Cannot make a temporary folder"));
        return 1;
    }
    QApplication app(argc, argv);
    app.setStyleSheet(applicationStyleSheet());
    try {
        return runBenchmarks(options, sandbox);
    } catch (const BenchError &error) {
        progress(QStringLiteral("Benchmark failed: %1").arg(QString::fromStdString(error.what())));
        return 1;
    }
}
