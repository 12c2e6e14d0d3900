#pragma once

#include <QFuture>

// Loads, on worker threads, what the first paint needs from the system and
// what the GUI thread would otherwise wait for: the font database, the
// image format plugins (Qt loads every one of them the first time it reads a
// PNG by name, looking for one that claims the format), the window's
// background picture, and, after the first paint, what the list's first row
// needs. The window is built meanwhile; whatever is not ready when it is needed is waited for
// there, as before. Lives for as long as the application object, inside it; its two
// threads stay, idle, until the process ends (see StartupWarmUp.cpp).
class StartupWarmUp
{
public:
    StartupWarmUp();
    ~StartupWarmUp();

    // Once the window has painted: what the list's first row needs (its
    // font, its cross), so that the first files added find it ready.
    static void afterFirstPaint();

    StartupWarmUp(const StartupWarmUp &) = delete;
    StartupWarmUp &operator=(const StartupWarmUp &) = delete;

private:
    QFuture<void> plugins;
    QFuture<void> fonts;
    QFuture<void> rows;
    bool rowsStarted = false;
};
