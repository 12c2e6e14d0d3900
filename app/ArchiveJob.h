#pragma once

#include <QObject>

// Drives the archiver for one archive (filled in with the compression job).
class ArchiveJob : public QObject
{
    Q_OBJECT

public:
    explicit ArchiveJob(QObject *parent = nullptr);
};
