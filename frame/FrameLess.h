#pragma once

#include <QObject>
#include <QPoint>

#include <memory>

class QMouseEvent;
class QRect;
class QRubberBand;
class QWidget;

// Lets a frameless window be moved and resized with the mouse.
class FrameLess : public QObject
{
    Q_OBJECT

public:
    enum Edge {
        None = 0x0,
        Left = 0x1,
        Top = 0x2,
        Right = 0x4,
        Bottom = 0x8,
        TopLeft = 0x10,
        TopRight = 0x20,
        BottomLeft = 0x40,
        BottomRight = 0x80,
    };
    Q_ENUM(Edge)
    Q_DECLARE_FLAGS(Edges, Edge)

    // Makes the target frameless (with the flags below) and movable.
    explicit FrameLess(QWidget *target);
    ~FrameLess() override;

    // The window flags of a frameless window on this system.
    static Qt::WindowFlags frameFlags();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void detectEdge(const QPoint &globalPos, const QRect &frame, Edge &result) const;
    void updateCursorShape(const QPoint &globalPos);
    void handleMousePress(QMouseEvent *event);
    void handleMouseMove(QMouseEvent *event);
    void handleMouseRelease(QMouseEvent *event);
    bool isFixedInPlace() const;
    QRect resizedFrame(const QPoint &globalPos) const;

    QWidget *target;
    // Holds the frame as it was when the resize started; never shown.
    std::unique_ptr<QRubberBand> rubberBand;
    bool cursorChanged;
    bool leftButtonPressed;
    Edge pressedEdge;
    Edge hoverEdge;
    int borderWidth;
    QPoint dragPos;
    bool dragStart;
    QPoint pressGlobalPos;
};
