#include "app/ArchiverOutput.h"

#include "disk/FileNames.h"

#include <QDir>
#include <QList>
#include <QRegularExpression>

#if defined(Q_OS_WIN)
#include <qt_windows.h>
#else
#include <cerrno>
#include <cstring>
#endif

namespace {

const char *const successMarker = "Everything is Ok";

bool isSegmentEnd(char c)
{
    // The archiver redraws its progress in place with backspaces.
    return c == '\b' || c == '\r' || c == '\n';
}

// The marker counts only as the whole of what its line finally shows: a file
// name holding the words must not pass for a success, and the archiver may
// print the marker over an erased progress line.
bool hasSuccessLine(const QByteArray &output)
{
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype redrawn = qMax(trimmed.lastIndexOf('\b'), trimmed.lastIndexOf('\r'));
        if (trimmed.mid(redrawn + 1).trimmed() == successMarker)
            return true;
    }
    return false;
}

// What a line of output finally shows: the archiver redraws in place with
// backspaces and carriage returns, and ends lines with CR LF on Windows.
QString shownText(QByteArray line)
{
    while (line.endsWith('\r'))
        line.chop(1);
    const qsizetype redrawn = qMax(line.lastIndexOf('\b'), line.lastIndexOf('\r'));
    return QString::fromUtf8(line.mid(redrawn + 1));
}

const Qt::CaseSensitivity pathCase = FileNames::caseSensitivity();

// Either, everywhere: a line that starts with a listed path and goes on
// with a backslash names something inside it only on Windows, but nothing
// else that starts so can be in the archiver's output.
bool isSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

const QLatin1String messageSeparator(" : ");

// The path a line of output begins with, when it is the listed path or lies
// inside it: the whole line, or what comes before " : " and the system's
// words for the failure.
QString pathAtStart(const QString &text, const QString &listed)
{
    if (listed.isEmpty() || !text.startsWith(listed, pathCase))
        return QString();
    const QString rest = text.mid(listed.size());
    if (rest.trimmed().isEmpty() || rest.startsWith(messageSeparator))
        return text.left(listed.size());
    if (!isSeparator(rest.at(0)) && !isSeparator(listed.back()))
        return QString();
    const qsizetype message = text.indexOf(messageSeparator, listed.size());
    return message < 0 ? text : text.left(message);
}

} // namespace

bool ArchiverOutput::read(const QByteArray &chunk)
{
    everything += chunk;
    pendingSegment += chunk;
    QList<QByteArray> segments;
    qsizetype segmentStart = 0;
    for (qsizetype i = 0; i < pendingSegment.size(); ++i) {
        if (isSegmentEnd(pendingSegment.at(i))) {
            segments << pendingSegment.mid(segmentStart, i - segmentStart);
            segmentStart = i + 1;
        }
    }
    // An unfinished segment waits for the rest of it in the next piece.
    pendingSegment.remove(0, segmentStart);

    int latest = currentPercent;
    QString latestFile = currentFile;
    for (const QByteArray &segment : std::as_const(segments)) {
        latest = percentIn(segment, latest);
        latestFile = fileIn(segment, latestFile);
    }
    const bool moved = latest != currentPercent || latestFile != currentFile;
    currentPercent = latest;
    currentFile = latestFile;
    return moved;
}

// A progress line reads " 42% 3 + path/to/file": the share done, how many
// files are done (left out before the first), and the file being added.
QString ArchiverOutput::fileIn(const QByteArray &segment, const QString &otherwise)
{
    static const QRegularExpression adding(QStringLiteral("^\\s*\\d{1,3}%(?:\\s+\\d+)?\\s+\\+\\s+(.+)$"));
    const QRegularExpressionMatch match = adding.match(QString::fromUtf8(segment));
    return match.hasMatch() ? match.captured(1) : otherwise;
}

int ArchiverOutput::percentIn(const QByteArray &segment, int otherwise)
{
    static const QRegularExpression percentage(QStringLiteral("^\\s*(\\d{1,3})%"));
    const QRegularExpressionMatch match = percentage.match(QString::fromUtf8(segment));
    if (!match.hasMatch())
        return otherwise;
    return qMin(match.captured(1).toInt(), 100);
}

bool ArchiverOutput::succeeded(const QByteArray &output, int exitCode, bool archiveExists)
{
    // A warning exit leaves an archive that lacks some of the files, and a
    // marker without an archive on disk is no archive at all.
    return (exitCode == 0 || hasSuccessLine(output)) && archiveExists;
}

QString ArchiverOutput::failedFileIn(const QByteArray &output, const QStringList &paths)
{
    // 7-Zip names the file it failed on in a line of its own after its
    // message ("WARNING: " and the system's words, in the user's language),
    // and in its closing summary as "<path> : <the system's words>". Its own
    // words are English; the path is the path in any language.
    // As listed, and as the system writes paths (7-Zip's way on Windows).
    QStringList listed;
    for (const QString &path : paths)
        listed << path << QDir::toNativeSeparators(path);
    listed.removeDuplicates();
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        const QString text = shownText(line);
        for (const QString &path : std::as_const(listed)) {
            const QString named = pathAtStart(text, path);
            if (!named.isEmpty())
                return named;
        }
    }
    return QString();
}

// The archiver says it in the system's own words: on Windows the system's
// message for the error, in the user's language; on Linux "errno=28 : " and
// the C library's words. Asked of the system here, they are the same
// words, whatever the language.
bool ArchiverOutput::saysDiskFull(const QByteArray &output)
{
    const QString text = QString::fromUtf8(output);
#if defined(Q_OS_WIN)
    for (const DWORD code : {DWORD(ERROR_DISK_FULL), DWORD(ERROR_HANDLE_DISK_FULL)}) {
        wchar_t *message = nullptr;
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                                | FORMAT_MESSAGE_IGNORE_INSERTS,
                                            nullptr, code, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
        const QString words = QString::fromWCharArray(message, int(length)).trimmed();
        LocalFree(message);
        if (!words.isEmpty() && text.contains(words))
            return true;
    }
    return false;
#else
    return text.contains(QStringLiteral("errno=%1 ").arg(ENOSPC))
        || text.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)));
#endif
}
