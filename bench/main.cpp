// brimlet_bench: measures what each design decision protects, beside its
// reference in the same run, and prints the figures as a Markdown table.
//
//   brimlet_bench [--only start,list,scale,compression,freeze,over]

#include "Bench.h"

#include "ui/StyleSheet.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 4 && qstrcmp(argv[1], "--child") == 0 && QByteArray(argv[2]).startsWith("scale"))
        return runScaleChild(argc, argv);
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return runStartupChild(argc, argv);
    // Compression before the disk work, whose gigabytes of copies the disk
    // is still writing back for a while after.
    QStringList parts{QStringLiteral("start"), QStringLiteral("list"), QStringLiteral("scale"),
                      QStringLiteral("compression"), QStringLiteral("freeze")};
    if (argc >= 3 && qstrcmp(argv[1], "--only") == 0)
        parts = QString::fromLocal8Bit(argv[2]).split(u',');
    const Sandbox sandbox; // before the application object, which reads TMPDIR and HOME
    if (!sandbox.isValid())
        fail(QStringLiteral("Cannot make a temporary folder"));
    QApplication app(argc, argv);
    app.setStyleSheet(StyleSheet::application());

    QList<Figure> figures;
    for (const QString &part : parts) {
        std::fprintf(stderr, "Measuring %s...\n", qPrintable(part));
        if (part == QLatin1String("start"))
            figures += measureStartup(sandbox);
        else if (part == QLatin1String("list"))
            figures += measureList(sandbox);
        else if (part == QLatin1String("scale"))
            figures += measureScale(sandbox);
        else if (part == QLatin1String("over"))
            figures += measureOverLimit(sandbox);
        else if (part == QLatin1String("freeze"))
            figures += measureFreezes(sandbox);
        else if (part == QLatin1String("compression")) {
            const QString archiver = QStandardPaths::findExecutable(QStringLiteral("7zz"));
            if (archiver.isEmpty())
                fail(QStringLiteral("7zz is not on PATH"));
            figures += measureCompression(sandbox, archiver);
        }
    }
    std::fputs(table(figures).toUtf8().constData(), stdout);
    return 0;
}
