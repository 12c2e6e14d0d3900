#pragma once

#include <QString>

#include <map>

// The advertisements: logo resource path to the advertiser's link. Building
// it also picks where this run's rotation starts.
class AdvData
{
public:
    AdvData();

    std::map<QString, QString> advs;
};
