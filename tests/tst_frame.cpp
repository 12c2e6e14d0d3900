#include "frame/FrameLess.h"
#include "frame/HeaderWidget.h"
#include "help/HelpWidget.h"

#include <QApplication>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

void sendMouse(QWidget *receiver, QEvent::Type type, const QPoint &global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, receiver->mapFromGlobal(QPointF(global)), QPointF(global), button, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(receiver, &event);
}

// Press the left button at start, move through each point (offsets from
// start), release at the last; then the pointer moves on with no button held.
void drag(QWidget *receiver, const QPoint &start, const QList<QPoint> &path)
{
    sendMouse(receiver, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    for (const QPoint &step : path)
        sendMouse(receiver, QEvent::MouseMove, start + step, Qt::NoButton, Qt::LeftButton);
    sendMouse(receiver, QEvent::MouseButtonRelease, start + path.last(), Qt::LeftButton, Qt::NoButton);
    sendMouse(receiver, QEvent::MouseMove, start + path.last() * 2, Qt::NoButton, Qt::NoButton);
}

// The cursor the pointer shows over the window after hovering there.
Qt::CursorShape cursorAt(QWidget &window, const QPoint &global)
{
    const QPointF local = window.mapFromGlobal(QPointF(global));
    QHoverEvent event(QEvent::HoverMove, local, QPointF(global), local);
    QCoreApplication::sendEvent(&window, &event);
    return window.testAttribute(Qt::WA_SetCursor) ? window.cursor().shape() : Qt::ArrowCursor;
}

QList<HelpWidget *> helpWindows()
{
    QList<HelpWidget *> found;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *help = qobject_cast<HelpWidget *>(window))
            found << help;
    }
    return found;
}

// A frameless window under the controller, as start-up builds the main
// one, with the title bar on top.
struct FramedWindow
{
    FramedWindow()
        : header(new HeaderWidget), frameLess(&window)
    {
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(header);
        layout->addStretch();
        QObject::connect(header, &HeaderWidget::moveWindow, &window,
                         [this](QPoint delta) { window.move(window.pos() + delta); });
        window.setWindowFlags(Qt::FramelessWindowHint);
        window.setMinimumSize(300, 200);
        window.setGeometry(100, 100, 400, 300);
        window.show();
    }

