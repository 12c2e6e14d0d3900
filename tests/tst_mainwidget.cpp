#include "app/FileDialogs.h"
#include "app/MainWidget.h"
#include "app/PathButton.h"
#include "ui/MessageBox.h"
#include "ui/ProgressDialog.h"
#include "ui/ReturnPressesButton.h"
#include "ui/StyleSheet.h"
#include "filelist/FileWidget.h"
#include "frame/HeaderWidget.h"
#include "help/HelpWidget.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
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
    void boxShowsItsWholeText_data();
    void boxShowsItsWholeText();
    void boxShowsNamesAsPlainText();
    void namesAreTextOnRowsAndDestination();
    void longDestinationKeepsWindowWidth();
    void keys_data();
    void keys();
    void lastRemovalLeavesTheFocusOnBrowse();
    void escapeOnSuccessBoxChoosesOk();
    void tabFollowsTheScreen();
    void progressDialogOnlyAsksToCancel();
    void heldOrModifiedReturnPressesNoDialogButton();

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
    qApp->setStyleSheet(QString());
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

void TestMainWidget::boxShowsItsWholeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("informative");
    QTest::addColumn<bool>("fitsScreen");
    const QString deep = QStringLiteral("/home/user") + QStringLiteral("/Shared documents of the team").repeated(8)
                         + QStringLiteral("/notes.txt");
    const QString unusable = QStringLiteral("Some of the listed files no longer exist or cannot be read: ");
    QTest::newRow("one line") << "You can't add more than 500 MB of files" << "" << true;
    QTest::newRow("a path after the words") << unusable + deep << "" << true;
    QTest::newRow("a name longer than a line") << "Compression failed!\n" + QString(240, QLatin1Char('x')) + ".txt"
                                                << "" << true;
    QTest::newRow("a Windows path under the verdict")
        << "Compression finished successfully!"
        << "7z file is saved in C:\\Users\\user" + QString(deep).replace(QLatin1Char('/'), QLatin1Char('\\')) << true;
    QTest::newRow("five long paths") << unusable + QStringList(5, deep).join(QStringLiteral(", ")) << "" << true;
    QTest::newRow("more than the screen holds") << unusable + deep.repeated(40) << "" << false;
}

