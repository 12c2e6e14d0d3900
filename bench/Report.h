#pragma once

#include "Figure.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// What the figures were measured on.
struct Machine
{
    int cores = 0;
    QString cpuModel;
    QString qtVersion;
    QString archiverVersion;
    QString loadAverage;

    static Machine describe(const QString &archiverVersion);
    QJsonObject toJson() const;
};

namespace Report {

QString table(const QList<Figure> &figures, const Machine &machine);
QJsonObject json(const QList<Figure> &figures, const Machine &machine);

}