    QPoint at(const QPoint &offset) const { return window.frameGeometry().topLeft() + offset; }
    QToolButton *button(const QString &name) const
    {
        for (QToolButton *button : header->findChildren<QToolButton *>()) {
            if (button->accessibleName() == name)
                return button;
        }
        return nullptr;
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
    void dragResizesByPointerDistance_data();
    void dragResizesByPointerDistance();
    void maximizedWindowOffersNoResizing();
    void helpButtonOpensNewWindowPerClick();
    void minimizeButtonMinimizesOwnWindow();
    void taskbarCanMinimizeTheWindow();
};

void TestFrame::hoverShowsCursorOfZone_data()
{
    QTest::addColumn<QPoint>("offset"); // from the frame's top-left; the frame is 400 x 300
    QTest::addColumn<Qt::CursorShape>("cursor");

    QTest::newRow("right outline") << QPoint(400, 150) << Qt::SizeHorCursor;
    QTest::newRow("beyond the right outline") << QPoint(401, 150) << Qt::ArrowCursor;
    QTest::newRow("top-left corner") << QPoint(2, 2) << Qt::SizeFDiagCursor;
    QTest::newRow("left beats top-left on their line") << QPoint(3, 5) << Qt::SizeHorCursor;
    QTest::newRow("one pixel inside the band") << QPoint(6, 6) << Qt::ArrowCursor;
}

void TestFrame::hoverShowsCursorOfZone()
{
    QFETCH(QPoint, offset);
    QFETCH(Qt::CursorShape, cursor);
    FramedWindow f;

    // From a resize cursor, so that "none" must actually take it away.
    QCOMPARE(cursorAt(f.window, f.at({3, 150})), Qt::SizeHorCursor);
    QCOMPARE(cursorAt(f.window, f.at(offset)), cursor);
}

void TestFrame::dragResizesByPointerDistance_data()
{
    QTest::addColumn<bool>("onTitleBar");
    QTest::addColumn<QPoint>("pressOffset");
    QTest::addColumn<QList<QPoint>>("path");
    QTest::addColumn<QRect>("expected");

    // The frame starts at (100, 100, 400, 300); the minimum size is 300 x 200.
    // Pressed inside the band: the edge follows the pointer's distance, not its position.
    QTest::newRow("bottom-right corner")
        << false << QPoint(396, 296) << QList<QPoint>{{20, 15}, {40, 30}} << QRect(100, 100, 440, 330);
    QTest::newRow("top-right corner")
        << false << QPoint(398, 2) << QList<QPoint>{{10, 10}} << QRect(100, 110, 410, 290);
    QTest::newRow("left edge ignores vertical motion")
        << false << QPoint(2, 150) << QList<QPoint>{{-15, 3}, {-30, 7}} << QRect(70, 100, 430, 300);
    QTest::newRow("left edge stops at the minimum width")
        << false << QPoint(2, 150) << QList<QPoint>{{50, 0}, {150, 0}} << QRect(200, 100, 300, 300);
    QTest::newRow("top-left corner: the width stops, the height goes on")
        << false << QPoint(1, 1) << QList<QPoint>{{200, -20}} << QRect(200, 80, 300, 320);
    QTest::newRow("inside the band moves the window")
        << false << QPoint(20, 120) << QList<QPoint>{{60, 20}, {100, 50}} << QRect(200, 150, 400, 300);
    // The top band runs through the title bar: a press there goes on to the frame.
    QTest::newRow("title bar's top band resizes")
        << true << QPoint(300, 2) << QList<QPoint>{{0, -10}} << QRect(100, 90, 400, 310);
    QTest::newRow("title bar further in moves the window")
        << true << QPoint(300, 30) << QList<QPoint>{{25, 5}} << QRect(125, 105, 400, 300);
}

void TestFrame::dragResizesByPointerDistance()
{
    QFETCH(bool, onTitleBar);
    QFETCH(QPoint, pressOffset);
    QFETCH(QList<QPoint>, path);
    QFETCH(QRect, expected);
    FramedWindow f;

    // Several steps, the window changing under the pointer, must add up.
    drag(onTitleBar ? static_cast<QWidget *>(f.header) : &f.window, f.at(pressOffset), path);
    QTRY_COMPARE(f.window.frameGeometry(), expected);
}

void TestFrame::maximizedWindowOffersNoResizing()
{
    FramedWindow f;
    f.window.showMaximized();
    QTRY_VERIFY(f.window.isMaximized());
    const QRect maximized = f.window.geometry();

    QCOMPARE(cursorAt(f.window, f.at({3, 150})), Qt::ArrowCursor);
    drag(&f.window, f.at({2, 150}), {{-40, 0}});
    drag(&f.window, f.at({50, 150}), {{100, 100}});
    QCOMPARE(f.window.geometry(), maximized);
}

void TestFrame::helpButtonOpensNewWindowPerClick()
{
    FramedWindow f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    for (int click = 0; click < 3; ++click)
        QTest::mouseClick(f.button(QStringLiteral("Help")), Qt::LeftButton);
    QCOMPARE(helpWindows().size(), 3);

    for (HelpWidget *help : helpWindows()) {
        QVERIFY(help->isVisible());
        QVERIFY(!(help->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        // Over the window it explains, not wherever the platform puts it,
        // and whole inside the screen.
        QVERIFY(help->geometry().contains(f.window.geometry().center()));
        QVERIFY(help->screen()->availableGeometry().contains(help->geometry()));
        help->close();
    }
    // Closed help windows are freed, not kept hidden.
    QTRY_COMPARE(helpWindows().size(), 0);
}

void TestFrame::minimizeButtonMinimizesOwnWindow()
{
    FramedWindow f;
    QWidget other;
    other.show();
    other.activateWindow();

    QTest::mouseClick(f.button(QStringLiteral("Minimize")), Qt::LeftButton);
    QTRY_VERIFY(f.window.isMinimized());
    QVERIFY(!other.isMinimized());
}

// Windows minimises a window from its taskbar button only when it has the
// minimise box; the window stays without a frame all the same. On X11 the
// same hint brings a frame back, so there the window is frameless alone.
void TestFrame::taskbarCanMinimizeTheWindow()
{
    QWidget window;
    FrameLess frameLess(&window);
#ifndef Q_OS_WIN
    QCOMPARE(window.windowFlags() & ~Qt::WindowType_Mask, Qt::WindowFlags(Qt::FramelessWindowHint));
#else
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        QSKIP("the window style is the windows platform's: run with -platform windows");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const LONG_PTR style = GetWindowLongPtrW(reinterpret_cast<HWND>(window.winId()), GWL_STYLE);
    QVERIFY(style & WS_MINIMIZEBOX);
    QVERIFY(!(style & (WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX)));
#endif
}

QTEST_MAIN(TestFrame)
#include "tst_frame.moc"
