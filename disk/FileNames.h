#pragma once

#include <QString>

// How the file system the program runs on treats file names: which names it
// can hold and when two names are one file. The list and the staging folder
// both ask here, so that they never disagree.
class FileNames
{
public:
    // Windows and macOS compare names without case; Windows also refuses
    // some characters and names outright.
    enum class System { Windows, MacOs, OtherUnix };

    static System thisSystem();

    static Qt::CaseSensitivity caseSensitivity(System system = thisSystem());

    // Whether the two names (or paths) name the same file on that system.
    static bool sameName(const QString &a, const QString &b, System system = thisSystem());
    // The name as sameName() compares it: two names have the same key
    // exactly when they name the same file, so a list can look a name up
    // instead of comparing it with every listed one.
    static QString comparisonKey(const QString &name, System system = thisSystem());

    // Whether a file of this name can be made in a folder, under exactly
    // this name: no path separators, not "." or "..", and on Windows none
    // of what it refuses or silently changes. No system takes control
    // characters (line breaks, tabs) from the user.
    static bool canHold(const QString &name, System system = thisSystem());

private:
    static bool hasControlCharacter(const QString &name);
    static bool windowsCanHold(const QString &name);
    static bool isDeviceName(const QString &name);
};
