#include "ads/AdvWidget.h"
#include "support/TestSupport.h"

#include <QDesktopServices>
#include <QLabel>
#include <QTest>

class TestAds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void rotationShowsEachAdvertiserThenWraps();
    void leftClickOnLogoOpensItsLink_data();
    void leftClickOnLogoOpensItsLink();

private:
    TestSupport::UrlCatcher urls;
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

// Each run shows the next advertiser, all of them in turn, then the first again.
void TestAds::rotationShowsEachAdvertiserThenWraps()
{
    AdvWidget panel(false);
    QList<QUrl> seen;
    do {
        seen << panel.currentUrl();
        auto *logo = panel.findChild<QLabel *>();
        QVERIFY(!logo->pixmap().isNull());
        // A screen reader names the advertiser whose logo is on show.
        QVERIFY(!logo->accessibleName().isEmpty());
        QVERIFY(panel.currentUrl().toString().contains(logo->accessibleName()));
        QVERIFY(seen.size() < 100);
        panel.startAdv(10);
    } while (panel.currentUrl() != seen.first());
    QVERIFY(seen.size() > 1);
    QCOMPARE(QSet<QUrl>(seen.begin(), seen.end()).size(), seen.size());
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
    urls.opened.clear();

    AdvWidget panel(false);
    panel.resize(400, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const QLabel *logo = panel.findChild<QLabel *>();
    const QPoint at = onLogo ? logo->geometry().center() : QPoint(2, panel.height() - 2);
    QCOMPARE(logo->geometry().contains(at), onLogo);

    QTest::mouseClick(&panel, button, {}, at);

    QCOMPARE(urls.opened, opens ? QList<QUrl>{panel.currentUrl()} : QList<QUrl>{});
}

QTEST_MAIN(TestAds)
#include "tst_ads.moc"
