#include "frame/FrameLess.h"
#include "frame/HeaderWidget.h"
#include "help/HelpWidget.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const QRect startFrame(100, 100, 400, 300);

void sendMouse(QWidget *receiver, QEvent::Type type, const QPoint &globalPos,
               Qt::MouseButton button = Qt::LeftButton, Qt::MouseButtons buttons = Qt::LeftButton)
{
    const QPointF global(globalPos);
    QMouseEvent event(type, receiver->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(receiver, &event);
}

void press(QWidget *receiver, const QPoint &globalPos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(receiver, QEvent::MouseButtonPress, globalPos, button, button);
}

void dragTo(QWidget *receiver, const QPoint &globalPos, Qt::MouseButtons buttons = Qt::LeftButton)
{
    sendMouse(receiver, QEvent::MouseMove, globalPos, Qt::NoButton, buttons);
}

void release(QWidget *receiver, const QPoint &globalPos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(receiver, QEvent::MouseButtonRelease, globalPos, button, Qt::NoButton);
}

void hover(QWidget *receiver, const QPoint &globalPos)
{
    const QPointF global(globalPos);
    const QPointF local = receiver->mapFromGlobal(global);
    QHoverEvent event(QEvent::HoverMove, local, global, local);
    QCoreApplication::sendEvent(receiver, &event);
}

// What the pointer shows over the window; an arrow when the window sets none.
Qt::CursorShape shownCursor(const QWidget &window)
{
    return window.testAttribute(Qt::WA_SetCursor) ? window.cursor().shape() : Qt::ArrowCursor;
}

QToolButton *buttonNamed(QWidget *parent, const QString &name)
{
    const auto buttons = parent->findChildren<QToolButton *>();
    for (QToolButton *button : buttons) {
        if (button->accessibleName() == name)
            return button;
    }
    return nullptr;
}

int openHelpWindows()
{
    int count = 0;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows)
        count += qobject_cast<HelpWidget *>(window) != nullptr;
    return count;
}

// A frameless window under the controller, as start-up builds the main one.
struct FramedWindow
{
    FramedWindow()
        : frameLess(&window)
    {
        window.setGeometry(startFrame);
        window.show();
    }

    QPoint at(int dx, int dy) const { return window.frameGeometry().topLeft() + QPoint(dx, dy); }

    QWidget window;
    FrameLess frameLess;
};

// A frameless window with the title bar on top, laid out like the main window.
struct TitledWindow
{
    TitledWindow()
        : header(new HeaderWidget), frameLess(&window)
    {
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(header);
        layout->addStretch();
        QObject::connect(header, &HeaderWidget::moveWindow, &window,
                         [this](QPoint delta) { window.move(window.pos() + delta); });
        window.setGeometry(100, 100, 600, 400);
        window.show();
    }

    QWidget window;
    HeaderWidget *header;
    FrameLess frameLess;
};

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void hoverShowsCursorOfZone_data();
    void hoverShowsCursorOfZone();
    void leaveRestoresDefaultCursorUnlessPressed();
    void maximizedWindowOffersNoResizing();
    void edgeDragResizesByPointerDistance_data();
    void edgeDragResizesByPointerDistance();
    void dragInsideBorderMovesWindow();
    void rightButtonStartsNothing();

    void titleBarDragSumsToPointerPath_data();
    void titleBarDragSumsToPointerPath();
    void titleBarPressOnBorderResizes();
    void helpButtonOpensNewWindowPerClick();
    void minimizeButtonMinimizesOwnWindow();

private:
    TestSupport::IsolatedEnvironment environment;
};

void TestFrame::hoverShowsCursorOfZone_data()
{
    QTest::addColumn<QPoint>("offset"); // from the frame's top-left; the frame is 400 x 300
    QTest::addColumn<Qt::CursorShape>("cursor");

    QTest::newRow("left band") << QPoint(3, 150) << Qt::SizeHorCursor;
    QTest::newRow("beyond the left band") << QPoint(-6, 150) << Qt::ArrowCursor;
    QTest::newRow("right outline") << QPoint(400, 150) << Qt::SizeHorCursor;
    QTest::newRow("beyond the right outline") << QPoint(401, 150) << Qt::ArrowCursor;
    QTest::newRow("top band") << QPoint(200, 3) << Qt::SizeVerCursor;
    QTest::newRow("bottom outline") << QPoint(200, 300) << Qt::SizeVerCursor;
    QTest::newRow("below the bottom") << QPoint(200, 301) << Qt::ArrowCursor;
    QTest::newRow("top-left corner") << QPoint(2, 2) << Qt::SizeFDiagCursor;
    QTest::newRow("top-right corner") << QPoint(398, 2) << Qt::SizeBDiagCursor;
    QTest::newRow("bottom-right corner") << QPoint(398, 298) << Qt::SizeFDiagCursor;
    QTest::newRow("left beats top-left on their line") << QPoint(3, 5) << Qt::SizeHorCursor;
    QTest::newRow("top beats top-left on their line") << QPoint(5, 3) << Qt::SizeVerCursor;
    QTest::newRow("left beats top where they meet") << QPoint(5, 5) << Qt::SizeHorCursor;
    QTest::newRow("one pixel inside the band") << QPoint(6, 6) << Qt::ArrowCursor;
    QTest::newRow("middle") << QPoint(200, 150) << Qt::ArrowCursor;
}

