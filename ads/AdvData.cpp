#include "ads/AdvData.h"

#include "ads/AdvWidget.h"

#include <random>

AdvData::AdvData()
{
    advs.emplace(QStringLiteral(":/adv/booking.png"), QStringLiteral("https://www.booking.com/"));
    advs.emplace(QStringLiteral(":/adv/expedia.png"), QStringLiteral("https://www.expedia.com/"));
    advs.emplace(QStringLiteral(":/adv/hotels.png"), QStringLiteral("https://www.hotels.com/"));
    advs.emplace(QStringLiteral(":/adv/wayfair.png"), QStringLiteral("https://www.wayfair.com/"));
    advs.emplace(QStringLiteral(":/adv/tripadvisor.png"), QStringLiteral("https://www.tripadvisor.com/"));
    advs.emplace(QStringLiteral(":/adv/walgreens.png"), QStringLiteral("https://www.walgreens.com/"));

    // Each run starts somewhere else, so that no advertiser always comes first.
    std::random_device seed;
    std::mt19937 generator(seed());
    std::uniform_int_distribution<int> start(0, 5);
    AdvWidget::nextIndex = start(generator);
}
