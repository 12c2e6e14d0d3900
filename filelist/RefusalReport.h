#pragma once

#include <QString>
#include <QStringList>

// What one change of the list left out and why, told in one message: the
// files whose names were taken and the listed files that hold the names,
// the files the size limit left out with the room left under it, and what
// was added. A thousand refused files make one message, not a thousand.
class RefusalReport
{
public:
    // paths: how many paths the change brought; with more than one the
    // message also says what was added.
    explicit RefusalReport(qsizetype paths);

    void nameTaken(const QString &path, const QString &holder, bool holderIsRenamedCopy);
    void overLimit(const QString &path, qint64 bytes);
    void added(const QString &name);

    bool hasRefusals() const;
    // Whether the message is about the size limit alone.
    bool isAboutTheLimitOnly() const;
    // The message, its first line the list's own text for the first kind of
    // refusal; roomLeft is what the limit leaves once the change is done.
    QString text(float roomLeft) const;

    // How many names a list in the message shows before "and N more".
    static constexpr int namesShown = 5;

private:
    struct Kind
    {
        QStringList shown;
        qsizetype count = 0;
        void note(const QString &line);
        QString lines() const;
    };
    QString addedLine() const;

    qsizetype pathCount;
    Kind taken;
    Kind overTheLimit;
    Kind addedNames;
};
