#pragma once

#include <QString>

#include <map>

// The advertisements: logo resource path to the advertiser's link.
class AdvData
{
public:
    AdvData();

    std::map<QString, QString> advs;
};
