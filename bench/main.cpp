// brimlet_bench: measures what each design decision protects, beside its
// reference in the same run, and prints the figures as a Markdown table.
//
//   brimlet_bench [--only start,list,freeze,compression]

#include "Benches.h"
#include "Sandbox.h"

#include "app/StyleSheet.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform says this for every window it shows; it is no
// fault, and would bury the table.
void dropPlatformNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains(QLatin1String("propagateSizeHints")))
        defaultHandler(type, context, message);
}

void progress(const char *text)
{
    std::fprintf(stderr, "%s\n", text);
}

QList<Figure> runParts(const QStringList &parts, const Sandbox &sandbox)
{
    QList<Figure> figures;
    if (parts.contains(QLatin1String("start"))) {
        progress("Start-up and memory...");
        figures += measureStartup(sandbox);
    }
    if (parts.contains(QLatin1String("list"))) {
        progress("The file list...");
        figures += measureList(sandbox);
    }
    if (parts.contains(QLatin1String("freeze"))) {
        progress("Disk work and the event loop...");
        figures += measureFreezes(sandbox);
    }
    if (parts.contains(QLatin1String("compression"))) {
        progress("Compression...");
        const QString archiver = QStandardPaths::findExecutable(QStringLiteral("7zz"));
        if (archiver.isEmpty())
            throw BenchError(QStringLiteral("7zz is not on PATH"));
        figures += measureCompression(sandbox, archiver);
    }
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultHandler = qInstallMessageHandler(dropPlatformNoise);
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return runStartupChild(argc, argv);

    QStringList parts{QStringLiteral("start"), QStringLiteral("list"), QStringLiteral("freeze"), QStringLiteral("compression")};
    if (argc >= 3 && qstrcmp(argv[1], "--only") == 0)
        parts = QString::fromLocal8Bit(argv[2]).split(u',');
    // Before the application object, which reads TMPDIR and HOME.
    const Sandbox sandbox;
    if (!sandbox.isValid()) {
        progress("Cannot make a temporary folder");
        return 1;
    }
    QApplication app(argc, argv);
    app.setStyleSheet(StyleSheet::application());
    try {
        const QString figures = table(runParts(parts, sandbox));
        std::fputs(figures.toUtf8().constData(), stdout);
        return 0;
    } catch (const BenchError &error) {
        std::fprintf(stderr, "Benchmark failed: %s\n", error.what());
        return 1;
    }
}
