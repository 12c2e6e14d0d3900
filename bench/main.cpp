// brimlet_bench: measures what each design decision protects, beside its
// reference in the same run, and prints the figures as a Markdown table.
//
//   brimlet_bench [--only start,list,freeze,compression]

#include "Bench.h"

#include "app/StyleSheet.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>

namespace {

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
    // Before the disk work, whose gigabytes of copies the disk is still
    // writing back for a while after.
    if (parts.contains(QLatin1String("compression"))) {
        progress("Compression...");
        const QString archiver = QStandardPaths::findExecutable(QStringLiteral("7zz"));
        if (archiver.isEmpty())
            fail(QStringLiteral("7zz is not on PATH"));
        figures += measureCompression(sandbox, archiver);
    }
    if (parts.contains(QLatin1String("freeze"))) {
        progress("Disk work and the event loop...");
        figures += measureFreezes(sandbox);
    }
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    std::fputs(table(runParts(parts, sandbox)).toUtf8().constData(), stdout);
    return 0;
}