void TestFrame::hoverShowsCursorOfZone()
{
    QFETCH(QPoint, offset);
    QFETCH(Qt::CursorShape, cursor);
    FramedWindow f;

    // Start from a resize cursor, so that "none" must actually remove it.
    hover(&f.window, f.at(3, 150));
    QCOMPARE(shownCursor(f.window), Qt::SizeHorCursor);

    hover(&f.window, f.at(offset.x(), offset.y()));
    QCOMPARE(shownCursor(f.window), cursor);
}

void TestFrame::leaveRestoresDefaultCursorUnlessPressed()
{
    FramedWindow f;
    QEvent leave(QEvent::Leave);

    press(&f.window, f.at(398, 150));
    hover(&f.window, f.at(200, 3));
    QCOMPARE(shownCursor(f.window), Qt::ArrowCursor); // frozen while the button is held
    release(&f.window, f.at(398, 150));

    hover(&f.window, f.at(200, 3));
    QCOMPARE(shownCursor(f.window), Qt::SizeVerCursor);
    press(&f.window, f.at(200, 3));
    QCoreApplication::sendEvent(&f.window, &leave);
    QCOMPARE(shownCursor(f.window), Qt::SizeVerCursor);
    release(&f.window, f.at(200, 3));

    QCoreApplication::sendEvent(&f.window, &leave);
    QCOMPARE(shownCursor(f.window), Qt::ArrowCursor);
}

void TestFrame::maximizedWindowOffersNoResizing()
{
    FramedWindow f;
    hover(&f.window, f.at(398, 298));
    QCOMPARE(shownCursor(f.window), Qt::SizeFDiagCursor);

    f.window.showMaximized();
    QTRY_VERIFY(f.window.isMaximized());
    const QRect maximized = f.window.geometry();

    hover(&f.window, f.at(3, 150));
    QCOMPARE(shownCursor(f.window), Qt::ArrowCursor);

    press(&f.window, f.at(2, 150));
    dragTo(&f.window, f.at(-40, 150));
    release(&f.window, f.at(-40, 150));
    press(&f.window, f.at(50, 50));
    dragTo(&f.window, f.at(150, 150));
    release(&f.window, f.at(150, 150));
    QCOMPARE(f.window.geometry(), maximized);
}

void TestFrame::edgeDragResizesByPointerDistance_data()
{
    QTest::addColumn<QPoint>("pressOffset");
    QTest::addColumn<QList<QPoint>>("steps");
    QTest::addColumn<QRect>("expected");

    // The frame starts at (100, 100, 400, 300); the minimum size is 300 x 200.
    QTest::newRow("bottom-right corner")
        << QPoint(399, 299) << QList<QPoint>{{20, 15}, {40, 30}} << QRect(100, 100, 440, 330);
    QTest::newRow("bottom-right corner, pressed inside the band")
        << QPoint(396, 296) << QList<QPoint>{{20, 15}, {40, 30}} << QRect(100, 100, 440, 330);
    QTest::newRow("top-left corner")
        << QPoint(1, 1) << QList<QPoint>{{-20, -10}} << QRect(80, 90, 420, 310);
    QTest::newRow("top-right corner")
        << QPoint(398, 2) << QList<QPoint>{{10, 10}} << QRect(100, 110, 410, 290);
    QTest::newRow("bottom-left corner")
        << QPoint(2, 298) << QList<QPoint>{{10, 10}} << QRect(110, 100, 390, 310);
    QTest::newRow("left edge ignores vertical motion")
        << QPoint(2, 150) << QList<QPoint>{{-15, 3}, {-30, 7}} << QRect(70, 100, 430, 300);
    QTest::newRow("top edge ignores horizontal motion")
        << QPoint(200, 2) << QList<QPoint>{{9, -25}} << QRect(100, 75, 400, 325);
    QTest::newRow("left edge stops at the minimum width")
        << QPoint(2, 150) << QList<QPoint>{{50, 0}, {150, 0}} << QRect(200, 100, 300, 300);
    QTest::newRow("right edge stops at the minimum width")
        << QPoint(398, 150) << QList<QPoint>{{-200, 0}} << QRect(100, 100, 300, 300);
    QTest::newRow("top-left corner stops at both minimums")
        << QPoint(1, 1) << QList<QPoint>{{60, 20}, {200, 200}} << QRect(200, 200, 300, 200);
}

void TestFrame::edgeDragResizesByPointerDistance()
{
    QFETCH(QPoint, pressOffset);
    QFETCH(QList<QPoint>, steps);
    QFETCH(QRect, expected);
    FramedWindow f;
    f.window.setMinimumSize(300, 200);

    const QPoint start = f.at(pressOffset.x(), pressOffset.y());
    press(&f.window, start);
    // Several steps, the window changing under the pointer, must add up.
    for (const QPoint &step : steps)
        dragTo(&f.window, start + step);
    release(&f.window, start + steps.last());
    QTRY_COMPARE(f.window.frameGeometry(), expected);

    dragTo(&f.window, start + steps.last() * 2, Qt::NoButton);
    QCOMPARE(f.window.frameGeometry(), expected);
}