void TestMainWidget::boxShowsItsWholeText()
{
    QFETCH(QString, text);
    QFETCH(QString, informative);
    QFETCH(bool, fitsScreen);
    // In the program's own font and style, as the user sees it.
    StyleSheet::useBundledFont();
    qApp->setStyleSheet(StyleSheet::application());
    MainWidget window;
    // Away from the middle of the screen, where a box without parent would go.
    window.setGeometry(10, 20, 500, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Messages go to the main window's own box.
    MessageBox::setNextAnswer(QMessageBox::Ok);
    window.onError(text);
    MessageBox *box = nullptr;
    for (QWidget *candidate : QApplication::topLevelWidgets()) {
        if (candidate->objectName() == QLatin1String("Message_box") && qobject_cast<MessageBox *>(candidate)->text() == text)
            box = qobject_cast<MessageBox *>(candidate);
    }
    QVERIFY(box);
    box->setInformativeText(informative);

    // Shown as exec() shows it, without the nested loop.
    box->show();
    const auto hide = qScopeGuard([box] { box->hide(); });
    QVERIFY(QTest::qWaitForWindowExposed(box));
    const QRect screen = box->screen()->availableGeometry();
    QVERIFY(screen.contains(box->geometry()));
    QVERIFY(box->width() >= 400 && box->height() >= 200);
    if (box->size() == QSize(400, 200))
        QVERIFY((box->geometry().center() - window.geometry().center()).manhattanLength() <= 4);
    for (QLabel *label : box->findChildren<QLabel *>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        // No label wider than its box, and all of its text in view.
        QVERIFY(box->rect().contains(QRect(label->mapTo(box, QPoint(0, 0)), label->size())));
        const int textHeight = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
        QCOMPARE(label->minimumSizeHint().width() <= label->width() && textHeight <= label->height(), fitsScreen);
    }
    // The sheet's 50-pixel buttons have room for a word, not for an icon too.
    for (QAbstractButton *button : box->buttons())
        QVERIFY(button->icon().isNull());
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
    // "&" is shown, not taken for a mnemonic.
    QCOMPARE(QAccessible::queryAccessibleInterface(path)->text(QAccessible::Name), destination);
}

void TestMainWidget::keys_data()
{
    QTest::addColumn<QString>("focused");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    // "browse", "browse folder", "compress", "destination", "help", "help closed", "removed" or "renamed"
    QTest::addColumn<QString>("effect");

    const Qt::KeyboardModifiers none = Qt::NoModifier;
    QTest::newRow("Return on Browse") << "Browse_for_files" << int(Qt::Key_Return) << none << "browse";
    QTest::newRow("keypad Enter on Compress") << "Compress" << int(Qt::Key_Enter)
                                              << Qt::KeyboardModifiers(Qt::KeypadModifier) << "compress";
    QTest::newRow("Return on the destination") << "Destination_path" << int(Qt::Key_Return) << none
                                               << "destination";
    QTest::newRow("Ctrl+O") << "Compress" << int(Qt::Key_O) << Qt::KeyboardModifiers(Qt::ControlModifier)
                            << "browse";
    QTest::newRow("Ctrl+Shift+O") << "Compress" << int(Qt::Key_O)
                                  << (Qt::ControlModifier | Qt::ShiftModifier) << "browse folder";
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
    const QString folder = QFileInfo(file).absolutePath();
    FileDialogs::setNextFolderAnswer(folder);
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

    QCOMPARE(browsed.size(), effect.startsWith(QLatin1String("browse")) ? 1 : 0);
    if (effect == QLatin1String("browse folder"))
        QCOMPARE(browsed.first().first().toStringList(), QStringList{folder});
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

    // The title bar's buttons are not on the way, as a window's caption buttons are not.
    const QStringList expected = {QStringLiteral("Rename c.txt"), QStringLiteral("Rename a.txt"),
                                  QStringLiteral("Rename b.txt"), QStringLiteral("Browse_for_files"),
                                  QStringLiteral("Destination_path"), QStringLiteral("Cancel"),
                                  QStringLiteral("Compress"), QStringLiteral("Rename c.txt")};
    // The window starts on Browse for files: Return at start browses.
    QCOMPARE(QApplication::focusWidget(), control(window, QStringLiteral("Browse_for_files")));
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

// One press, one action: the repeats of a held Return or Enter, and Return
// with Ctrl, never press a dialog's button (the run's Cancel, its default),
// nor compress again; a new press of Return does press it.
void TestMainWidget::heldOrModifiedReturnPressesNoDialogButton()
{
    MainWidget window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *browse = window.findChild<QPushButton *>(QStringLiteral("Browse_for_files"));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::simulateEvent(browse, true, Qt::Key_Return, Qt::ControlModifier, QString(), false);
    QTest::simulateEvent(browse, true, Qt::Key_Return, Qt::ControlModifier, QString(), true);
    QCOMPARE(MessageBox::answeredTexts().size(), 1);

    ProgressDialog dialog(QStringLiteral("Compressing..."), &window);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *cancel = dialog.findChild<QPushButton *>();
    cancel->setFocus();
    QTRY_VERIFY(cancel->hasFocus());
    QSignalSpy asked(&dialog, &ProgressDialog::cancelRequested);
    QTest::simulateEvent(cancel, true, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
    QTest::simulateEvent(cancel, true, Qt::Key_Enter, Qt::KeypadModifier, QStringLiteral("\r"), true);
    QTest::simulateEvent(cancel, true, Qt::Key_Return, Qt::ControlModifier, QString(), false);
    QCOMPARE(asked.size(), 0);
    QTest::keyClick(cancel, Qt::Key_Return);
    QCOMPARE(asked.size(), 1);
}

QTEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
