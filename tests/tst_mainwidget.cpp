#include "app/MainWidget.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <cstdlib>

using namespace TestSupport;

namespace {

const char *const cancelChildVariable = "BRIMLET_TEST_CANCEL_CHILD";

// Run in a child process: press Cancel in a fresh main window. The process
// must end inside the click with status 0; returning from here is a failure.
int pressCancelInChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    MainWidget window;
    window.show();
    window.findChild<QPushButton *>(QStringLiteral("Cancel"))->click();
    return 3;
}

} // namespace

class TestMainWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void startsWithItsControls();
    void sizeLine_data();
    void sizeLine();
    void emptyTotalHidesDestinationRow();
    void hoverCursors_data();
    void hoverCursors();
    void errorUsesSharedFramelessModalBox();
    void moveEventMovesByDelta();
    void cancelEndsProcessWithStatusZero();

private:
    std::unique_ptr<IsolatedEnvironment> environment;
};

void TestMainWidget::initTestCase()
{
    environment = std::make_unique<IsolatedEnvironment>();
    QVERIFY(environment->isValid());
}

void TestMainWidget::startsWithItsControls()
{
    MainWidget window;
    const struct
    {
        const char *objectName;
        const char *text;
    } buttons[] = {
        {"Browse_for_files", "Browse for files"},
        {"Compress", "Compress"},
        {"Cancel", "Cancel"},
    };
    for (const auto &expected : buttons) {
        auto *button = window.findChild<QPushButton *>(QString::fromLatin1(expected.objectName));
        QVERIFY2(button, expected.objectName);
        QCOMPARE(button->text(), QString::fromLatin1(expected.text));
    }

    auto *hint = window.findChild<QLabel *>(QStringLiteral("Drag_drop_text"));
    QVERIFY(hint);
    QCOMPARE(hint->text(), QStringLiteral("Drag & drop files to the list to compress multiple files at once."));
    auto *size = window.findChild<QLabel *>(QStringLiteral("Size_info"));
    QVERIFY(size);
    QCOMPARE(size->text(), QStringLiteral("Total size: <b>0.0 MB</b> of 500MB limit"));
    QCOMPARE(size->textFormat(), Qt::RichText);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *destination = window.findChild<QPushButton *>(QStringLiteral("Destination_path"));
    QVERIFY(destination);
    QCOMPARE(destination->text(), QStringLiteral("C:/Users/username/Documents/compressed_files"));
    QVERIFY(!destination->isVisible());
    QVERIFY(window.findChild<QWidget *>(QStringLiteral("Adv_widget"))->isVisible());
    QVERIFY(!window.acceptDrops());
}

void TestMainWidget::sizeLine_data()
{
    QTest::addColumn<float>("size");
    QTest::addColumn<QString>("figure");

    QTest::newRow("zero") << 0.0f << "0.0 MB";
    QTest::newRow("under one KB") << 0.0001f << "1 KB";
    QTest::newRow("exactly one KB counts one more") << 1.0f / 1024.0f << "2 KB";
    QTest::newRow("half a MB") << 0.5f << "513 KB";
    QTest::newRow("just under one MB") << 1023.5f / 1024.0f << "1024 KB";
    QTest::newRow("one MB") << 1.0f << "1 MB";
    QTest::newRow("one and a half") << 1.5f << "1.5 MB";
    QTest::newRow("two decimals") << 12.3456f << "12.35 MB";
    QTest::newRow("rounds up to a whole number") << 99.995f << "100 MB";
    QTest::newRow("250") << 250.0f << "250 MB";
    QTest::newRow("just under the limit") << 499.999f << "500 MB";
    QTest::newRow("limit") << 500.0f << "500 MB";
}

void TestMainWidget::sizeLine()
{
    QFETCH(float, size);
    QFETCH(QString, figure);

    MainWidget window;
    QMetaObject::invokeMethod(&window, "onSizeChanged", Q_ARG(float, size));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Size_info"))->text(),
             QStringLiteral("Total size: <b>%1</b> of 500MB limit").arg(figure));
}

void TestMainWidget::emptyTotalHidesDestinationRow()
{
    MainWidget window;
    window.show();
    auto *destination = window.findChild<QPushButton *>(QStringLiteral("Destination_path"));
    destination->parentWidget()->show();
    QVERIFY(destination->isVisible());

    window.onSizeChanged(0.0f);
    QVERIFY(!destination->isVisible());
}

