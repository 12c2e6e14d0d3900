#pragma once

#include <QMargins>
#include <QRect>

class QScrollArea;
class QWidget;

// Every window of the program stays whole inside the part of the screen that
// panels leave free: at 200 % on a small laptop screen a window that would
// not fit is made smaller (what it holds scrolls) and moved in, never placed
// partly off the screen where its buttons cannot be reached.
namespace ScreenFit {

// The free part of the screen that over (or, without it, window) is on.
QRect availableArea(const QWidget *window, const QWidget *over = nullptr);

// Room for the frame a window system draws around a framed window (its
// title bar and borders), before it has been shown and the frame is known.
QMargins frameAllowance(const QWidget *window);

// Where a window of this size goes (its inside, without the frame):
// centred over the rectangle over (in screen coordinates), moved in where
// it or its frame would stick out of area, cut to fit where it is larger.
QRect placeCentred(const QSize &size, const QMargins &frame, const QRect &over, const QRect &area);

// Resizes and moves the window so that it is centred over the widget over
// (the window itself if none) and whole inside the free part of the screen.
void centreInside(QWidget *window, const QWidget *over = nullptr);

// A scroll area for what a window holds, so that it may be smaller than its
// contents: no frame, the window's background showing through, and no Tab
// stop of its own (Tab goes to what it holds and scrolls it into view).
QScrollArea *scrollingArea(QWidget *contents);

} // namespace ScreenFit
