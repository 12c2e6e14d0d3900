#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QResource>
#include <QtTest>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void imagesHaveTheirSizes_data();
    void imagesHaveTheirSizes();
    void closeIconIsAWhiteCrossOnTransparentGround();
    void onlyTheStyleSheetAndIconAreCompressed_data();
    void onlyTheStyleSheetAndIconAreCompressed();
    void styleSheetRulesInOrder();
    void styleSheetLineEnds();
    void styleSheetColoursReachTheWidgets();
};

void TestResources::imagesHaveTheirSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("hasAlpha");

    QTest::newRow("icon") << ":/qrc/icon.ico" << QSize(95, 104) << true;
    QTest::newRow("background") << ":/qrc/background.png" << QSize(980, 777) << false;
    QTest::newRow("close") << ":/qrc/close.png" << QSize(778, 778) << true;
    QTest::newRow("minimize") << ":/qrc/minimize.png" << QSize(32, 32) << true;
    QTest::newRow("help") << ":/qrc/help.png" << QSize(32, 32) << true;
    QTest::newRow("package") << ":/qrc/file-all.svg" << QSize(30, 33) << true;
    QTest::newRow("image glyph") << ":/qrc/file-image.svg" << QSize(22, 30) << true;
    QTest::newRow("pdf glyph") << ":/qrc/file-pdf.svg" << QSize(22, 30) << true;
    QTest::newRow("word glyph") << ":/qrc/file-word.svg" << QSize(22, 30) << true;
    QTest::newRow("booking") << ":/adv/booking.png" << QSize(128, 128) << true;
    QTest::newRow("expedia") << ":/adv/expedia.png" << QSize(128, 130) << true;
    QTest::newRow("hotels") << ":/adv/hotels.png" << QSize(130, 130) << true;
    QTest::newRow("tripadvisor") << ":/adv/tripadvisor.png" << QSize(128, 128) << true;
    QTest::newRow("walgreens") << ":/adv/walgreens.png" << QSize(130, 130) << true;
    QTest::newRow("wayfair") << ":/adv/wayfair.png" << QSize(130, 130) << true;
}

void TestResources::imagesHaveTheirSizes()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(bool, hasAlpha);

    QVERIFY(QFile::exists(path));
    QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    // SVG documents have fractional sizes; Qt rounds them to whole pixels.
    QVERIFY2(qAbs(image.width() - size.width()) <= 1 && qAbs(image.height() - size.height()) <= 1,
             qPrintable(QStringLiteral("%1x%2").arg(image.width()).arg(image.height())));
    QCOMPARE(image.hasAlphaChannel(), hasAlpha);
}

void TestResources::closeIconIsAWhiteCrossOnTransparentGround()
{
    const QImage image = QImage(QStringLiteral(":/qrc/close.png")).convertToFormat(QImage::Format_ARGB32);
    const int middle = image.width() / 2;
    QCOMPARE(QColor(image.pixel(middle, middle)), QColor(Qt::white));
    QCOMPARE(qAlpha(image.pixel(middle, 5)), 0);     // top edge, between the arms
    QCOMPARE(qAlpha(image.pixel(5, middle)), 0);     // left edge, between the arms
    QCOMPARE(qAlpha(image.pixel(middle / 2, middle / 2)), 255); // on an arm
}

void TestResources::onlyTheStyleSheetAndIconAreCompressed_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("compressed");

    QTest::newRow("style sheet") << ":/qrc/style.qss" << true;
    QTest::newRow("icon") << ":/qrc/icon.ico" << true;
    QTest::newRow("background") << ":/qrc/background.png" << false;
    QTest::newRow("close") << ":/qrc/close.png" << false;
    QTest::newRow("svg") << ":/qrc/file-pdf.svg" << false;
    QTest::newRow("advert") << ":/adv/wayfair.png" << false;
}

void TestResources::onlyTheStyleSheetAndIconAreCompressed()
{
    QFETCH(QString, path);
    QFETCH(bool, compressed);

    const QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(),
             compressed ? QResource::Compression::ZlibCompression : QResource::Compression::NoCompression);
}

void TestResources::styleSheetRulesInOrder()
{
    QFile file(QStringLiteral(":/qrc/style.qss"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString sheet = QString::fromLatin1(file.readAll());

    QStringList selectors;
    int declarations = 0;
    const QStringList lines = sheet.split(QStringLiteral("\r\n"));
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i + 1] == QStringLiteral("{"))
            selectors << lines[i];
        if (lines[i].startsWith(QStringLiteral("    ")))
            ++declarations;
    }
    const QStringList expected = {
        "#Compress", "#Compress:hover", "#Compress:pressed", "#Cancel", "#Cancel:hover",
        "#Cancel:pressed", "#Browse_for_files", "#Destination_path", "#Destination_path:hover",
        "#Destination_name", "#Size_info", "#Drag_drop_text", "MainWidget #SingleFileWidget",
        "SingleFileWidget", "FileWidget", "HeaderWidget", "QMessageBox QLabel",
        "QMessageBox QPushButton", "MainWidget", "Velmora", "QToolButton", "HelpWidget",
        "#HelpTitleLabel", "#HelpStandardLabel",
    };
    QCOMPARE(selectors, expected);
    QCOMPARE(sheet.count(QLatin1Char('{')), 24);
    QCOMPARE(sheet.count(QLatin1Char('}')), 24);
    QCOMPARE(declarations, 147);
    QVERIFY(sheet.contains(QStringLiteral(
        "background:QLinearGradient( x1: 0, y1: 0, x2: 1, y2: 0.07, stop: 0 #5272BA , stop: .55 #4E4AC3 , "
        "stop: .74 #7592F0 , stop: .88 #5E77C4  , stop: 1 #29395D );")));
}

void TestResources::styleSheetLineEnds()
{
    QFile file(QStringLiteral(":/qrc/style.qss"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    QVERIFY(bytes.startsWith("\r\n#Compress\r\n{\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
    for (char c : bytes)
        QVERIFY(static_cast<unsigned char>(c) < 0x80);
}

void TestResources::styleSheetColoursReachTheWidgets()
{
    QFile file(QStringLiteral(":/qrc/style.qss"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromLatin1(file.readAll()));

    QPushButton compress(QStringLiteral("Compress"));
    compress.setObjectName(QStringLiteral("Compress"));
    compress.resize(113, 48);
    compress.show();
    QVERIFY(QTest::qWaitForWindowExposed(&compress));
    const QImage shot = compress.grab().toImage();
    // Clear of the text, however wide the platform's font draws it.
    QCOMPARE(QColor(shot.pixel(3, shot.height() / 2)), QColor(QStringLiteral("#5272BA")));

    qApp->setStyleSheet(QString());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
