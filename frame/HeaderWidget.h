#pragma once

#include <QPoint>
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

    bool mousePressed;
    QPoint lastMousePos;
    QToolButton *minimizeButton;
    QToolButton *closeButton;
    QToolButton *helpButton;
    HelpWidget *helpWidget;
};
