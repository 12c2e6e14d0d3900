#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

class QToolButton;
class HelpWidget;

// The title bar the frameless main window draws for itself.
class HeaderWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HeaderWidget(QWidget *parent = nullptr);

signals:
    void moveWindow(QPoint pt);

public slots:
    void onMinimize();
    void onHelpPressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildContents();
    bool isOnResizeBorder(const QPoint &globalPos) const;

    bool mousePressed;
    QPoint lastMousePos;
    QToolButton *minimizeButton;
    QToolButton *closeButton;
    QToolButton *helpButton;
    // The help window opened last; it deletes itself when closed.
    QPointer<HelpWidget> helpWidget;
    // A press on the window's resize border was left to the window.
    bool resizePassedOn;
};
