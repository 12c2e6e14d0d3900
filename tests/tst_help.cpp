#include "help/HelpWidget.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QtTest>

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    void titleNamesTheTool();
    void textHasNineLines_data();
    void textHasNineLines();
    void backgroundComesFromStyleSheet();

private:
    TestSupport::IsolatedEnvironment environment;
};

namespace {

QLabel *label(const HelpWidget &help, const char *objectName)
{
    return help.findChild<QLabel *>(QLatin1String(objectName));
}

} // namespace

void TestHelp::titleNamesTheTool()
{
    HelpWidget help;
    QLabel *title = label(help, "HelpTitleLabel");
    QVERIFY(title);
    QCOMPARE(title->text(), QStringLiteral("How to Use the File Compression Tool"));
    QVERIFY(help.isWindow());
    QVERIFY(!help.parent());
}

void TestHelp::textHasNineLines_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("line");

    const char *const lines[] = {
        "1. To select files for compression, you can either :",
        "\tPress the \"Browse Files\" button and navigate to the desired files on your system, or",
        "\tSimply drag and drop the files directly into the application window.",
        "2. Optionally, you can change the filenames within the application.",
        "This will not affect the original filenames but will be reflected in the compressed version.",
        "3. Choose the destination where you want to save the compressed file.",
        "4. Once you have finalized the settings, click the \"Compress\" button to initiate the "
        "compression process.",
        "5. Once the compression process is complete,",
        " you will be notified of the success. The compressed file will be created and saved at the "
        "destination you specified.",
    };
    int index = 0;
    for (const char *line : lines) {
        QTest::addRow("line %d", index + 1) << index << QString::fromLatin1(line);
        ++index;
    }
}

void TestHelp::textHasNineLines()
{
    QFETCH(int, index);
    QFETCH(QString, line);
    HelpWidget help;
    QLabel *text = label(help, "HelpStandardLabel");
    QVERIFY(text);

    // No trailing line feed: exactly nine lines, nothing after the last.
    const QStringList lines = text->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines.at(index), line);
}

void TestHelp::backgroundComesFromStyleSheet()
{
    // A plain picture stands in for the real one: what matters is that the
    // window paints the style sheet's background image at all.
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(QColor(0x12, 0xab, 0x34));
    const QString path = environment.root() + QStringLiteral("/background.png");
    QVERIFY(picture.save(path));

    qApp->setStyleSheet(QStringLiteral("HelpWidget { background-image: url(%1); }").arg(path));
    HelpWidget help;
    help.resize(help.sizeHint());
    const QImage image = help.grab().toImage();
    qApp->setStyleSheet(QString());

    QCOMPARE(image.pixelColor(1, 1), QColor(0x12, 0xab, 0x34));
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