void TestMainWidget::hoverCursors_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<bool>("pointsOnHover");

    QTest::newRow("Compress") << "Compress" << true;
    QTest::newRow("Cancel") << "Cancel" << true;
    QTest::newRow("Browse for files") << "Browse_for_files" << true;
    QTest::newRow("destination") << "Destination_path" << false;
}

void TestMainWidget::hoverCursors()
{
    QFETCH(QString, objectName);
    QFETCH(bool, pointsOnHover);

    MainWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *button = window.findChild<QPushButton *>(objectName);
    QVERIFY(button);

    QHoverEvent enter(QEvent::HoverEnter, QPointF(5, 5), QPointF(5, 5), QPointF(-1, -1));
    QApplication::sendEvent(button, &enter);
    QCOMPARE(button->cursor().shape(), pointsOnHover ? Qt::PointingHandCursor : Qt::ArrowCursor);

    QHoverEvent leave(QEvent::HoverLeave, QPointF(-1, -1), QPointF(-1, -1), QPointF(5, 5));
    QApplication::sendEvent(button, &leave);
    QCOMPARE(button->cursor().shape(), Qt::ArrowCursor);
}

void TestMainWidget::errorUsesSharedFramelessModalBox()
{
    MainWidget window;
    // Away from the middle of the screen, where a box without parent would go.
    window.setGeometry(10, 20, 500, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Read what the box is while it is open, then close it, then check.
    QPointer<QMessageBox> seenBox;
    Qt::WindowFlags flags;
    Qt::WindowModality modality = Qt::NonModal;
    QSize size, minimum, maximum;
    QPoint centre;
    int buttonCount = 0;
    bool buttonsHaveIcons = true;
    ModalAnswerer answerer;
    answerer.answerWith([&](QWidget *modal) {
        seenBox = qobject_cast<QMessageBox *>(modal);
        flags = modal->windowFlags();
        modality = modal->windowModality();
        size = modal->size();
        centre = modal->geometry().center();
        minimum = modal->minimumSize();
        maximum = modal->maximumSize();
        if (seenBox) {
            buttonCount = seenBox->buttons().size();
            // The buttons are too narrow for an icon and a word.
            buttonsHaveIcons = seenBox->button(QMessageBox::Ok)->icon().isNull() == false;
            seenBox->button(QMessageBox::Ok)->click();
        } else {
            modal->close();
        }
    });

    window.onError(QStringLiteral("You can't add more than 500 MB of files"));
    QVERIFY(seenBox);
    QCOMPARE(answerer.seenTexts(), QStringList{QStringLiteral("You can't add more than 500 MB of files")});
    QCOMPARE(seenBox->objectName(), QStringLiteral("Message_box"));
    QCOMPARE(seenBox->windowTitle(), QStringLiteral("Brimlet"));
    QVERIFY(flags & Qt::FramelessWindowHint);
    QCOMPARE(modality, Qt::ApplicationModal);
    QCOMPARE(size, QSize(400, 200));
    QCOMPARE(minimum, QSize(400, 200));
    QCOMPARE(maximum, QSize(400, 200));
    QCOMPARE(buttonCount, 1);
    QVERIFY((centre - window.geometry().center()).manhattanLength() <= 4);
    QVERIFY(!buttonsHaveIcons);

    // The same box serves every message.
    QMessageBox *first = seenBox;
    answerer.answerWith([&](QWidget *modal) {
        seenBox = qobject_cast<QMessageBox *>(modal);
        modal->close();
    });
    window.onError(QStringLiteral("second"));
    QCOMPARE(seenBox.data(), first);
    QCOMPARE(seenBox->text(), QStringLiteral("second"));
}

void TestMainWidget::moveEventMovesByDelta()
{
    MainWidget window;
    window.move(100, 80);
    window.onMoveEvent(QPoint(120, -30));
    QCOMPARE(window.pos(), QPoint(220, 50));
}

void TestMainWidget::cancelEndsProcessWithStatusZero()
{
    // Cancel leaves the staging folder where it is.
    const QString staging = QDir::tempPath() + QStringLiteral("/velmora");
    QVERIFY(!writeFile(staging + QStringLiteral("/renamed.txt"), "copy").isEmpty());

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(cancelChildVariable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY(QFile::exists(staging + QStringLiteral("/renamed.txt")));
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(cancelChildVariable))
        return pressCancelInChild(argc, argv);
    QApplication app(argc, argv);
    TestMainWidget test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwidget.moc"
