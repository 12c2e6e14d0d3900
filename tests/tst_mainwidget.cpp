#include "app/FileDialogs.h"
#include "app/MainWidget.h"
#include "app/PathButton.h"
#include "ui/MessageBox.h"
#include "ui/ProgressDialog.h"
#include "ui/ReturnPressesButton.h"
#include "filelist/FileWidget.h"
#include "frame/HeaderWidget.h"
#include "help/HelpWidget.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

class TestMainWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void sizeLine_data();
    void sizeLine();
    void sharedBoxIsFramelessFixedAndCentred();
    void boxShowsNamesAsPlainText();
    void namesAreTextOnRowsAndDestination();
    void longDestinationKeepsWindowWidth();
    void keys_data();
    void keys();
    void lastRemovalLeavesTheFocusOnBrowse();
    void escapeOnSuccessBoxChoosesOk();
    void tabFollowsTheScreen();
    void progressDialogOnlyAsksToCancel();

private:
    TestSupport::IsolatedEnvironment environment;
};

namespace {

QList<HelpWidget *> helpWindows()
{
    QList<HelpWidget *> found;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *help = qobject_cast<HelpWidget *>(window); help && help->isVisible())
            found << help;
    }
    return found;
}

// A control by its object name, or by its accessible name where it shows
// only a symbol.
QWidget *control(QWidget &window, const QString &name)
{
    for (QWidget *widget : window.findChildren<QWidget *>()) {
        if (widget->focusPolicy() != Qt::NoFocus
            && (widget->objectName() == name || widget->accessibleName() == name))
            return widget;
    }
    return nullptr;
}

} // namespace

void TestMainWidget::initTestCase()
{
    // As start-up does for the whole program.
    qApp->installEventFilter(new ReturnPressesButton(qApp));
}

void TestMainWidget::cleanup()
{
    MessageBox::clearAnswers();
    qDeleteAll(helpWindows());
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
    // Which file each button acts on, by the name it goes into the archive under.
    QCOMPARE(readAloud(nameButton), QStringLiteral("Rename R&D"));
    QCOMPARE(readAloud(nameButton->parentWidget()->findChild<QToolButton *>()), QStringLiteral("Remove R&D"));
    QVERIFY(destinationButton->shortcut().isEmpty());
    QVERIFY(nameButton->shortcut().isEmpty());
}

