#pragma once

#include <QImage>
#include <QPixmap>

// The window's background picture, which the style sheet names
// (":/qrc/background.png", the @2x drawing above a pixel ratio of 1).
// Decoding it was two fifths of what the window's thread did before its
// first paint, so a start-up worker decodes it while the window is built,
// and the window's thread only hands the result to Qt, in Qt's cache of
// pictures loaded from files, where the style sheet finds it. Should Qt
// look for it under another key (another Qt version), the style sheet
// decodes the picture itself, as it always did: slower, not wrong.
class BackgroundPicture
{
public:
    // Any thread: decodes the picture for this ratio, once.
    static QImage image(qreal ratio);
    // The window's thread: puts the picture for this ratio where the style
    // sheet looks first, and returns it.
    static QPixmap prime(qreal ratio);
};
