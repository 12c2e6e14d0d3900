#include "app/MainWidget.h"
#include "app/PathButton.h"
#include "ui/MessageBox.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestMainWidget : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void sizeLine_data();
    void sizeLine();
    void sharedBoxIsFramelessFixedAndCentred();
    void boxShowsNamesAsPlainText();
    void longDestinationKeepsWindowWidth();

private:
    TestSupport::IsolatedEnvironment environment;
};

void TestMainWidget::cleanup()
{
    MessageBox::clearAnswers();
}

void TestMainWidget::sizeLine_data()
{
    QTest::addColumn<float>("size");
    QTest::addColumn<QString>("figure");
    QTest::newRow("zero") << 0.0f << "0.0 MB";
    QTest::newRow("under one KB") << 0.0001f << "1 KB";
    QTest::newRow("just under one MB") << 1023.5f / 1024.0f << "1024 KB";
    QTest::newRow("two decimals") << 12.3456f << "12.35 MB";
    QTest::newRow("rounds up to a whole number") << 99.995f << "100 MB";
}

void TestMainWidget::sizeLine()
{
    QFETCH(float, size);
    QFETCH(QString, figure);
    MainWidget window;
    window.onSizeChanged(size);
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Size_info"))->text(),
             QStringLiteral("Total size: <b>%1</b> of 500MB limit").arg(figure));
}

void TestMainWidget::sharedBoxIsFramelessFixedAndCentred()
{
    MainWidget window;
    // Away from the middle of the screen, where a box without parent would go.
    window.setGeometry(10, 20, 500, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Plain messages go to the main window's own box.
    const QString message = QStringLiteral("You can't add more than 500 MB of files");
    MessageBox::setNextAnswer(QMessageBox::Ok);
    window.onError(message);
    MessageBox *box = nullptr;
    for (QWidget *candidate : QApplication::topLevelWidgets()) {
        if (candidate->objectName() == QLatin1String("Message_box")
            && qobject_cast<MessageBox *>(candidate)->text() == message)
            box = qobject_cast<MessageBox *>(candidate);
    }
    QVERIFY(box);

    // Shown as exec() shows it, without the nested loop.
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    QVERIFY(box->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    QCOMPARE(box->size(), QSize(400, 200));
    QVERIFY((box->geometry().center() - window.geometry().center()).manhattanLength() <= 4);
    // The sheet's 50-pixel buttons have room for a word, not for an icon too.
    for (QAbstractButton *button : box->buttons())
        QVERIFY(button->icon().isNull());
    box->hide();
}

void TestMainWidget::boxShowsNamesAsPlainText()
{
    const QString name = QStringLiteral("<h1>x<h1>.txt");
    MessageBox box;
    box.setText(QStringLiteral("Missing: ") + name);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    // What a screen reader reads is what is drawn: markup would lose the tags.
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(label);
    QAccessibleInterface *readable = QAccessible::queryAccessibleInterface(label);
    QVERIFY(readable);
    QCOMPARE(readable->text(QAccessible::Name), QStringLiteral("Missing: ") + name);
}

void TestMainWidget::longDestinationKeepsWindowWidth()
{
    QString folder = QStringLiteral("/data");
    while (folder.size() < 280)
        folder += QStringLiteral("/a synced folder & more");
    const QString destination = QDir::toNativeSeparators(folder + QStringLiteral("/a synced folder & more.7z"));
    QVERIFY(destination.size() > 300);

    MainWidget window;
    window.resize(700, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.onDestinationPathInit(folder + QStringLiteral("/notes.txt"));

    auto *path = window.findChild<PathButton *>(QStringLiteral("Destination_path"));
    QVERIFY(path);
    QTRY_VERIFY(path->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCOMPARE(window.width(), 700);
    const QRect inWindow(path->mapTo(&window, QPoint(0, 0)), path->size());
    QVERIFY2(window.rect().contains(inWindow), "the path stays inside the window");
    auto *compress = window.findChild<QPushButton *>(QStringLiteral("Compress"));
    QVERIFY(window.rect().contains(QRect(compress->mapTo(&window, QPoint(0, 0)), compress->size())));

    // Shortened in the middle, whole where a pointer or a screen reader asks.
    QVERIFY(path->text().contains(QChar(0x2026)));
    QVERIFY(path->text().endsWith(QStringLiteral("more.7z")));
    QCOMPARE(path->path(), destination);
    QCOMPARE(path->toolTip(), destination);
    QAccessibleInterface *readable = QAccessible::queryAccessibleInterface(path);
    QCOMPARE(readable->text(QAccessible::Description), destination);
    // "&" is shown, not taken for a mnemonic.
    QVERIFY(readable->text(QAccessible::Name).contains(QStringLiteral(" & ")));
}

QTEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