void TestMainWidget::longDestinationKeepsWindowWidth()
{
    QString folder = environment.root();
    while (folder.size() < 280)
        folder += QStringLiteral("/a synced folder & more");
    const QString destination = QDir::toNativeSeparators(folder + QStringLiteral("/a synced folder & more.7z"));
    QVERIFY(destination.size() > 300);

    MainWidget window;
    window.resize(700, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // As narrow as the window gets, with another system's fonts too.
    const int width = window.width();
    window.onDestinationPathInit(folder + QStringLiteral("/notes.txt"));

    auto *path = window.findChild<PathButton *>(QStringLiteral("Destination_path"));
    QVERIFY(path);
    QTRY_VERIFY(path->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCOMPARE(window.width(), width);
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

void TestMainWidget::keys_data()
{
    QTest::addColumn<QString>("focused");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    // "browse", "compress", "destination", "help", "help closed", "removed" or "renamed"
    QTest::addColumn<QString>("effect");

    const Qt::KeyboardModifiers none = Qt::NoModifier;
    QTest::newRow("Return on Browse") << "Browse_for_files" << int(Qt::Key_Return) << none << "browse";
    QTest::newRow("keypad Enter on Compress") << "Compress" << int(Qt::Key_Enter)
                                              << Qt::KeyboardModifiers(Qt::KeypadModifier) << "compress";
    QTest::newRow("Return on the destination") << "Destination_path" << int(Qt::Key_Return) << none
                                               << "destination";
    QTest::newRow("Return on the title bar's Help") << "Help" << int(Qt::Key_Return) << none << "help";
    QTest::newRow("Ctrl+O") << "Compress" << int(Qt::Key_O) << Qt::KeyboardModifiers(Qt::ControlModifier)
                            << "browse";
    QTest::newRow("Ctrl+Return") << "Browse_for_files" << int(Qt::Key_Return)
                                 << Qt::KeyboardModifiers(Qt::ControlModifier) << "compress";
    QTest::newRow("Ctrl+keypad Enter") << "Destination_path" << int(Qt::Key_Enter)
                                       << (Qt::ControlModifier | Qt::KeypadModifier) << "compress";
    QTest::newRow("F1") << "Browse_for_files" << int(Qt::Key_F1) << none << "help";
    QTest::newRow("Escape in the help window") << "" << int(Qt::Key_Escape) << none << "help closed";
    // A row's name is where Tab stops on it.
    QTest::newRow("Delete on a row") << "Rename notes.txt" << int(Qt::Key_Delete) << none << "removed";
    QTest::newRow("F2 on a row") << "Rename notes.txt" << int(Qt::Key_F2) << none << "renamed";
    QTest::newRow("Return on a row") << "Rename notes.txt" << int(Qt::Key_Return) << none << "renamed";
}

void TestMainWidget::keys()
{
    QFETCH(QString, focused);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, effect);

    const QString file = TestSupport::writeFile(environment.root() + QStringLiteral("/a/notes.txt"), "notes");
    const QString other = TestSupport::writeFile(environment.root() + QStringLiteral("/a/plan.txt"), "plan");
    MainWidget window;
    window.show();
    window.onDestinationPathInit(file);
    auto *list = window.findChild<FileWidget *>();
    if (focused.startsWith(QLatin1String("Rename ")))
        emit window.addFiles({file, other});
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy browsed(&window, &MainWidget::addFiles);
    FileWidget::setNextRenameAnswer(QStringLiteral("renamed.txt"));
    FileDialogs::setNextFilesAnswer({file});
    MessageBox::setNextAnswer(QMessageBox::Ok);
    const QString chosen = QStringLiteral("/elsewhere/chosen.7z");
    FileDialogs::setNextArchiveAnswer(chosen);

    QWidget *target = nullptr;
    if (focused.isEmpty()) {
        window.findChild<HeaderWidget *>()->onHelpPressed();
        QCOMPARE(helpWindows().size(), 1);
        target = helpWindows().first();
        target->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(target));
    } else {
        target = control(window, focused);
        QVERIFY(target);
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
    }
    QTest::keyClick(target, Qt::Key(key), modifiers);

    QCOMPARE(browsed.size(), effect == QLatin1String("browse") ? 1 : 0);
    QCOMPARE(MessageBox::answeredTexts(), effect == QLatin1String("compress")
                                              ? QStringList{QStringLiteral("Please select at least one file to compress")}
                                              : QStringList());
    QCOMPARE(window.findChild<PathButton *>()->path() == QDir::toNativeSeparators(chosen),
             effect == QLatin1String("destination"));
    QTRY_COMPARE(helpWindows().size(), effect == QLatin1String("help") ? 1 : 0);
    if (effect == QLatin1String("removed")) {
        QTRY_COMPARE(list->getFiles(), QStringList{other});
        // On to the next row, not back to the top of the window.
        QTRY_COMPARE(QApplication::focusWidget()->accessibleName(), QStringLiteral("Rename plan.txt"));
    }
    if (effect == QLatin1String("renamed"))
        QTRY_VERIFY(control(window, QStringLiteral("Rename renamed.txt")));
}

// Never on Cancel, where the next Return would end the program.
void TestMainWidget::lastRemovalLeavesTheFocusOnBrowse()
{
    const QString file = TestSupport::writeFile(environment.root() + QStringLiteral("/c/notes.txt"), "notes");
    MainWidget window;
    window.show();
    window.onDestinationPathInit(file);
    emit window.addFiles({file});
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QWidget *row = control(window, QStringLiteral("Rename notes.txt"));
    row->setFocus();
    QTRY_VERIFY(row->hasFocus());
    QTest::keyClick(row, Qt::Key_Delete);
    QTRY_COMPARE(window.findChild<FileWidget *>()->fileCount(), 0);
    QCOMPARE(QApplication::focusWidget(), window.findChild<QPushButton *>(QStringLiteral("Browse_for_files")));
}

void TestMainWidget::escapeOnSuccessBoxChoosesOk()
{
    MainWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    bool escapeClosedIt = false;
    bool okFirst = false;
    // Answered from inside the box's own loop, as a user would; should Escape
    // not close it, Open ends the loop and the test fails instead of hanging.
    QTimer::singleShot(0, &window, [&escapeClosedIt, &okFirst] {
        auto *box = qobject_cast<MessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        okFirst = box->defaultButton() == box->button(QMessageBox::Ok);
        QTest::keyClick(box, Qt::Key_Escape);
        escapeClosedIt = !box->isVisible();
        if (!escapeClosedIt)
            box->button(QMessageBox::Yes)->click();
    });
    const bool open = MessageBox::offerOpen(QStringLiteral("Compression finished successfully!"),
                                            QStringLiteral("7z file is saved in /tmp/a.7z"));
    QVERIFY(escapeClosedIt);
    QVERIFY(!open);
    // Return, too, chooses OK unless the user moved to Open.
    QVERIFY(okFirst);
}

void TestMainWidget::tabFollowsTheScreen()
{
    QStringList files;
    for (const char *name : {"c.txt", "a.txt", "b.txt"})
        files << TestSupport::writeFile(environment.root() + QStringLiteral("/b/") + QLatin1String(name), "x");
    MainWidget window;
    window.show();
    window.onDestinationPathInit(files.first());
    // Listed in this order, they stand in the grid in this order.
    emit window.addFiles(files);
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    const QStringList expected = {QStringLiteral("Help"), QStringLiteral("Minimize"), QStringLiteral("Close"),
                                  QStringLiteral("Rename c.txt"), QStringLiteral("Rename a.txt"),
                                  QStringLiteral("Rename b.txt"), QStringLiteral("Browse_for_files"),
                                  QStringLiteral("Destination_path"), QStringLiteral("Cancel"),
                                  QStringLiteral("Compress"), QStringLiteral("Help")};
    control(window, expected.first())->setFocus();
    QStringList visited;
    for (qsizetype stop = 0; stop < expected.size(); ++stop) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        const QString name = focus->objectName();
        visited << (name.isEmpty() || name == QLatin1String("nameButton") ? focus->accessibleName() : name);
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(visited, expected);
}

void TestMainWidget::progressDialogOnlyAsksToCancel()
{
    MainWidget window;
    window.setGeometry(10, 20, 700, 500);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ProgressDialog dialog(QStringLiteral("Compressing..."), &window);
    const QString file = QStringLiteral("/data/") + QString(200, QLatin1Char('x')) + QStringLiteral("/report.pdf");
    dialog.setDetail(file);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
    QVERIFY((dialog.geometry().center() - window.geometry().center()).manhattanLength() <= 4);
    // A long name is shortened, not let to widen the dialog.
    QCOMPARE(dialog.size(), QSize(400, 200));
    QCOMPARE(dialog.detail(), file);

    QSignalSpy asked(&dialog, &ProgressDialog::cancelRequested);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.findChild<QPushButton *>()->click();
    QCOMPARE(asked.size(), 2);
    // The work has not stopped yet: the dialog stays until its owner hides it.
    QVERIFY(dialog.isVisible());
}

QTEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