void TestFrame::dragInsideBorderMovesWindow()
{
    FramedWindow f;
    const QPoint start = f.at(20, 20);

    press(&f.window, start);
    dragTo(&f.window, start + QPoint(60, 20));
    QTRY_COMPARE(f.window.pos(), QPoint(160, 120));
    dragTo(&f.window, start + QPoint(100, 50));
    release(&f.window, start + QPoint(100, 50));

    QTRY_COMPARE(f.window.frameGeometry(), QRect(200, 150, 400, 300));
}

void TestFrame::rightButtonStartsNothing()
{
    FramedWindow f;
    for (const QPoint &offset : {QPoint(20, 20), QPoint(398, 150), QPoint(398, 298)}) {
        const QPoint start = f.at(offset.x(), offset.y());
        press(&f.window, start, Qt::RightButton);
        dragTo(&f.window, start + QPoint(50, 40), Qt::RightButton);
        release(&f.window, start + QPoint(50, 40), Qt::RightButton);
    }
    QCOMPARE(f.window.frameGeometry(), startFrame);
}

void TestFrame::titleBarDragSumsToPointerPath_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left button") << Qt::LeftButton;
    QTest::newRow("right button") << Qt::RightButton;
}

void TestFrame::titleBarDragSumsToPointerPath()
{
    QFETCH(Qt::MouseButton, button);
    TitledWindow t;
    QSignalSpy moves(t.header, &HeaderWidget::moveWindow);

    const QPoint start = t.header->mapToGlobal(QPoint(200, 30));
    dragTo(t.header, start - QPoint(47, 13), Qt::NoButton);
    dragTo(t.header, start - QPoint(7, 3), Qt::NoButton);
    QCOMPARE(moves.count(), 0); // hovering moves nothing
    press(t.header, start, button);
    QPoint pointer = start;
    for (const QPoint &step : {QPoint(30, -5), QPoint(50, -20), QPoint(40, -5)}) {
        pointer += step;
        dragTo(t.header, pointer, button);
    }
    release(t.header, pointer, button);

    QPoint total;
    for (const QList<QVariant> &arguments : std::as_const(moves))
        total += arguments.at(0).toPoint();
    QCOMPARE(moves.count(), 3);
    QCOMPARE(total, QPoint(120, -30));
    QTRY_COMPARE(t.window.pos(), QPoint(220, 70));
}

void TestFrame::titleBarPressOnBorderResizes()
{
    TitledWindow t;
    QSignalSpy moves(t.header, &HeaderWidget::moveWindow);

    // The top band runs through the title bar: the press goes on to the frame.
    const QPoint top = t.window.frameGeometry().topLeft() + QPoint(300, 2);
    press(t.header, top);
    dragTo(t.header, top - QPoint(0, 10));
    release(t.header, top - QPoint(0, 10));
    QTRY_COMPARE(t.window.frameGeometry(), QRect(100, 90, 600, 410));
    QCOMPARE(moves.count(), 0);

    // Further in, the title bar moves the window again.
    const QPoint inside = t.window.frameGeometry().topLeft() + QPoint(300, 30);
    press(t.header, inside);
    dragTo(t.header, inside + QPoint(25, 5));
    release(t.header, inside + QPoint(25, 5));
    QCOMPARE(moves.count(), 1);
    QTRY_COMPARE(t.window.frameGeometry(), QRect(125, 95, 600, 410));
}

void TestFrame::helpButtonOpensNewWindowPerClick()
{
    TitledWindow t;
    QVERIFY(QTest::qWaitForWindowExposed(&t.window));
    QToolButton *help = buttonNamed(t.header, QStringLiteral("Help"));
    QVERIFY(help);

    for (int click = 0; click < 3; ++click)
        QTest::mouseClick(help, Qt::LeftButton);
    QCOMPARE(openHelpWindows(), 3);

    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!qobject_cast<HelpWidget *>(window))
            continue;
        QVERIFY(window->isVisible());
        QVERIFY(!(window->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        // Over the window it explains, not wherever the platform puts it.
        const QPoint offset = window->geometry().center() - t.window.geometry().center();
        QVERIFY2(offset.manhattanLength() <= 4, qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));
        window->close();
    }
    // Closed help windows are freed, not kept hidden.
    QTRY_COMPARE(openHelpWindows(), 0);
}

void TestFrame::minimizeButtonMinimizesOwnWindow()
{
    TitledWindow t;
    QWidget other;
    other.show();
    other.activateWindow();

    QTest::mouseClick(buttonNamed(t.header, QStringLiteral("Minimize")), Qt::LeftButton);
    QTRY_VERIFY(t.window.isMinimized());
    QVERIFY(!other.isMinimized());
}

QTEST_MAIN(TestFrame)
#include "tst_frame.moc"
