#include "app/ArchiveJob.h"

ArchiveJob::ArchiveJob(QObject *parent)
    : QObject(parent)
{
}
