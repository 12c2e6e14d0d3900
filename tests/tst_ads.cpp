#include "ads/AdvData.h"
#include "ads/AdvWidget.h"
#include "support/TestSupport.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using TestSupport::UrlCatcher;

class TestAds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void firstLoadStartsWithinTheTable();
    void tableHoldsSixAdvertisersInOrder();
    void rotationMovesOnOncePerStartAndWraps();
    void leftClickOnLogoOpensItsLink_data();
    void leftClickOnLogoOpensItsLink();
    void popupCountsDownThenOffersClose();

private:
    static QStringList tableUrls();

    UrlCatcher urls;
};

void TestAds::initTestCase()
{
    // No browser ever starts: https links come here instead.
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &urls, "open");
}

void TestAds::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void TestAds::init()
{
    urls.opened.clear();
}

QStringList TestAds::tableUrls()
{
    // A new table also draws a new start; callers read the rotation after.
    QStringList links;
    for (const auto &entry : AdvData().advs)
        links << entry.second;
    return links;
}

void TestAds::firstLoadStartsWithinTheTable()
{
    // Must stay the first test: it watches the process's first load.
    AdvWidget panel(false);
    QVERIFY(AdvWidget::nextAdvIndex() >= 1);
    QVERIFY(AdvWidget::nextAdvIndex() <= 6);
}

void TestAds::tableHoldsSixAdvertisersInOrder()
{
    const AdvData data;
    QStringList images;
    for (const auto &entry : data.advs) {
        images << entry.first;
        QVERIFY2(QFile::exists(entry.first), qPrintable(entry.first));
        const QUrl url(entry.second);
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QVERIFY(url.query().isEmpty());
    }
    QCOMPARE(images, (QStringList{":/adv/booking.png", ":/adv/expedia.png", ":/adv/hotels.png",
                                  ":/adv/tripadvisor.png", ":/adv/walgreens.png", ":/adv/wayfair.png"}));
    QVERIFY(tableUrls().at(0).contains("booking"));
    QVERIFY(tableUrls().at(5).contains("wayfair"));
}

void TestAds::rotationMovesOnOncePerStartAndWraps()
{
    const QStringList links = tableUrls();
    AdvWidget first(false);
    AdvWidget second(false);
    // Both panels share one rotation.
    const int start = AdvWidget::nextAdvIndex() - 2;
    QCOMPARE(first.currentUrl().toString(), links.at(start % 6));
    QCOMPARE(second.currentUrl().toString(), links.at((start + 1) % 6));

    for (int run = 1; run <= 7; ++run) {
        first.startAdv(10);
        QCOMPARE(AdvWidget::nextAdvIndex(), start + 2 + run);
        QCOMPARE(first.currentUrl().toString(), links.at((start + 1 + run) % 6));
        // A screen reader names the advertiser whose logo is on show.
        auto *logo = first.findChild<QLabel *>();
        QVERIFY(!logo->accessibleName().isEmpty());
        QVERIFY(links.at((start + 1 + run) % 6).contains(logo->accessibleName()));
    }
}

void TestAds::leftClickOnLogoOpensItsLink_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("onLogo");
    QTest::addColumn<bool>("opens");
    QTest::newRow("left on logo") << Qt::LeftButton << true << true;
    QTest::newRow("right on logo") << Qt::RightButton << true << false;
    QTest::newRow("left beside logo") << Qt::LeftButton << false << false;
}

void TestAds::leftClickOnLogoOpensItsLink()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, onLogo);
    QFETCH(bool, opens);

    AdvWidget panel(false);
    panel.resize(400, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const QLabel *logo = panel.findChild<QLabel *>();
    QVERIFY(logo);
    const QPoint at = onLogo ? logo->geometry().center() : QPoint(2, panel.height() - 2);
    QVERIFY(onLogo == logo->geometry().contains(at));

    QTest::mouseClick(&panel, button, {}, at);

    QCOMPARE(urls.opened, opens ? QList<QUrl>{panel.currentUrl()} : QList<QUrl>{});
}

void TestAds::popupCountsDownThenOffersClose()
{
    AdvWidget popup;
    auto *close = popup.findChild<QPushButton *>();
    QVERIFY(close);
    QLabel *countdown = nullptr;
    for (QLabel *candidate : popup.findChildren<QLabel *>())
        if (candidate->pixmap().isNull())
            countdown = candidate;
    QVERIFY(countdown);

    popup.startAdv(3);
    QVERIFY(popup.isVisible());
    QCOMPARE(popup.windowModality(), Qt::ApplicationModal);
    QCOMPARE(countdown->text(), QStringLiteral("Please wait for 10 seconds..."));
    // One timer tick at a time instead of waiting for real seconds.
    for (int left : {3, 2, 1}) {
        popup.updateTimer();
        QCOMPARE(countdown->text(), QStringLiteral("Please wait for %1 seconds...").arg(left));
        QVERIFY(close->isHidden());
    }
    popup.updateTimer();
    QVERIFY(countdown->isHidden());
    QVERIFY(!close->isHidden());

    close->click();
    QVERIFY(popup.isHidden());
}

QTEST_MAIN(TestAds)
#include "tst_ads.moc"
