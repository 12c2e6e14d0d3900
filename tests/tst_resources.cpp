#include "app/BackgroundPicture.h"
#include "app/MainWidget.h"
#include "filelist/FileWidget.h"
#include "filelist/SingleFileWidget.h"
#include "frame/HeaderWidget.h"
#include "help/HelpWidget.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"
#include "ui/StyleSheet.h"

#include <QApplication>
#include <QDirIterator>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QPixmapCache>
#include <QtTest>

#include <memory>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void everyPictureLoads();
    void styleSheetShipsWithItsLineEnds();
    void styledBackgroundIsPainted();
    void windowBackgroundIsThePicture();
    void styleSheetReachesItsWidgets();
    void boxButtonsHaveRoomAroundTheirWords();

private:
    TestSupport::IsolatedEnvironment environment;
};

namespace {

QColor colourAt(QWidget *widget, const QPoint &point)
{
    return widget->grab().toImage().pixelColor(point);
}

} // namespace

void TestResources::cleanup()
{
    qApp->setStyleSheet(QString());
}

// The SVG and ICO pictures need Qt's image plugins at run time; a missing
// plugin or a broken file leaves an empty space where a picture should be.
void TestResources::everyPictureLoads()
{
    int pictures = 0;
    QDirIterator it(QStringLiteral(":/"), {"*.png", "*.ppm", "*.svg", "*.ico"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.startsWith(QLatin1String(":/qrc/")) && !path.startsWith(QLatin1String(":/adv/")))
            continue;
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
        ++pictures;
    }
    QVERIFY(pictures > 0);
}

// A plain QWidget subclass paints no style-sheet background of its own.
// The style sheet ships as it always has, with Windows' line ends; an
// editor that drops them changes every byte of the file in the program.
void TestResources::styleSheetShipsWithItsLineEnds()
{
    QFile sheet(QStringLiteral(":/qrc/style.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    const QByteArray bytes = sheet.readAll();
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
}

void TestResources::styledBackgroundIsPainted()
{
    const QString file = TestSupport::writeFile(environment.root() + QStringLiteral("/a.txt"), "a");
    for (QWidget *styled : QList<QWidget *>{new MainWidget, new FileWidget,
                                            new SingleFileWidget(file, QStringLiteral("a.txt"), 1, false),
                                            new HeaderWidget, new HelpWidget}) {
        const char *className = styled->metaObject()->className();
        qApp->setStyleSheet(QLatin1String(className) + QStringLiteral(" { background: #12ab34; }"));
        // Inside a plain window, whose own background would hide a missing paint.
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(styled);
        window.resize(window.sizeHint());
        QVERIFY2(colourAt(&window, QPoint(1, 1)) == QColor(0x12, 0xab, 0x34), className);
    }
}

// The window's background comes decoded from a start-up worker, from the
// form that needs no decoding: it must be the style sheet's picture, found
// where Qt looks for it first, and shown where the style sheet shows it.
void TestResources::windowBackgroundIsThePicture()
{
    const QImage picture = QImage(QStringLiteral(":/qrc/background.png")).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(QImage(QStringLiteral(":/qrc/background.ppm")).convertToFormat(QImage::Format_RGB32), picture);
    for (const qreal ratio : {1.0, 2.0}) {
        QPixmapCache::clear();
        const QPixmap primed = BackgroundPicture::prime(ratio);
        const QString file = ratio > 1.0 ? QStringLiteral(":/qrc/background@2x.png") : QStringLiteral(":/qrc/background.png");
        QCOMPARE(QPixmap(file).cacheKey(), primed.cacheKey());
    }
    qApp->setStyleSheet(QStringLiteral("file:///:/qrc/style.qss"));
    MainWidget window;
    window.resize(980, 660);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Below the title bar, clear of every control.
    for (const QPoint &point : {QPoint(10, 100), QPoint(970, 400), QPoint(300, 480)})
        QCOMPARE(colourAt(&window, point), picture.pixelColor(point));
}

void TestResources::styleSheetReachesItsWidgets()
{
    const QString file = TestSupport::writeFile(environment.root() + QStringLiteral("/a.txt"), "a");
    qApp->setStyleSheet(QStringLiteral("file:///:/qrc/style.qss"));
    MainWidget window;
    window.resize(980, 660);
    emit window.addFiles({file});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *compress = window.findChild<QPushButton *>(QStringLiteral("Compress"));
    // Clear of the text, however wide the platform's font draws it.
    QCOMPARE(colourAt(compress, QPoint(3, compress->height() / 2)), QColor(0x52, 0x72, 0xBA));

    QLabel *caption = nullptr;
    for (QLabel *label : window.findChild<HeaderWidget *>()->findChildren<QLabel *>()) {
        if (!label->text().isEmpty())
            caption = label;
    }
    QVERIFY(caption);
    QCOMPARE(caption->font().pixelSize(), 24);
    QCOMPARE(caption->palette().color(caption->foregroundRole()), QColor(Qt::white));

    auto *name = window.findChild<QPushButton *>(QStringLiteral("nameButton"));
    QVERIFY(name);
    QCOMPARE(name->font().pixelSize(), 10);
    QCOMPARE(name->palette().color(name->foregroundRole()), QColor(0x52, 0x72, 0xBA));
}

void TestResources::boxButtonsHaveRoomAroundTheirWords()
{
    // The box's words in the font the program brings, as it shows them.
    StyleSheet::useBundledFont();
    qApp->setStyleSheet(QStringLiteral("file:///:/qrc/style.qss"));
    MessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Yes);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Open"));
    box.setText(QStringLiteral("Compression finished successfully!"));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    for (QAbstractButton *button : box.buttons()) {
        const int room = button->width() - button->fontMetrics().horizontalAdvance(button->text());
        QVERIFY2(room >= 24, qPrintable(QStringLiteral("%1: %2 px").arg(button->text()).arg(room)));
    }
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
