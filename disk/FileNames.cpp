#include "disk/FileNames.h"

#include <QStringList>

FileNames::System FileNames::thisSystem()
{
#if defined(Q_OS_WIN)
    return System::Windows;
#elif defined(Q_OS_MACOS)
    return System::MacOs;
#else
    return System::OtherUnix;
#endif
}

Qt::CaseSensitivity FileNames::caseSensitivity(System system)
{
    return system == System::OtherUnix ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

bool FileNames::sameName(const QString &a, const QString &b, System system)
{
    return QString::compare(a, b, caseSensitivity(system)) == 0;
}

// Folded one code point at a time, as a comparison without case folds them
// (Qt folds each character on its own, so "ß" is not "SS"); a lone
// surrogate stays as it is.
QString FileNames::comparisonKey(const QString &name, System system)
{
    if (caseSensitivity(system) == Qt::CaseSensitive)
        return name;
    QString key;
    key.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t point = name.at(i).unicode();
        if (QChar::isHighSurrogate(point) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            point = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        const char32_t folded = QChar::toCaseFolded(point);
        if (QChar::requiresSurrogates(folded)) {
            key += QChar(QChar::highSurrogate(folded));
            key += QChar(QChar::lowSurrogate(folded));
        } else {
            key += QChar(char16_t(folded));
        }
    }
    return key;
}

bool FileNames::canHold(const QString &name, System system)
{
    const bool plain = !name.isEmpty()
        && name != QLatin1String(".")
        && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/'))
        && !name.contains(QLatin1Char('\\'))
        && !hasControlCharacter(name);
    return plain && (system != System::Windows || windowsCanHold(name));
}

// Nobody means a line break or a tab in a name they type (a pasted line
// break stays in the rename field), and such a name reads as two lines
// wherever names are written one a line.
bool FileNames::hasControlCharacter(const QString &name)
{
    for (const QChar c : name) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            return true;
    }
    return false;
}

bool FileNames::windowsCanHold(const QString &name)
{
    // ":" would open an alternate data stream of another file; the rest
    // make the copy fail.
    static const QString refused = QStringLiteral("<>:\"|?*");
    for (const QChar c : name) {
        if (refused.contains(c))
            return false;
    }
    // Windows drops a trailing dot or space without a word, so the copy
    // would carry another name than the one shown.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return false;
    return !isDeviceName(name);
}

// CON, NUL, COM1, aux.txt ... open a device, whatever follows the first dot.
bool FileNames::isDeviceName(const QString &name)
{
    QString base = name.section(QLatin1Char('.'), 0, 0).toUpper();
    while (base.endsWith(QLatin1Char(' ')))
        base.chop(1);
    static const QStringList plainDevices{QStringLiteral("CON"), QStringLiteral("PRN"),
                                          QStringLiteral("AUX"), QStringLiteral("NUL")};
    if (plainDevices.contains(base))
        return true;
    if (base.size() != 4 || !(base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))))
        return false;
    // Windows counts the superscript digits as ports too.
    static const QString portDigits = QStringLiteral("123456789\u00B9\u00B2\u00B3");
    return portDigits.contains(base.at(3));
}
