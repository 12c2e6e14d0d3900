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

    void rotationMovesOnOncePerRunAndWraps();
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

void TestAds::rotationMovesOnOncePerRunAndWraps()
{
    AdvWidget first(false);
    // Each run of the program starts somewhere in the table.
    const int start = AdvWidget::nextAdvIndex() - 1;
    QVERIFY(start >= 0 && start < 6);
    AdvWidget second(false);
    // Both panels share one rotation.
    QVERIFY(second.currentUrl() != first.currentUrl());

    QList<QUrl> seen;
    for (int run = 1; run <= 7; ++run) {
        first.startAdv(10);
        QCOMPARE(AdvWidget::nextAdvIndex(), start + 2 + run);
        seen << first.currentUrl();
        auto *logo = first.findChild<QLabel *>();
        QVERIFY(!logo->pixmap().isNull());
        // A screen reader names the advertiser whose logo is on show.
        QVERIFY(!logo->accessibleName().isEmpty());
        QVERIFY(first.currentUrl().toString().contains(logo->accessibleName()));
    }
    // Six advertisers, then the first again.
    QCOMPARE(QSet<QUrl>(seen.begin(), seen.end()).size(), 6);
    QCOMPARE(seen.at(6), seen.at(0));
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
