#pragma once

#include <QImage>
#include <QPixmap>

// The main window's background picture, at the screen's pixel ratio (the
// @2x drawing above 1, as the style sheet picks pictures; the help window's
// style sheet reads the same picture from background.png).
// Decoding it was two fifths of what the window's thread did before its
// first paint, so it is decoded on a worker while the window is built, and
// the first paint takes the result; without that, the first paint decodes
// it itself.
class BackgroundPicture
{
public:
    // Any thread: decodes the picture for this ratio, once.
    static QImage image(qreal ratio);
    // The window's thread: the picture as the screen draws it.
    static QPixmap pixmap(qreal ratio);
};
