#include "app/ArchiverCommand.h"

#include <QDir>

namespace {

// Well under what Windows takes (32,767 characters, quotes included) and
// what Linux takes for all arguments: longer lists go in a list file.
constexpr qsizetype commandLineBudget = 16000;

} // namespace

QStringList ArchiverCommand::arguments(const QString &archive, const QStringList &paths, const QString &listFile,
                                      const QString &leftOut)
{
    // -spd: names are taken literally (no wildcards), and without -r no
    // same-named file from a subfolder slips in. -sse: an input that cannot
    // be opened fails the run instead of leaving an archive without it.
    // -sae: the archive gets exactly the name given, no ".zip" added (which
    // would add to another archive of that name). -mcu=on: every name is
    // stored in UTF-8 with the ZIP format's flag for it; without it the
    // Windows 7-Zip stores a name that fits the system's old DOS code page in
    // that code page, unflagged, and every other computer reads it wrongly.
    // -bsp1: the percentage on standard output; -bse1: the errors there too,
    // in order, and -sccUTF-8 writes both in UTF-8, so that the path of a
    // file that failed reads back whatever the system's code page.
    QStringList args{QStringLiteral("a"),    QStringLiteral("-tzip"), QStringLiteral("-spd"),
                     QStringLiteral("-sse"), QStringLiteral("-sae"),  QStringLiteral("-mcu=on"),
                     QStringLiteral("-bsp1"), QStringLiteral("-bse1"), QStringLiteral("-sccUTF-8")};
    // -xr!: the program's own folder for the archive, which lies inside a
    // listed folder when the destination does, is left out however the
    // walk reaches it (through a link too). Its name is made fresh for each
    // run, with six random characters: no name of the user's is left out
    // but by a chance of one in billions.
    if (!leftOut.isEmpty())
        args << QStringLiteral("-xr!") + leftOut;
    if (listFile.isEmpty())
        return args << archive << paths;
    // A name a list file cannot hold goes on the command line beside it.
    args << QStringLiteral("-scsUTF-8") << archive << QLatin1Char('@') + listFile;
    for (const QString &path : paths) {
        if (!fitsListFile(path))
            args << path;
    }
    return args;
}

// The archiver reads a list file line by line, ending a line at a line feed
// or a carriage return.
bool ArchiverCommand::fitsListFile(const QString &path)
{
    return !path.contains(QLatin1Char('\n')) && !path.contains(QLatin1Char('\r'));
}

// The archiver trims spaces and tabs at both ends of each line, then strips
// one pair of double quotes around what is left: quoted, every name comes
// back exactly as it is, spaces and quotes at its ends included.
QByteArray ArchiverCommand::listFileLine(const QString &path)
{
    return '"' + QDir::toNativeSeparators(path).toUtf8() + "\"\n";
}

bool ArchiverCommand::needsListFile(const QString &archive, const QStringList &paths)
{
    qsizetype length = archive.size() + 64;
    for (const QString &path : paths)
        length += path.size() + 3;
    return length > commandLineBudget;
}
