#include "app/MainWidget.h"
#include "ui/MessageBox.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QDir>
#include <QAccessible>
#include <QApplication>
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
    void namesAreTextOnRowsAndDestination();

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
    MainWidget window;
    QString text, informative;
    QTimer::singleShot(0, &window, [&] {
        QWidget *box = QApplication::activeModalWidget();
        // What a screen reader reads is what is drawn: markup would lose the tags.
        const auto readAloud = [box](const char *label) {
            return QAccessible::queryAccessibleInterface(box->findChild<QLabel *>(QLatin1String(label)))
                ->text(QAccessible::Name);
        };
        text = readAloud("qt_msgbox_label");
        informative = readAloud("qt_msgbox_informativelabel");
        qobject_cast<QDialog *>(box)->done(QMessageBox::Ok);
    });
    MessageBox::offerOpen(QStringLiteral("Missing: ") + name, QStringLiteral("Saved in /tmp/") + name);
    QCOMPARE(text, QStringLiteral("Missing: ") + name);
    QCOMPARE(informative, QStringLiteral("Saved in /tmp/") + name);
}

// "&" in a name is a letter, not a keyboard shortcut: shown, read aloud and
// used as it is.
void TestMainWidget::namesAreTextOnRowsAndDestination()
{
    const QString folder = environment.root() + QStringLiteral("/R&D");
    const QString file = TestSupport::writeFile(folder + QStringLiteral("/R&D"), "x");
    MainWidget window;
    window.onDestinationPathInit(file);
    emit window.addFiles({file});

    const QString destination = folder + QStringLiteral("/R&D.7z");
    QCOMPARE(window.destinationPath(), destination);
    auto *destinationButton = window.findChild<QPushButton *>(QStringLiteral("Destination_path"));
    auto *nameButton = window.findChild<QPushButton *>(QStringLiteral("nameButton"));
    const auto readAloud = [](QWidget *widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    QCOMPARE(readAloud(destinationButton), QDir::toNativeSeparators(destination));
    QCOMPARE(readAloud(nameButton), QStringLiteral("R&D"));
    QVERIFY(destinationButton->shortcut().isEmpty());
    QVERIFY(nameButton->shortcut().isEmpty());
}

QTEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
